#pragma once
// The gang driver's options, taken out of the arguments before the rest is read:
//   --gang PORTS   run the job on every port of the list at once ("1-8", "1,3,5-6"),
//                  each board in a pyrola process of its own
// The rest goes unchanged to every station's process, with -c{port} and --station added.

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola::cli {

inline constexpr uint32_t kGangMostPorts = 64;

struct GangOptions {
    bool gang = false;
    // The ports in the order given, each once.
    std::vector<uint32_t> ports;
    // The other arguments, in their order.
    std::vector<std::string> rest;
    // Why the options were refused; empty when they were not.
    std::string error;
};

GangOptions TakeGangOptions(const std::vector<std::string>& arguments);

// "1-8" or "1,3,5-6": port numbers 1 to 255, each once, at most kGangMostPorts; an empty
// list and the reason when the text is not such a list.
std::vector<uint32_t> ParsePortList(const std::string& text, std::string& error);

} // namespace pyrola::cli
