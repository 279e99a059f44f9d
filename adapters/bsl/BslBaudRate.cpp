#include "adapters/bsl/BslBaudRate.h"

namespace pyrola {

namespace {

struct Row {
    uint32_t baudRate;
    BslBaudSetting f1xx;
    BslBaudSetting f4xx;
};

// F1xx: the basic clock's DCO tap (DCOCTL) and resistor (BCSCTL1, XT2 off); F4xx: the
// FLL+ system clock's SCFI0 and DCO tap (SCFI1). 9600 is the loader's own start setting.
constexpr Row kRows[] = {
    {9600, {0x80, 0x85, 0}, {0x00, 0x98, 0}},
    {19200, {0xE0, 0x86, 1}, {0x00, 0xB0, 1}},
    {38400, {0xE0, 0x87, 2}, {0x00, 0xC8, 2}},
};

} // namespace

BslFamily BslFamilyOf(uint8_t identificationHigh) {
    switch (identificationHigh) {
    case 0xF1:
    case 0x11:
    case 0x12:
        return BslFamily::F1xx;
    case 0xF4:
        return BslFamily::F4xx;
    default:
        return BslFamily::Unknown;
    }
}

std::optional<BslBaudSetting> BslBaudSettingFor(BslFamily family, uint32_t baudRate) {
    if (family == BslFamily::Unknown)
        return std::nullopt;
    for (const Row& row : kRows) {
        if (row.baudRate == baudRate)
            return family == BslFamily::F1xx ? row.f1xx : row.f4xx;
    }
    return std::nullopt;
}

} // namespace pyrola
