#pragma once
// The production line's station options, taken out of the arguments before the rest is read:
//   --gang PORTS        run the job on every port of the list at once ("1-8", "1,3,5-6"),
//                       each board in a pyrola process of its own
//   --loop              board after board on each station: wait for a board, program it,
//                       wait until it is taken away
//   --count N           with --loop: stop after N boards in all
//   --counts-every N    with --loop: print the counts after every N boards (default 10)
//   --probe             only tell whether a board answers on the port (exit 0) or not (1)
// The rest goes unchanged to every station's process, with -c{port} and --station added.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pyrola::cli {

inline constexpr uint32_t kGangMostPorts = 64;
inline constexpr uint32_t kDefaultCountsEvery = 10;

struct GangOptions {
    bool gang = false;
    // The ports in the order given, each once.
    std::vector<uint32_t> ports;
    bool loop = false;
    std::optional<uint32_t> count;
    uint32_t countsEvery = kDefaultCountsEvery;
    bool probe = false;
    // The other arguments, in their order.
    std::vector<std::string> rest;
    // Why the options were refused; empty when they were not.
    std::string error;

    // Whether the run is the station driver's or a probe's rather than one board's.
    bool Any() const { return gang || loop || probe; }
};

GangOptions TakeGangOptions(const std::vector<std::string>& arguments);

// "1-8", "1,3,5-6" or port names ("COM1,COM3", "/dev/ttyUSB0,/dev/ttyUSB1", see PortName.h):
// ports 1 to 255, each once, at most kGangMostPorts; an empty
// list and the reason when the text is not such a list.
std::vector<uint32_t> ParsePortList(const std::string& text, std::string& error);

enum class StationAdapter { None, Fet, Raw, Bsl };

// What the command-line tokens say about the station: the adapter (the last of -fet, -raw,
// -bsl) and the port of a -c token (decimal or 0x hexadecimal, 1 to 255).
struct StationTokens {
    StationAdapter adapter = StationAdapter::None;
    std::string portToken;   // the -c token as written; empty when none
    uint32_t port = 0;       // 0 when none or not a port number
    std::string portProblem; // why the -c token names no port; empty when it does or is absent
};
StationTokens ReadStationTokens(const std::vector<std::string>& tokens);

// "FET(LPT2)", "RAW(LPT1)", "BSL(COM3)": as the log names a station by default.
std::string StationLabel(StationAdapter adapter, uint32_t port);

} // namespace pyrola::cli
