#include "cli/GangOptions.h"

#include "base/TextFormat.h"
#include "cli/OptionValue.h"
#include "cli/PortName.h"
#include "jobs/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace pyrola::cli {

namespace {

constexpr uint32_t kHighestPort = 255;
constexpr uint32_t kMostBoards = 1000000;

// A decimal number from 1 to `highest`; 0 otherwise.
uint32_t ParseNumber(const std::string& text, uint32_t highest) {
    if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const unsigned long value = std::stoul(text);
    return value <= highest ? static_cast<uint32_t>(value) : 0;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsOption(const std::string& argument, const char* name) {
    const std::string prefix = std::string(name) + "=";
    return argument == name || argument.rfind(prefix, 0) == 0;
}

} // namespace

std::vector<uint32_t> ParsePortList(const std::string& text, std::string& error) {
    std::vector<uint32_t> ports;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        // A port by its name ("COM3", "/dev/ttyUSB0"); a device path may hold dashes.
        if (!item.empty() &&
            (std::isalpha(static_cast<unsigned char>(item[0])) || item[0] == '/' || item[0] == '\\')) {
            const NamedPort named = PortNumberForName(item);
            if (!named.error.empty()) {
                error = "--gang: " + named.error;
                return {};
            }
            if (std::find(ports.begin(), ports.end(), named.number) != ports.end()) {
                error = Format("--gang names port %u twice in '%s'", unsigned(named.number), text.c_str());
                return {};
            }
            ports.push_back(named.number);
            start = comma + 1;
            continue;
        }
        const size_t dash = item.find('-');
        const uint32_t first = ParseNumber(item.substr(0, dash), kHighestPort);
        const uint32_t last =
            dash == std::string::npos ? first : ParseNumber(item.substr(dash + 1), kHighestPort);
        if (first == 0 || last == 0 || last < first) {
            error = Format("--gang takes port numbers from 1 to %u (or port names: COM1,COM3) such as 1-8 or "
                           "1,3,5-6, not '%s'",
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
            error = Format("--gang takes at most %u ports, not %u", unsigned(kGangMostPorts),
                           unsigned(ports.size()));
            return {};
        }
        start = comma + 1;
    }
    return ports;
}

GangOptions TakeGangOptions(const std::vector<std::string>& arguments) {
    GangOptions options;
    bool countsEveryGiven = false;
    for (size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--loop") {
            options.loop = true;
        } else if (argument == "--probe") {
            options.probe = true;
        } else if (IsOption(argument, "--gang")) {
            const OptionValue taken = TakeOptionValue(arguments, i, "--gang", "a list of ports such as 1-8");
            options.error = taken.error;
            if (options.error.empty() && options.gang)
                options.error = "--gang given twice";
            if (options.error.empty()) {
                options.gang = true;
                options.ports = ParsePortList(*taken.value, options.error);
            }
        } else if (IsOption(argument, "--count") || IsOption(argument, "--counts-every")) {
            const bool every = IsOption(argument, "--counts-every");
            const char* name = every ? "--counts-every" : "--count";
            const OptionValue taken = TakeOptionValue(arguments, i, name, "a number of boards");
            options.error = taken.error;
            const uint32_t number = taken.value ? ParseNumber(*taken.value, kMostBoards) : 0;
            if (options.error.empty() && number == 0)
                options.error = Format("%s takes a number of boards from 1 to %u, not '%s'", name,
                                       unsigned(kMostBoards), taken.value->c_str());
            if (every) {
                options.countsEvery = number;
                countsEveryGiven = true;
            } else {
                options.count = number;
            }
        } else {
            options.rest.push_back(argument);
        }
    }
    if (!options.error.empty())
        return options;
    if ((options.count || countsEveryGiven) && !options.loop)
        options.error = "--count and --counts-every go with --loop";
    else if (options.probe && (options.gang || options.loop))
        options.error = "--probe looks at one port; it does not go with --gang or --loop";
    return options;
}

StationTokens ReadStationTokens(const std::vector<std::string>& tokens) {
    StationTokens station;
    for (const std::string& token : tokens) {
        const std::string lower = Lower(token);
        if (lower == "-fet")
            station.adapter = StationAdapter::Fet;
        else if (lower == "-raw")
            station.adapter = StationAdapter::Raw;
        else if (lower == "-bsl")
            station.adapter = StationAdapter::Bsl;
        else if (token.size() >= 2 && token[0] == '-' && IsPortOption(std::string_view(token).substr(1))) {
            station.portToken = token;
            const PortOption port = ReadPortOption(std::string_view(token).substr(1));
            station.port = port.number && *port.number <= kHighestPort ? *port.number : 0;
            station.portProblem =
                port.number && !station.port
                    ? Format("%s: ports go from 1 to %u", token.c_str(), unsigned(kHighestPort))
                    : (port.number ? std::string() : token + ": " + port.problem);
        }
    }
    return station;
}

std::string StationLabel(StationAdapter adapter, uint32_t port) {
    switch (adapter) {
    case StationAdapter::Fet:
        return Format("FET(LPT%u)", unsigned(port));
    case StationAdapter::Raw:
        return Format("RAW(LPT%u)", unsigned(port));
    case StationAdapter::Bsl:
        return Format("BSL(COM%u)", unsigned(port));
    case StationAdapter::None:
        break;
    }
    return Format("PORT%u", unsigned(port));
}

} // namespace pyrola::cli
