#include "platform/PortList.h"

#include <windows.h>

#include <vector>

namespace pyrola {

namespace {

// "COM12" or "LPT1": the kind's prefix and a port number from 1.
bool IsPortName(const std::string& name, const char* prefix) {
    if (name.size() < 4 || name.compare(0, 3, prefix) != 0)
        return false;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
    }
    return name[3] != '0';
}

std::string DeviceObject(const std::string& name) {
    char target[1024] = {};
    return QueryDosDeviceA(name.c_str(), target, sizeof target) ? std::string(target) : std::string();
}

} // namespace

std::vector<PortEntry> ListSystemPorts() {
    std::vector<PortEntry> entries;
    // Every DOS device name, NUL-separated; the buffer grows until it holds them all.
    std::vector<char> names(1 << 16);
    DWORD length = 0;
    while ((length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()))) == 0 &&
           GetLastError() == ERROR_INSUFFICIENT_BUFFER && names.size() < (1u << 24))
        names.resize(names.size() * 2);
    for (size_t at = 0; at < length && names[at] != '\0';) {
        const std::string name(&names[at]);
        at += name.size() + 1;
        const bool serial = IsPortName(name, "COM");
        if (!serial && !IsPortName(name, "LPT"))
            continue;
        const std::string object = DeviceObject(name);
        entries.push_back({serial, name, "\\\\.\\" + name,
                           (serial ? "serial port" : "parallel port") +
                               (object.empty() ? std::string() : " (" + object + ")")});
    }
    return entries;
}

} // namespace pyrola
