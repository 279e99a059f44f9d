#include "platform/PortList.h"

#include <algorithm>
#include <cctype>

namespace pyrola {

namespace {

// Compares with runs of digits taken as numbers: "ttyS2" before "ttyS10".
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (digitA && digitB) {
            size_t endA = i, endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])))
                ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])))
                ++endB;
            const std::string numberA = a.substr(i, endA - i), numberB = b.substr(j, endB - j);
            const size_t zerosA = numberA.find_first_not_of('0'), zerosB = numberB.find_first_not_of('0');
            const std::string significantA = zerosA == std::string::npos ? "" : numberA.substr(zerosA);
            const std::string significantB = zerosB == std::string::npos ? "" : numberB.substr(zerosB);
            if (significantA.size() != significantB.size())
                return significantA.size() < significantB.size();
            if (significantA != significantB)
                return significantA < significantB;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

} // namespace

std::string PortEntryLine(const PortEntry& entry) {
    return entry.name + "\t" + entry.device + "\t" + entry.description;
}

bool PortEntryBefore(const PortEntry& a, const PortEntry& b) {
    if (a.serial != b.serial)
        return a.serial;
    if (a.device != b.device)
        return NaturalLess(a.device, b.device);
    return NaturalLess(a.name, b.name);
}

std::vector<std::string> PortListLines() {
    std::vector<PortEntry> entries = ListSystemPorts();
    std::stable_sort(entries.begin(), entries.end(), PortEntryBefore);
    std::vector<std::string> lines;
    for (const PortEntry& entry : entries)
        lines.push_back(PortEntryLine(entry));
    return lines;
}

} // namespace pyrola
