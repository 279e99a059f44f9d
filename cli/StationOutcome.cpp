#include "cli/StationOutcome.h"

#include "base/TextFormat.h"

#include <algorithm>

namespace pyrola::cli {

namespace {

constexpr const char* kResultMark = "Result: ";
constexpr const char* kSerialMark = "Serial number written: ";
constexpr const char* kReservedMark = "Serial number ";

// The text after the "HH:MM:SS->" every log line starts with (the line itself otherwise).
std::string LogText(const std::string& line) {
    const size_t arrow = line.find("->");
    return arrow == std::string::npos ? line : line.substr(arrow + 2);
}

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

} // namespace

void StationOutcome::TakeOutputLine(const std::string& line) {
    const std::string text = LogText(line);
    if (text.rfind(kSerialMark, 0) == 0) {
        serial = text.substr(std::char_traits<char>::length(kSerialMark));
        return;
    }
    // "Serial number SN-0007 reserved (...)": the number is this board's even when its
    // write fails after.
    if (text.rfind(kReservedMark, 0) == 0) {
        const size_t start = std::char_traits<char>::length(kReservedMark);
        const size_t end = text.find(" reserved (", start);
        if (end != std::string::npos)
            serial = text.substr(start, end - start);
        return;
    }
    // "Result: PASS in 2210 ms (Init 130 ms, Erase 40 ms)"
    if (text.rfind(kResultMark, 0) != 0)
        return;
    const size_t in = text.find(" in ");
    const size_t ms = text.find(" ms", in == std::string::npos ? 0 : in);
    if (in == std::string::npos || ms == std::string::npos)
        return;
    totalTime = text.substr(in + 4, ms + 3 - (in + 4));
    const size_t open = text.find(" (", ms);
    if (open != std::string::npos && text.back() == ')')
        stepTimes = text.substr(open + 2, text.size() - open - 3);
}

void StationOutcome::TakeErrorLine(const std::string& line) {
    if (line.empty())
        return;
    if (firstFailure.empty())
        firstFailure = line;
    else if (reason.empty())
        reason = line;
}

std::string StationOutcome::ResultText() const {
    if (!started)
        return "NOT STARTED";
    if (!exit.exited)
        return Format("KILLED (signal %d)", exit.status);
    switch (exit.status) {
    case 0:
        return "PASS";
    case 1:
        return "FAIL";
    case 2:
        return "NOTHING DONE";
    default:
        return Format("ENDED (status %d)", exit.status);
    }
}

std::vector<std::string> SummaryTable(const std::vector<StationOutcome>& stations) {
    size_t stationWidth = 7;
    size_t serialWidth = 6;
    size_t resultWidth = 6;
    for (const StationOutcome& outcome : stations) {
        stationWidth = std::max(stationWidth, outcome.station.size());
        serialWidth = std::max(serialWidth, outcome.serial.size());
        resultWidth = std::max(resultWidth, outcome.ResultText().size());
    }
    auto row = [&](const std::string& station, const std::string& serial, const std::string& result,
                   const std::string& time, const std::string& steps) {
        std::string text = Padded(station, stationWidth) + "  " + Padded(serial, serialWidth) + "  " +
                           Padded(result, resultWidth) + "  " + Padded(time, 10) + "  " + steps;
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        return text;
    };
    std::vector<std::string> lines;
    lines.push_back(row("Station", "Serial", "Result", "Time", "Steps"));
    for (const StationOutcome& outcome : stations) {
        std::string steps = outcome.stepTimes;
        if (!outcome.Passed() && !outcome.firstFailure.empty())
            steps = outcome.firstFailure + (outcome.reason.empty() ? "" : " / " + outcome.reason) +
                    (steps.empty() ? "" : " (" + steps + ")");
        lines.push_back(row(outcome.station, outcome.serial.empty() ? "-" : outcome.serial,
                            outcome.ResultText(), outcome.totalTime.empty() ? "-" : outcome.totalTime,
                            steps));
    }
    return lines;
}

int GangExitStatus(const std::vector<StationOutcome>& stations) {
    const bool allPassed = std::all_of(stations.begin(), stations.end(),
                                       [](const StationOutcome& outcome) { return outcome.Passed(); });
    const bool noneDidAnything =
        std::all_of(stations.begin(), stations.end(),
                    [](const StationOutcome& outcome) { return outcome.NothingDone(); });
    return stations.empty() || noneDidAnything ? 2 : allPassed ? 0 : 1;
}

std::string CountsText(const std::vector<StationOutcome>& boards, uint64_t elapsedMs) {
    // Every board put in counts, as every one has its line in the log: a run refused before
    // it touched the chip (a file or a device that does not fit) is a board not programmed.
    size_t passed = 0;
    size_t failed = 0;
    size_t refused = 0;
    for (const StationOutcome& board : boards) {
        if (board.Passed())
            ++passed;
        else if (!board.started)
            continue; // no process, no board
        else if (board.NothingDone())
            ++refused;
        else
            ++failed;
    }
    const size_t done = passed + failed + refused;
    const double yield = done == 0 ? 0.0 : 100.0 * double(passed) / double(done);
    const double perHour = elapsedMs == 0 ? 0.0 : double(done) * 3600000.0 / double(elapsedMs);
    const std::string refusedText = refused == 0 ? "" : Format(", %u refused", unsigned(refused));
    return Format("Counts: %u boards, %u passed, %u failed%s, yield %.1f%%, %.1f boards per hour",
                  unsigned(done), unsigned(passed), unsigned(failed), refusedText.c_str(), yield, perHour);
}

} // namespace pyrola::cli
