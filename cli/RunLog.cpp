#include "cli/RunLog.h"

#include "platform/AppendFile.h"
#include "platform/AtomicFile.h"
#include "platform/FileFacts.h"
#include "platform/FileLock.h"

#include <algorithm>
#include <vector>

namespace pyrola::cli {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kColumns[] = {"Date and time", "Station",         "Attempt",      "Adapter", "Device",
                                    "Image file",    "Image CRC-32",    "Serial",       "Steps",   "Result",
                                    "Failure",       "Step times (ms)", "Duration (ms)"};
constexpr size_t kStationColumn = 1;
constexpr size_t kAttemptColumn = 2;
constexpr size_t kResultColumn = 9;

// The highest attempt number of the station's lines, RESERVED lines included: a run that
// crashed after taking its number left only that line, and its attempt is not given again.
uint32_t LastAttemptOfStation(const std::string& log, const std::string& station) {
    uint32_t last = 0;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::vector<std::string> fields = SplitCsv(line);
        if (fields.size() > kResultColumn && fields[kStationColumn] == station &&
            (fields[kResultColumn] == kRunPassed || fields[kResultColumn] == kRunFailed ||
             fields[kResultColumn] == kRunReserved)) {
            const std::string& attempt = fields[kAttemptColumn];
            if (!attempt.empty() && attempt.size() < 10 &&
                attempt.find_first_not_of("0123456789") == std::string::npos)
                last = std::max(last, static_cast<uint32_t>(std::stoul(attempt)));
        }
        start = end + 1;
    }
    return last;
}

} // namespace

std::vector<std::string> SplitCsv(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string CsvField(const std::string& text) {
    std::string field = "\"";
    for (char c : text) {
        if (c == '"')
            field += '"';
        // One line per run, also for a text that spans lines.
        field += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return field + "\"";
}

std::string RunLogHeader() {
    std::string line;
    for (const char* name : kColumns) {
        if (!line.empty())
            line += ',';
        line += CsvField(name);
    }
    return line + kLineEnd;
}

std::string RunLogLine(const RunRecord& record) {
    std::string line = CsvField(record.dateTime) + ',' + CsvField(record.station) + ',' +
                       std::to_string(record.attempt) + ',';
    for (const std::string* field :
         {&record.adapter, &record.device, &record.imageFile, &record.imageCrc, &record.serial, &record.steps,
          &record.result, &record.failure, &record.stepTimes}) {
        line += CsvField(*field);
        line += ',';
    }
    line += std::to_string(record.durationMs);
    return line + kLineEnd;
}

std::string PrepareRunLog(const std::string& path, const std::string& station, uint32_t* attempt) {
    const FileFacts facts = ExamineFile(path);
    if (facts.exists && !facts.regular)
        return "not a regular file";
    if (!facts.writable)
        return facts.exists ? "the file may not be written" : "no file can be made there";
    if (facts.freeBytes && *facts.freeBytes < kRunLogRoom)
        return "its disk is full: less than 64 KiB left";
    FileLock lock(LockPathFor(path));
    if (!lock.Held())
        return "can't lock it";
    std::string why;
    if (!AppendToFile(path, RunLogHeader(), "", &why))
        return why;
    if (attempt) {
        std::string log;
        *attempt = 1 + (ReadWholeFile(path, log) ? LastAttemptOfStation(log, station) : 0);
    }
    return {};
}

std::string AppendRunLog(const std::string& path, const std::string& line) {
    FileLock lock(LockPathFor(path));
    if (!lock.Held())
        return "can't lock it";
    std::string why;
    if (!AppendToFile(path, RunLogHeader(), line, &why))
        return why.empty() ? "can't write it" : why;
    return {};
}

} // namespace pyrola::cli
