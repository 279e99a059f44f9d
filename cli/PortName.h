#pragma once
// A port named rather than numbered: "--port COM3", "--port LPT1", "--port /dev/ttyUSB0"
// (on Windows "\\.\COM10" too). Every reader of ports works with numbers (-c{port}, the
// --gang list, the stored settings), so a name becomes one: COMn and LPTn are n; a device
// path is mapped to a free number n for this process and its children by setting
// $PYROLA_COMn and $PYROLA_LPTn to it, which is how the POSIX backends find a port's device.

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola::cli {

struct NamedPort {
    uint32_t number = 0; // 1-based; 0 when the name was refused
    std::string note;    // "Port /dev/ttyUSB0 is COM1 in this run" for a mapped path
    std::string error;
};

// The port number a name stands for (mapping a device path as above).
[[nodiscard]] NamedPort PortNumberForName(const std::string& name);

struct PortArguments {
    std::vector<std::string> rest; // the arguments with "--port NAME" turned into "-c{n}"
    std::vector<std::string> notes;
    std::string error;
};

// Takes "--port NAME" (or "--port=NAME") out of the arguments.
PortArguments TakePortOption(const std::vector<std::string>& arguments);

} // namespace pyrola::cli
