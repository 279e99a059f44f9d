#include "adapters/DeviceTable.h"

#include <algorithm>

#include <cstring>

namespace pyrola {

namespace {

// Identification bytes each row's patterns are compared with, in pattern order.
constexpr uint8_t kPatternBytes[7] = {0, 1, 2, 3, 8, 9, 13};

struct DeviceRow {
    const char* name;
    uint16_t pattern[7];
    uint16_t fuseValue;
    uint16_t fuseMask;
    uint8_t family;
    // JTAG shares port 1's pins and needs TEST driven high (the 20- and 28-pin F1xx parts).
    bool testPin = false;
    // The one part whose memory map the row holds, where the name stands for a line.
    const char* part = nullptr;
};

constexpr bool T = true;

constexpr uint16_t X = kDeviceAny;

// Scan order decides ties: earlier rows win.
constexpr DeviceRow kRows[kDeviceCount] = {
    {"Device unknown", {0x00, X, X, X, X, X, X}, X, 0xFFFF, 0},
    {"Prototype MSP430F11x1", {0xF1, 0x12, 0x00, 0x43, 0x00, 0x08, X}, X, 0xFFFF, 1, T},
    {"MSP430F11x1", {0xF1, 0x12, 0x10, 0x40, 0x00, 0x00, X}, X, 0xFFFF, 2, T, "MSP430F1121"},
    {"MSP430F133", {0xF1, 0x49, X, X, X, X, X}, 0x0005, 0x000F, 3},
    {"MSP430F135", {0xF1, 0x49, X, X, X, X, X}, 0x0004, 0x000F, 4},
    {"MSP430F147", {0xF1, 0x49, X, X, X, X, X}, 0x0002, 0x000F, 5},
    {"MSP430F148", {0xF1, 0x49, X, X, X, X, X}, 0x0001, 0x000F, 6},
    {"MSP430F149", {0xF1, 0x49, X, X, X, X, X}, 0x0000, 0x000F, 7},
    {"Preliminary MSP430F413", {0xF4, 0x03, 0x00, 0x40, X, X, X}, X, 0xFFFF, 8},
    {"MSP430F41x", {0xF4, 0x13, 0x02, 0x40, X, X, X}, X, 0xFFFF, 9, false, "MSP430F413"},
    {"MSP430F11x1A", {0xF1, 0x12, 0x13, 0x40, 0x00, 0x00, X}, X, 0xFFFF, 10, T, "MSP430F1121A"},
    {"MSP430F12x", {0xF1, 0x23, X, X, X, X, X}, X, 0xFFFF, 11, T, "MSP430F123"},
    {"MSP430F43x", {0xF4, 0x37, X, X, X, X, X}, X, 0xFFFF, 12, false, "MSP430F437"},
    {"MSP430F43x", {0xF4, 0x49, X, X, X, X, X}, 0x0002, 0x000F, 12, false, "MSP430F437"},
    {"MSP430F44x", {0xF4, 0x49, X, X, X, X, X}, 0x0000, 0x000F, 13, false, "MSP430F449"},
    {"Preliminary MSP430F12x2", {0x12, 0x32, 0x00, 0x40, X, X, X}, X, 0xFFFF, 14, T},
    {"MSP430F11x2", {0x11, 0x32, X, X, X, X, X}, X, 0xFFFF, 15, T, "MSP430F1132"},
    {"MSP430F12x2/F11x2", {0x12, 0x32, 0x10, 0x40, X, X, X}, X, 0xFFFF, 16, T, "MSP430F1232"},
    {"Preliminary MSP430F16x", {0xF1, 0x69, 0x00, 0x40, X, X, X}, X, 0xFFFF, 17},
    {"MSP430FE423_P", {0xF4, 0x27, 0x00, X, X, X, 0x45}, 0x0002, 0x001F, 18},
    {"MSP430FE425_P", {0xF4, 0x27, 0x00, X, X, X, 0x45}, 0x0001, 0x001F, 19},
    {"MSP430FE427_P", {0xF4, 0x27, 0x00, X, X, X, 0x45}, 0x0000, 0x001F, 20},
    {"MSP430FE423_N", {0xF4, 0x27, 0x10, X, X, X, 0x45}, 0x0002, 0x001F, 18},
    {"MSP430FE425_N", {0xF4, 0x27, 0x10, X, X, X, 0x45}, 0x0001, 0x001F, 19},
    {"MSP430FE427_N", {0xF4, 0x27, 0x10, X, X, X, 0x45}, 0x0000, 0x001F, 20},
    {"MSP430FE423", {0xF4, 0x27, X, X, X, X, 0x45}, 0x0002, 0x001F, 18},
    {"MSP430FE425", {0xF4, 0x27, X, X, X, X, 0x45}, 0x0001, 0x001F, 19},
    {"MSP430FE427", {0xF4, 0x27, X, X, X, X, 0x45}, 0x0000, 0x001F, 20},
    {"MSP430F423", {0xF4, 0x27, X, X, X, X, 0x45}, 0x0006, 0x001F, 21},
    {"MSP430F425", {0xF4, 0x27, X, X, X, X, 0x45}, 0x0005, 0x001F, 22},
    {"MSP430F427", {0xF4, 0x27, X, X, X, X, 0x45}, 0x0006, 0x001F, 23},
    {"MSP430FW42x/F41x", {0xF4, 0x27, X, X, X, X, 0x57}, X, 0xFFFF, 24, false, "MSP430FW427"},
    {"MSP430F155", {0xF1, 0x69, X, X, X, X, X}, 0x0006, 0x000F, 25},
    {"MSP430F156", {0xF1, 0x69, X, X, X, X, X}, 0x0005, 0x000F, 26},
    {"MSP430F157", {0xF1, 0x69, X, X, X, X, X}, 0x0004, 0x000F, 27},
    {"MSP430F167", {0xF1, 0x69, X, X, X, X, X}, 0x0002, 0x000F, 28},
    {"MSP430F168", {0xF1, 0x69, X, X, X, X, X}, 0x0001, 0x000F, 29},
    {"MSP430F169", {0xF1, 0x69, X, X, X, X, X}, 0x0000, 0x000F, 30},
    {"MSP430F1610", {0xF1, 0x6C, X, X, X, X, X}, 0x0003, 0x0007, 31},
    {"MSP430F1611", {0xF1, 0x6C, X, X, X, X, X}, 0x0000, 0x0007, 32},
    {"MSP430F1612", {0xF1, 0x6C, X, X, X, X, X}, 0x0006, 0x0007, 33},
    {"MSP430F169", {0xF1, 0x6C, X, X, X, X, X}, 0x0007, 0x0007, 30},
    {"MSP430FG43x", {0xF4, 0x39, X, X, X, X, 0x47}, X, 0xFFFF, 34, false, "MSP430FG439"},
    {"DEFAULT", {0x00, X, X, X, X, X, X}, X, 0xFFFF, 7},
    // The smaller members of lines whose rows above hold the largest member's map. Their
    // fuses are not published, so the identification alone names the line: a set of parts.
    {"MSP430F1101", {0xF1, 0x12, 0x10, 0x40, 0x00, 0x00, X}, X, 0xFFFF, 35, T},
    {"MSP430F1111", {0xF1, 0x12, 0x10, 0x40, 0x00, 0x00, X}, X, 0xFFFF, 36, T},
    {"MSP430F1101A", {0xF1, 0x12, 0x13, 0x40, 0x00, 0x00, X}, X, 0xFFFF, 35, T},
    {"MSP430F1111A", {0xF1, 0x12, 0x13, 0x40, 0x00, 0x00, X}, X, 0xFFFF, 36, T},
    {"MSP430F122", {0xF1, 0x23, X, X, X, X, X}, X, 0xFFFF, 2, T},
    {"MSP430F1122", {0x11, 0x32, X, X, X, X, X}, X, 0xFFFF, 2, T},
    {"MSP430F1222", {0x12, 0x32, 0x10, 0x40, X, X, X}, X, 0xFFFF, 2, T},
    {"MSP430F412", {0xF4, 0x13, 0x02, 0x40, X, X, X}, X, 0xFFFF, 2},
    {"MSP430F435", {0xF4, 0x37, X, X, X, X, X}, X, 0xFFFF, 4},
    {"MSP430F436", {0xF4, 0x37, X, X, X, X, X}, X, 0xFFFF, 26},
    {"MSP430F447", {0xF4, 0x49, X, X, X, X, X}, X, 0xFFFF, 5},
    {"MSP430F448", {0xF4, 0x49, X, X, X, X, X}, X, 0xFFFF, 6},
    {"MSP430FW423", {0xF4, 0x27, X, X, X, X, 0x57}, X, 0xFFFF, 3},
    {"MSP430FW425", {0xF4, 0x27, X, X, X, X, 0x57}, X, 0xFFFF, 4},
    {"MSP430FG437", {0xF4, 0x39, X, X, X, X, 0x47}, X, 0xFFFF, 5},
    {"MSP430FG438", {0xF4, 0x39, X, X, X, X, 0x47}, X, 0xFFFF, 6},
};

constexpr FamilyBounds kFamilies[kDeviceFamilyCount] = {
    {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000}, // 0
    {0xF000, 0xFFFF, 0xEF00, 0xEFFF, 0x0200, 0x02FF}, // 1
    {0xF000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 2
    {0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 3
    {0xC000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x03FF}, // 4
    {0x8000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x05FF}, // 5
    {0x4000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x09FF}, // 6
    {0x1100, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x09FF}, // 7
    {0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 8
    {0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 9
    {0xF000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 10
    {0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 11
    {0x8000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x05FF}, // 12
    {0x1100, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x09FF}, // 13
    {0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 14
    {0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 15
    {0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 16
    {0x1100, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x09FF}, // 17
    {0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 18
    {0xC000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x03FF}, // 19
    {0x8000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x05FF}, // 20
    {0xE000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x02FF}, // 21
    {0xC000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x03FF}, // 22
    {0x8000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x05FF}, // 23
    {0x8000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x05FF}, // 24
    {0xC000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x03FF}, // 25
    {0xA000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x05FF}, // 26
    {0x8000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x05FF}, // 27
    {0x8000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x05FF}, // 28
    {0x4000, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x09FF}, // 29
    {0x1100, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x09FF}, // 30
    // F1610, F1611, F1612: RAM from 0x1100, its first 2 KB mirrored at 0x0200 (SLAS368).
    {0x8000, 0xFFFF, 0x1000, 0x10FF, 0x1100, 0x24FF}, // 31
    {0x4000, 0xFFFF, 0x1000, 0x10FF, 0x1100, 0x38FF}, // 32
    {0x2500, 0xFFFF, 0x1000, 0x10FF, 0x1100, 0x24FF}, // 33
    {0x1100, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x09FF}, // 34
    {0xFC00, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x027F}, // 35: F1101(A): 1 KB flash, 128 B RAM
    {0xF800, 0xFFFF, 0x1000, 0x10FF, 0x0200, 0x027F}, // 36: F1111(A): 2 KB flash, 128 B RAM
};

consteval bool TableIsConsistent() {
    for (const DeviceRow& row : kRows) {
        if (row.family >= kDeviceFamilyCount)
            return false;
        size_t length = 0;
        while (row.name[length] != '\0')
            ++length;
        if (length == 0 || length >= sizeof(DeviceRecord::name))
            return false;
    }
    return true;
}
static_assert(TableIsConsistent(), "every row names a family and fits the record's name field");

bool RowMatches(const DeviceRow& row, const uint8_t identification[16], uint16_t fuses) {
    for (size_t i = 0; i < 7; ++i) {
        const uint16_t pattern = row.pattern[i];
        if (pattern != kDeviceAny && pattern != identification[kPatternBytes[i]])
            return false;
    }
    if (row.fuseValue == kDeviceAny)
        return true;
    return (row.fuseValue & row.fuseMask) == (fuses & row.fuseMask);
}

uint32_t Clamp(uint32_t index) {
    return index < kDeviceCount ? index : 0;
}

bool SameIdentity(const DeviceRow& a, const DeviceRow& b) {
    for (size_t i = 0; i < 7; ++i) {
        if (a.pattern[i] != b.pattern[i])
            return false;
    }
    if (a.fuseValue == kDeviceAny || b.fuseValue == kDeviceAny)
        return a.fuseValue == b.fuseValue;
    return a.fuseMask == b.fuseMask && (a.fuseValue & a.fuseMask) == (b.fuseValue & b.fuseMask);
}

// Rows 0 ("Device unknown") and DEFAULT stand for no part.
bool NamesAPart(uint32_t index) {
    return index != 0 && index != kDeviceDefaultRow;
}

} // namespace

uint32_t LookupDevice(const uint8_t identification[16], uint16_t fuses) {
    if (!identification)
        return 0;
    for (uint32_t i = 0; i < kDeviceCount; ++i) {
        if (RowMatches(kRows[i], identification, fuses))
            return i;
    }
    return 0;
}

void FillDeviceRecord(uint32_t index, DeviceRecord* record) {
    if (!record)
        return;
    index = Clamp(index);
    const DeviceRow& row = kRows[index];
    const FamilyBounds& family = kFamilies[row.family];
    record->marker = kDeviceRecordMarker;
    record->index = static_cast<uint16_t>(index);
    std::memcpy(record->name, row.name, std::strlen(row.name) + 1);
    record->mainStart = family.mainStart;
    record->infoStart = family.infoStart;
    record->ramEnd = family.ramEnd;
    record->mainEnd = family.mainEnd;
    record->infoEnd = family.infoEnd;
}

namespace {

bool FamilyMatches(const std::string& pattern, const std::string& part) {
    if (pattern.size() != part.size())
        return false;
    for (size_t i = 0; i < part.size(); ++i) {
        const bool digit = part[i] >= '0' && part[i] <= '9';
        if (pattern[i] != part[i] && !(pattern[i] == 'x' && digit))
            return false;
    }
    return true;
}

bool RowNamesPart(const std::string& rowName, const std::string& part) {
    static const std::string kPrefix = "MSP430";
    size_t begin = 0;
    while (begin <= rowName.size()) {
        const size_t end = std::min(rowName.find('/', begin), rowName.size());
        std::string alternative = rowName.substr(begin, end - begin);
        if (alternative.compare(0, kPrefix.size(), kPrefix) != 0)
            alternative = kPrefix + alternative; // "MSP430F12x2/F11x2"
        if (FamilyMatches(alternative, part))
            return true;
        begin = end + 1;
    }
    return false;
}

bool Tentative(const std::string& rowName) {
    return rowName.rfind("Prototype ", 0) == 0 || rowName.rfind("Preliminary ", 0) == 0;
}

} // namespace

uint32_t DeviceIndexOfPart(const std::string& part) {
    for (uint32_t row = 1; row < kDeviceCount; ++row) {
        if (part == kRows[row].name && !Tentative(part))
            return row;
    }
    for (uint32_t row = 1; row < kDeviceCount; ++row) {
        if (!Tentative(kRows[row].name) && RowNamesPart(kRows[row].name, part))
            return row;
    }
    return 0;
}

const char* DeviceName(uint32_t index) {
    return kRows[Clamp(index)].name;
}

FamilyBounds DeviceBounds(uint32_t index) {
    return kFamilies[kRows[Clamp(index)].family];
}

uint8_t DeviceFamily(uint32_t index) {
    return kRows[Clamp(index)].family;
}

bool DeviceHasTestPin(uint32_t index) {
    return kRows[Clamp(index)].testPin;
}

const char* DevicePartName(uint32_t index) {
    const DeviceRow& row = kRows[Clamp(index)];
    return row.part != nullptr ? row.part : row.name;
}

std::vector<uint32_t> DeviceCandidates(const uint8_t identification[16], std::optional<uint16_t> fuses) {
    std::vector<uint32_t> rows;
    if (!identification)
        return rows;
    for (uint32_t i = 0; i < kDeviceCount; ++i) {
        const DeviceRow& row = kRows[i];
        // Unknown fuses rule out no row: every value is possible.
        const bool matches =
            fuses ? RowMatches(row, identification, *fuses) : RowMatches(row, identification, row.fuseValue);
        if (!matches)
            continue;
        if (i == 0)
            return {}; // an erased identification names no part
        if (NamesAPart(i))
            rows.push_back(i);
    }
    return rows;
}

std::vector<uint32_t> DeviceSiblings(uint32_t index) {
    index = Clamp(index);
    if (!NamesAPart(index))
        return {index};
    std::vector<uint32_t> rows;
    for (uint32_t i = 0; i < kDeviceCount; ++i) {
        if (NamesAPart(i) && SameIdentity(kRows[i], kRows[index]))
            rows.push_back(i);
    }
    return rows;
}

uint32_t DeviceSharedRow(const std::vector<uint32_t>& rows) {
    uint32_t best = 0;
    for (uint32_t row : rows) {
        const FamilyBounds b = DeviceBounds(row);
        const FamilyBounds current = DeviceBounds(best);
        if (best == 0 || b.mainStart > current.mainStart ||
            (b.mainStart == current.mainStart && b.ramEnd < current.ramEnd))
            best = row;
    }
    return best;
}

uint32_t DeviceAmong(const std::vector<uint32_t>& rows, uint32_t wanted) {
    if (wanted == 0 || wanted >= kDeviceCount)
        return 0;
    for (uint32_t row : rows) {
        if (row == wanted)
            return row;
    }
    // A name the table holds twice, or a line's row named by its part.
    for (uint32_t row : rows) {
        if (std::strcmp(DevicePartName(row), DevicePartName(wanted)) == 0)
            return row;
    }
    return 0;
}

std::string DeviceListText(const std::vector<uint32_t>& rows) {
    std::string text;
    std::vector<std::string> seen;
    for (uint32_t row : rows) {
        std::string part = DevicePartName(row);
        if (std::find(seen.begin(), seen.end(), part) != seen.end())
            continue;
        seen.push_back(part);
        const std::string prefix = "MSP430";
        if (!text.empty()) {
            text += ", ";
            if (part.rfind(prefix, 0) == 0)
                part = part.substr(prefix.size());
        }
        text += part;
    }
    return text;
}

} // namespace pyrola
