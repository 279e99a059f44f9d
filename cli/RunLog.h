#pragma once
// The production log: one CSV line per run of the headless program (a header row first),
// so that afterwards it shows which board got which number from which firmware, and how
// each run ended. Text fields are quoted (quotes doubled), lines end in CR LF, so a
// spreadsheet opens the file as it is. Several programs may log to one file at once:
// each line is appended in one write, under a lock file beside the log (its path with
// ".lock" appended).

#include <cstdint>
#include <string>

namespace pyrola::cli {

struct RunRecord {
    std::string dateTime;  // local time of the start, "2024-05-31 14:02:07"
    std::string adapter;   // adapter and port, "FET(LPT1)"
    std::string device;    // identified device, empty when none was
    std::string imageFile; // the file programmed from (or saved to)
    std::string imageCrc;  // "0x%08X" over the image's bytes, empty without an image
    std::string serial;    // the serial number the run reserved, empty when none
    std::string steps;     // the steps that ran, "Erase, Blank check, Program, Verify"
    bool passed = false;
    std::string failure; // why not, for a failed run
    uint64_t durationMs = 0;
};

// One field as CSV: always in double quotes, inner quotes doubled, line breaks as blanks.
std::string CsvField(const std::string& text);
// The header row and a record's row, each with its CR LF.
std::string RunLogHeader();
std::string RunLogLine(const RunRecord& record);

// Appends line (the header first when the file is new or empty). With an empty line it only
// checks that the file can be written, creating it with its header. False when the lock
// cannot be had or the file cannot be written.
bool AppendRunLog(const std::string& path, const std::string& line);

} // namespace pyrola::cli
