#pragma once
// The headless program's own reading of its arguments, before the rest is handed to the
// command-line processing: the options that start with "--" (and "-h", "-?") belong to the
// program and never reach the command line; every other argument is one command-line
// token, whatever characters it holds. An option that takes a value has it in the next
// argument or after "=" ("--log run.csv", "--log=run.csv"); a next argument that starts
// with "-" or "+" is refused as a value (see OptionValue.h).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pyrola::cli {

struct CliArguments {
    bool help = false;
    bool version = false;
    // --list-ports: list the serial and parallel ports and do nothing else.
    bool listPorts = false;
    // --quiet: only failures and the closing result line; --verbose: also what was tried.
    bool quiet = false;
    bool verbose = false;
    // Handed to the command-line processing, one token per argument.
    std::vector<std::string> tokens;
    // --serial: write the next serial number of this ".sprj" file after the flow steps.
    std::optional<std::string> serialPath;
    // --serial-read: read the serial number this ".sprj" file describes and print it.
    std::optional<std::string> serialReadPath;
    // --serial-on-board keep|new: a board that holds a serial of the file's series already
    // keeps it (the station loop's default), or gets a new number (a single run's default).
    std::optional<std::string> serialOnBoard;
    // --log: append one line about the run to this CSV file.
    std::optional<std::string> logPath;
    // --save: after a read or a dump, save the image to this file (format by extension).
    std::optional<std::string> savePath;
    // --format NAME: read the image file in this format whatever its name.
    std::optional<std::string> formatName;
    // --base ADDR: the address of a binary file's first byte (text as given; see binaryBase).
    std::optional<std::string> baseText;
    // --base read as a number: 0x1100 (hexadecimal) or 4352 (decimal), at most 0xFFFFF.
    std::optional<uint32_t> binaryBase;
    // --strict-image: a file that gives an address twice is refused, not only warned of.
    bool strictImage = false;
    // --device NAME: the device-table row to assume where the chip cannot be identified,
    // and the one the identified chip must be.
    std::optional<std::string> deviceName;
    // --station: the production log's name for this station (default: adapter and port).
    std::optional<std::string> station;
    // --store-settings: keep the adapter, port and loader options of this command line as
    // the stored settings (otherwise they hold for this run only).
    bool storeSettings = false;

    // --dump ram|id|bsl: the job flag of that dump, or 0.
    uint32_t dumpFlag = 0;
    // Why the arguments were refused; empty when they were not.
    std::string error;

    // The job steps the options ask for (serial write or read, dump).
    uint32_t ActionFlags() const;
};

CliArguments ParseCliArguments(const std::vector<std::string>& arguments);

// "PYROLA v1.44", as the About box shows it.
std::string VersionText();

} // namespace pyrola::cli
