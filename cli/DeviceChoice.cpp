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

// How much of a part number a row's name covers: an "x" in the name stands for one digit
// (MSP430F44x covers MSP430F449), and what follows must not be another digit (MSP430F12x
// does not cover MSP430F1232) but may be the ordering suffix (MSP430F149IPM). 0 when the
// row does not cover the part.
size_t CoveredLength(const std::string& row, const std::string& part, bool digitMayFollow = false) {
    if (part.size() < row.size())
        return 0;
    for (size_t i = 0; i < row.size(); ++i) {
        const bool digitWanted = row[i] == 'X' && i > 0;
        if (digitWanted ? !std::isdigit(static_cast<unsigned char>(part[i])) : part[i] != row[i])
            return 0;
    }
    if (!digitMayFollow && part.size() > row.size() &&
        std::isdigit(static_cast<unsigned char>(part[row.size()])))
        return 0;
    return row.size();
}

// The row whose name covers most of a part number; 0 when none does.
uint32_t RowForPartNumber(const std::string& part) {
    uint32_t best = 0;
    size_t covered = 0;
    for (uint32_t index = 1; index < kDeviceCount; ++index) {
        const size_t length = CoveredLength(Upper(DeviceName(index)), part);
        if (length > covered) {
            covered = length;
            best = index;
        }
    }
    return best;
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
        candidates.push_back({CoveredLength(row, wanted, true) ? 0 : EditDistance(wanted, row), index});
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
