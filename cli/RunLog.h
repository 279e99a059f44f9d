#pragma once
// The production log: CSV lines about the runs of the headless program (a header row
// first), so that afterwards it shows which board got which number from which firmware,
// on which station, and how each run ended. A run that takes a serial number writes a
// RESERVED line before the chip's serial area is touched and its PASS or FAIL line at the
// end, so a run stopped any way still leaves its number in the log. Text fields are quoted
// (quotes doubled), lines end in CR LF, so a spreadsheet opens the file as it is. Several
// programs may log to one file at once: each line is appended whole or not at all, under
// a lock file beside the file the log's path finally names (its path with ".lock").

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola::cli {

inline constexpr const char* kRunReserved = "RESERVED";
inline constexpr const char* kRunPassed = "PASS";
inline constexpr const char* kRunFailed = "FAIL";

struct RunRecord {
    std::string dateTime;  // local time, "2024-05-31 14:02:07"
    std::string station;   // --station, or the adapter and port
    uint32_t attempt = 0;  // the run's number on its station in this log, from 1
    std::string adapter;   // adapter and port the run used, "FET(LPT1)"
    std::string device;    // identified device, empty when none was
    std::string imageFile; // the file programmed from (or saved to)
    std::string imageCrc;  // "0x%08X" over the image's bytes, empty without an image
    std::string serial;    // the serial number the run reserved, empty when none
    std::string steps;     // the steps that ran, "Erase, Blank check, Program, Verify"
    std::string result;    // RESERVED, PASS or FAIL
    std::string failure;   // why not, for a failed run
    std::string stepTimes; // "Init() 40, Erase 120, ..." in milliseconds
    uint64_t durationMs = 0;
};

// Room a log must have left on its volume before a run starts: enough for many lines.
inline constexpr uint64_t kRunLogRoom = 64 * 1024;

// One field as CSV: always in double quotes, inner quotes doubled, line breaks as blanks.
std::string CsvField(const std::string& text);
// The fields of one line as RunLogLine writes them (quoted, quotes doubled), without its
// line end.
std::vector<std::string> SplitCsv(const std::string& line);

// The header row and a record's row, each with its CR LF.
std::string RunLogHeader();
std::string RunLogLine(const RunRecord& record);

// Before anything is done: the log must be a regular file this user may write (or a new
// file in a folder that takes one), with room on its volume; it is created with its header
// row. Empty when it is usable, else why not. attempt, when given, receives the number of
// this station's next run (1 + its PASS and FAIL lines in the log).
std::string PrepareRunLog(const std::string& path, const std::string& station, uint32_t* attempt = nullptr);

// Appends line, whole or not at all (the header first when the file is new or empty).
// Empty on success, else why not.
std::string AppendRunLog(const std::string& path, const std::string& line);

} // namespace pyrola::cli
