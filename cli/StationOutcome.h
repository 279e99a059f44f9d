#pragma once
// What the gang driver learns of one station's run from the lines its process printed and
// how the process ended, and the summary table made of them.

#include "platform/ChildProcess.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola::cli {

struct StationOutcome {
    std::string station;      // "BSL(COM3)"
    std::string serial;       // from "Serial number written: ..."
    std::string totalTime;    // "2210 ms", from the closing "Result:" line
    std::string stepTimes;    // "Init 130 ms, Erase 40 ms, ..."
    std::string firstFailure; // the first line on its standard error
    std::string reason;       // the line after it: why ("Port COM2 (/dev/ttyS1): Permission denied")
    uint32_t port = 0;        // the station's port number, for the table's order
    bool started = false;
    ChildExit exit;

    // Takes in one line the station's process printed (without its line end).
    void TakeOutputLine(const std::string& line);
    void TakeErrorLine(const std::string& line);
    bool Passed() const { return started && exit.exited && exit.status == 0; }
    bool NothingDone() const { return !started || (exit.exited && exit.status == 2); }
    // PASS, FAIL, NOTHING DONE, NOT STARTED, KILLED (signal 9), ENDED (status 86)
    std::string ResultText() const;
};

// The table printed at the end: a header and one row per station, in the order given; a
// failed row shows its first failure and the reason after it.
std::vector<std::string> SummaryTable(const std::vector<StationOutcome>& stations);
// 0 when every station passed, 2 when none did anything, else 1.
int GangExitStatus(const std::vector<StationOutcome>& stations);
// The station loop's counts: "Counts: 12 boards, 11 passed, 1 failed, yield 91.7%,
// 95.0 boards per hour" (a board not done counts as failed; runs that did nothing count
// not at all).
std::string CountsText(const std::vector<StationOutcome>& boards, uint64_t elapsedMs);

} // namespace pyrola::cli
