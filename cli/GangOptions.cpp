#include "cli/GangOptions.h"

#include "base/TextFormat.h"
#include "cli/OptionValue.h"

#include <algorithm>

namespace pyrola::cli {

namespace {

constexpr uint32_t kHighestPort = 255;

// A port number in decimal, 1 to 255; 0 for anything else.
uint32_t ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const uint32_t port = static_cast<uint32_t>(std::stoul(text));
    return port <= kHighestPort ? port : 0;
}

} // namespace

std::vector<uint32_t> ParsePortList(const std::string& text, std::string& error) {
    std::vector<uint32_t> ports;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const size_t dash = item.find('-');
        const uint32_t first = ParsePort(item.substr(0, dash));
        const uint32_t last = dash == std::string::npos ? first : ParsePort(item.substr(dash + 1));
        if (first == 0 || last == 0 || last < first) {
            error = Format("--gang takes port numbers from 1 to %u such as 1-8 or 1,3,5-6, not '%s'",
                           unsigned(kHighestPort), text.c_str());
            return {};
        }
        for (uint32_t port = first; port <= last; ++port) {
            if (std::find(ports.begin(), ports.end(), port) != ports.end()) {
                error = Format("--gang names port %u twice in '%s'", unsigned(port), text.c_str());
                return {};
            }
            ports.push_back(port);
        }
        if (ports.size() > kGangMostPorts) {
            error = Format("--gang takes at most %u ports, not %zu", unsigned(kGangMostPorts), ports.size());
            return {};
        }
        start = comma + 1;
    }
    return ports;
}

GangOptions TakeGangOptions(const std::vector<std::string>& arguments) {
    GangOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument != "--gang" && argument.rfind("--gang=", 0) != 0) {
            options.rest.push_back(argument);
            continue;
        }
        const OptionValue taken = TakeOptionValue(arguments, i, "--gang", "a list of ports such as 1-8");
        if (!taken.error.empty()) {
            options.error = taken.error;
            return options;
        }
        if (options.gang) {
            options.error = "--gang given twice";
            return options;
        }
        options.gang = true;
        options.ports = ParsePortList(taken.value.value_or(""), options.error);
        if (!options.error.empty())
            return options;
    }
    return options;
}

} // namespace pyrola::cli
