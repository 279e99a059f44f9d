#include "platform/PortList.h"
#include "platform/PortIo.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace pyrola {

namespace {

// Highest port number looked up in $PYROLA_COMn and $PYROLA_LPTn.
constexpr int kHighestMappedPort = 64;

std::string ReadLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

// The USB device above a tty's device in sysfs: maker, product, ids, serial.
std::string UsbDescription(const std::string& ttyName) {
    std::string folder = RealPath("/sys/class/tty/" + ttyName + "/device");
    while (!folder.empty() && folder != "/sys" && folder != "/") {
        if (Exists(folder + "/idVendor")) {
            std::string text;
            for (const char* field : {"manufacturer", "product"}) {
                const std::string value = ReadLine(folder + "/" + field);
                if (!value.empty())
                    text += (text.empty() ? "" : " ") + value;
            }
            text += (text.empty() ? "USB (" : " (") + ReadLine(folder + "/idVendor") + ":" +
                    ReadLine(folder + "/idProduct") + ")";
            const std::string serial = ReadLine(folder + "/serial");
            if (!serial.empty())
                text += " serial " + serial;
            return text;
        }
        folder = folder.substr(0, folder.rfind('/'));
    }
    return {};
}

// What a tty with hardware behind it is: its USB adapter, else its driver.
std::string TtyDescription(const std::string& ttyName) {
    const std::string usb = UsbDescription(ttyName);
    if (!usb.empty())
        return usb;
    const std::string driver = RealPath("/sys/class/tty/" + ttyName + "/device/driver");
    const std::string name = driver.empty() ? std::string() : driver.substr(driver.rfind('/') + 1);
    // The on-board 8250/16550 ports' driver is called "port" (or serial8250): say what it is.
    if (name == "port" || name == "serial8250")
        return "serial port (8250/16550 UART)";
    return name.empty() ? "serial port" : "serial port (" + name + ")";
}

const char* PortVariable(const char* kind, int number, std::string& name) {
    name = "PYROLA_" + std::string(kind) + std::to_string(number);
    return std::getenv(name.c_str());
}

// The port ("COM3", "LPT1") whose device is path: the one whose $PYROLA_<kind>n names it,
// else the one whose default device it is (devicePrefix and the number less one), unless
// a variable sends that port elsewhere; "-" when no port reaches it.
std::string PortNameOf(const std::string& path, const char* kind, const std::string& devicePrefix) {
    std::string variable;
    for (int n = 1; n <= kHighestMappedPort; ++n) {
        const char* mapped = PortVariable(kind, n, variable);
        if (mapped && *mapped && (mapped == path || RealPath(mapped) == RealPath(path)))
            return kind + std::to_string(n);
    }
    if (path.rfind(devicePrefix, 0) != 0)
        return "-";
    const std::string number = path.substr(devicePrefix.size());
    if (number.empty() || number.size() > 3 || number.find_first_not_of("0123456789") != std::string::npos)
        return "-";
    const int n = std::stoi(number) + 1;
    const char* mapped = PortVariable(kind, n, variable);
    return mapped && *mapped ? "-" : kind + std::to_string(n);
}

bool Listed(const std::vector<PortEntry>& entries, const std::string& device) {
    for (const PortEntry& entry : entries) {
        if (entry.device == device)
            return true;
    }
    return false;
}

} // namespace

std::vector<PortEntry> ListSystemPorts() {
    std::vector<PortEntry> entries;
    for (const std::string& name : FolderNames("/sys/class/tty")) {
        const std::string base = "/sys/class/tty/" + name;
        // Virtual terminals and pseudo-terminals have no device behind them; the kernel
        // keeps 8250 slots without a UART, whose type is 0.
        if (!Exists(base + "/device"))
            continue;
        if (name.rfind("ttyS", 0) == 0 && ReadLine(base + "/type") == "0")
            continue;
        const std::string device = "/dev/" + name;
        entries.push_back({true, PortNameOf(device, "COM", "/dev/ttyS"), device, TtyDescription(name)});
    }
    for (const std::string& name : FolderNames("/dev")) {
        if (name.rfind("parport", 0) == 0)
            entries.push_back({false, PortNameOf("/dev/" + name, "LPT", "/dev/parport"), "/dev/" + name,
                               "parallel port (ppdev)"});
    }
    // What the variables name is reached whatever the kernel lists: a pseudo-terminal,
    // a port library.
    for (int n = 1; n <= kHighestMappedPort; ++n) {
        const std::string com = "PYROLA_COM" + std::to_string(n);
        const char* serial = std::getenv(com.c_str());
        if (serial && *serial && !Listed(entries, serial)) {
            const std::string real = RealPath(serial);
            const std::string tty = real.rfind("/dev/", 0) == 0 ? real.substr(5) : std::string();
            const std::string usb =
                tty.empty() || tty.find('/') != std::string::npos ? "" : UsbDescription(tty);
            entries.push_back({true, "COM" + std::to_string(n), serial,
                               (usb.empty() ? std::string("serial port") : usb) + " ($" + com + ")"});
        }
        const std::string lpt = LptVariableName(static_cast<uint32_t>(n));
        const char* parallel = std::getenv(lpt.c_str());
        if (parallel && *parallel && !Listed(entries, parallel))
            entries.push_back({false, "LPT" + std::to_string(n), parallel, "parallel port ($" + lpt + ")"});
    }
    return entries;
}

} // namespace pyrola
