#pragma once
// The command line: "[-pi] [-fet | -raw | -bsl] [-c{port}] [+ebpvr] {file}". The same
// text comes from the program's own arguments and from a second instance. This part
// splits and reads it; the shell acts on the result (adapter, load, job).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pyrola {

inline constexpr size_t kCommandLineMaxTokens = 16;

// The usage text as the About box and the headless program show it (CR LF between lines).
extern const char* const kCommandLineUsage;

// Blank-separated tokens; a token opened by a double quote runs to the next double quote
// (or the end) without its quotes. At most 16 tokens; the rest of the text is ignored.
std::vector<std::string> TokenizeCommandLine(std::string_view text);

struct CommandLineRequest {
    bool anyToken = false;
    bool aborted = false; // an illegal flow letter or port: nothing further may happen
    bool errorFlag = false;
    uint32_t flowFlags = 0;
    std::optional<std::string> fileToken;
    std::optional<uint32_t> port; // 0-based, as the settings keep it
    std::optional<uint32_t> adapter;
    // Set when any "-" token was read: every option first sets erase info, "-pi" clears it.
    std::optional<uint8_t> eraseInfo;
    // A "-pi" token was read: information memory stays protected for this command line,
    // whatever adapter or port options stand beside it.
    bool protectInfo = false;
};

// The one reader of a port option, the text after "-" that starts with "c" or "C": "c3",
// "C0x10". The whole rest must be the number, decimal or hexadecimal after "0x": a typo
// ("c1x", "c1O", "c3,4") must never choose another port. number is 1-based; problem says
// why there is none (empty when there is one).
struct PortOption {
    std::optional<uint32_t> number;
    std::string problem;
};
[[nodiscard]] PortOption ReadPortOption(std::string_view option);
// Whether the text after "-" is a port option ("c..." in either case).
bool IsPortOption(std::string_view option);

using PathExistsFn = std::function<bool(const std::string&)>;
using CommandLineReportFn = std::function<void(const std::string&, bool isError)>;

// Reads the tokens in order. A port option that is no port number ends the reading like an
// illegal flow letter, its reason on a second line. Each message (the "Process command line.." line and every
// complaint) goes to report as it arises; isError tells whether it sets the error flag.
// Tokens past the sixteenth are ignored.
CommandLineRequest ParseCommandTokens(const std::vector<std::string>& tokens, const PathExistsFn& pathExists,
                                      const CommandLineReportFn& report);

} // namespace pyrola
