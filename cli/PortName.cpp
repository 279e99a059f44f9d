#include "cli/PortName.h"

#include "base/TextFormat.h"
#include "cli/OptionValue.h"
#include "jobs/CommandLine.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace pyrola::cli {

namespace {

constexpr uint32_t kHighestPort = 255;

// "COM3" or "LPT12": the number; 0 when the text is not such a name.
uint32_t NumberAfterPrefix(const std::string& name, const char* prefix) {
    const size_t length = std::strlen(prefix);
    if (name.size() <= length || name.size() > length + 3)
        return 0;
    for (size_t i = 0; i < length; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != prefix[i])
            return 0;
    }
    uint32_t number = 0;
    for (size_t i = length; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        number = number * 10 + static_cast<uint32_t>(name[i] - '0');
    }
    return number;
}

#ifndef _WIN32
// Windows opens COMn by its own name: a device path is a POSIX matter only.
std::string Variable(const char* kind, uint32_t number) {
    const char* value = std::getenv(Format("PYROLA_%s%u", kind, unsigned(number)).c_str());
    return value ? value : "";
}

void SetVariable(const char* kind, uint32_t number, const std::string& value) {
    const std::string name = Format("PYROLA_%s%u", kind, unsigned(number));
    setenv(name.c_str(), value.c_str(), 1);
}

// A device path: the number its default place gives it, the number whose variable already
// names it, or else the first number whose variables are both unset.
NamedPort MapDevicePath(const std::string& path) {
    NamedPort port;
    std::error_code failure;
    if (!std::filesystem::exists(path, failure)) {
        port.error = Format("--port %s: %s", path.c_str(),
                            failure ? failure.message().c_str() : std::strerror(ENOENT));
        return port;
    }
    for (uint32_t n = 1; n <= kHighestPort && port.number == 0; ++n) {
        if (Variable("COM", n) == path || Variable("LPT", n) == path)
            port.number = n;
    }
    for (uint32_t n = 1; n <= kHighestPort && port.number == 0; ++n) {
        if (Variable("COM", n).empty() && Variable("LPT", n).empty())
            port.number = n;
    }
    if (port.number == 0) {
        port.error = Format("--port %s: every port number up to %u is mapped already", path.c_str(),
                            unsigned(kHighestPort));
        return port;
    }
    SetVariable("COM", port.number, path);
    SetVariable("LPT", port.number, path);
    port.note = Format("Port %s is COM%u (LPT%u) in this run", path.c_str(), unsigned(port.number),
                       unsigned(port.number));
    return port;
}
#endif

} // namespace

NamedPort PortNumberForName(const std::string& name) {
    NamedPort port;
    std::string bare = name;
    if (bare.rfind("\\\\.\\", 0) == 0)
        bare = bare.substr(4);
    port.number = NumberAfterPrefix(bare, "COM");
    if (port.number == 0)
        port.number = NumberAfterPrefix(bare, "LPT");
    if (port.number >= 1 && port.number <= kHighestPort)
        return port;
    port.number = 0;
#ifndef _WIN32
    if (name.find('/') != std::string::npos)
        return MapDevicePath(name);
    port.error =
        Format("No port '%s': name COM1 to COM%u, LPT1 to LPT%u or a device path such as /dev/ttyUSB0",
               name.c_str(), unsigned(kHighestPort), unsigned(kHighestPort));
#else
    port.error = Format("No port '%s': name COM1 to COM%u or LPT1 to LPT%u", name.c_str(),
                        unsigned(kHighestPort), unsigned(kHighestPort));
#endif
    return port;
}

PortArguments TakePortOption(const std::vector<std::string>& arguments) {
    PortArguments taken;
    bool given = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument != "--port" && argument.rfind("--port=", 0) != 0) {
            taken.rest.push_back(argument);
            continue;
        }
        const OptionValue value = TakeOptionValue(arguments, i, "--port", "a port name");
        if (value.error.empty() && given)
            taken.error = "Option '--port' given twice";
        if (!value.error.empty() || given) {
            if (taken.error.empty())
                taken.error = value.error;
            return taken;
        }
        given = true;
        const NamedPort port = PortNumberForName(*value.value);
        if (!port.error.empty()) {
            taken.error = port.error;
            return taken;
        }
        if (!port.note.empty())
            taken.notes.push_back(port.note);
        taken.rest.push_back(Format("-c%u", unsigned(port.number)));
    }
    // The last port token would win: two that may disagree are a mistake either way.
    size_t portTokens = 0;
    for (const std::string& argument : taken.rest) {
        if (argument.size() >= 2 && argument[0] == '-' && IsPortOption(std::string_view(argument).substr(1)))
            ++portTokens;
    }
    if (given && portTokens > 1)
        taken.error = "--port and -c both name the port: give one of them";
    return taken;
}

} // namespace pyrola::cli
