#include "cli/RunLog.h"

#include "platform/AppendFile.h"
#include "platform/FileLock.h"

namespace pyrola::cli {

namespace {
constexpr const char* kLineEnd = "\r\n";
} // namespace

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
    for (const char* name : {"Date and time", "Adapter", "Device", "Image file", "Image CRC-32", "Serial",
                             "Steps", "Result", "Failure", "Duration (ms)"}) {
        if (!line.empty())
            line += ',';
        line += CsvField(name);
    }
    return line + kLineEnd;
}

std::string RunLogLine(const RunRecord& record) {
    std::string line;
    for (const std::string* field : {&record.dateTime, &record.adapter, &record.device, &record.imageFile,
                                     &record.imageCrc, &record.serial, &record.steps}) {
        line += CsvField(*field);
        line += ',';
    }
    line += CsvField(record.passed ? "PASS" : "FAIL");
    line += ',';
    line += CsvField(record.failure);
    line += ',';
    line += std::to_string(record.durationMs);
    return line + kLineEnd;
}

bool AppendRunLog(const std::string& path, const std::string& line) {
    FileLock lock(path + ".lock");
    return lock.Held() && AppendToFile(path, RunLogHeader(), line);
}

} // namespace pyrola::cli
