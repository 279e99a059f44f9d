#pragma once
// The serial and parallel ports of this machine, for "pyrola --list-ports": one line per
// port, "NAME<TAB>DEVICE<TAB>DESCRIPTION", serial ports first, each kind in the order of its
// device names (COM2 before COM10), so that scripts can rely on it. NAME is the port the
// "-c" option reaches it by (COM3, LPT1), or "-" when no port number does (on Linux a
// USB adapter until $PYROLA_COMn names it).
//   Linux: the serial devices the kernel has hardware for (/sys/class/tty, with the USB
//   adapter's maker, product, ids and serial from sysfs), the ppdev devices, and the
//   devices $PYROLA_COMn and $PYROLA_LPTn name.
//   Windows: the COM and LPT devices the system defines, with their device objects.

#include <string>
#include <vector>

namespace pyrola {

struct PortEntry {
    bool serial = true;
    std::string name; // "COM3", "LPT1" or "-"
    std::string device;
    std::string description;
};

// This platform's ports, sorted as above.
std::vector<PortEntry> ListSystemPorts();
// One entry as its line.
std::string PortEntryLine(const PortEntry& entry);
// The order of the list: serial first, then by device name with numbers compared as numbers.
bool PortEntryBefore(const PortEntry& a, const PortEntry& b);
// The lines of ListSystemPorts in that order; none when the machine has no port.
std::vector<std::string> PortListLines();

} // namespace pyrola
