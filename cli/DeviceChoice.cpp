#include "cli/DeviceChoice.h"

#include "adapters/DeviceTable.h"
#include "base/TextCompare.h"
#include "base/TextFormat.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace pyrola::cli {

namespace {

constexpr const char* kFamilyPrefix = "MSP430";
constexpr size_t kClosestShown = 3;

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Edits (insert, delete, replace) that turn a into b.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Whether a row's name starts a part number, an "x" in it standing for one digit
// (MSP430F12x starts MSP430F1232): such a family comes first among the closest rows.
bool RowStartsPart(const std::string& row, const std::string& part) {
    if (part.size() < row.size())
        return false;
    for (size_t i = 0; i < row.size(); ++i) {
        const bool digitWanted = row[i] == 'X' && i > 0;
        if (digitWanted ? !std::isdigit(static_cast<unsigned char>(part[i])) : part[i] != row[i])
            return false;
    }
    return true;
}

// The row of a part number, as a FET library's part name is looked up, with an ordering
// suffix ("IPM", "IPZR") taken off letter by letter until a row names what is left; 0 when
// none does.
uint32_t RowForPartNumber(std::string part) {
    for (;;) {
        if (const uint32_t row = DeviceIndexOfPart(part); row != 0)
            return row;
        if (part.empty() || std::isdigit(static_cast<unsigned char>(part.back())))
            return 0;
        part.pop_back();
    }
}

} // namespace

DeviceChoice ChooseDevice(const std::string& name) {
    DeviceChoice choice;
    std::string wanted = Upper(name);
    if (wanted.rfind(kFamilyPrefix, 0) != 0)
        wanted = kFamilyPrefix + wanted;
    struct Candidate {
        size_t distance;
        uint32_t index;
    };
    std::vector<Candidate> candidates;
    for (uint32_t index = 1; index < kDeviceCount; ++index) {
        const std::string row = Upper(DeviceName(index));
        // A line's row ("MSP430FG43x") also answers to the part whose map it holds.
        if (row == wanted || Upper(DevicePartName(index)) == wanted) {
            choice.index = index;
            return choice;
        }
        // A family whose name starts the part number comes first ("MSP430F12x" for "F1232").
        candidates.push_back({RowStartsPart(row, wanted) ? 0 : EditDistance(wanted, row), index});
    }
    // A real part number: the family row that covers it, said aloud.
    if (const uint32_t row = RowForPartNumber(wanted); row != 0) {
        choice.index = row;
        choice.note = Format("Device %s is the device-table row %s", wanted.c_str(), DeviceName(row));
        return choice;
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    std::string closest;
    size_t shown = 0;
    for (size_t i = 0; i < candidates.size() && shown < kClosestShown; ++i) {
        const std::string row = DeviceName(candidates[i].index);
        if (closest.find(row) != std::string::npos)
            continue; // a name the table holds twice
        closest += (shown++ ? ", " : "") + row;
    }
    choice.error = Format("Error. No device '%s' in the device table; the closest are %s", name.c_str(),
                          closest.c_str());
    return choice;
}

} // namespace pyrola::cli
