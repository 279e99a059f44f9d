#pragma once
// The user's persistent choices: adapter and ports, the Auto steps, the gap byte and options.

#include <cstdint>

namespace pyrola {

enum AdapterKind : uint32_t { kAdapterFet = 0, kAdapterRaw = 1, kAdapterBsl = 2 };

struct Settings {
    const char* keyPath = "Software\\Qorvane\\Pyrola";
    uint32_t bslPort = 0;           // "BSL_PORT", 0-based COM index
    uint32_t fetPort = 0;           // "FET_PORT", 0-based LPT index
    uint32_t rawPort = 0;           // "RAW_FET_PORT", 0-based LPT index
    uint32_t adapter = kAdapterRaw; // "Adapter"
    uint32_t autoSteps = 27;        // "AutoProgramm": Program, Erase, Blank check, Verify
    uint8_t gapByte = 0xFF;         // "GapByte"
    uint8_t autoDetect = 1;         // "AutoDetect"
    uint8_t removeGap = 1;          // "RemoveGap"
    uint8_t eraseInfo = 1;          // "EraseInfo"
    uint8_t oneInstance = 1;        // "OneInstance"
    uint8_t bslPatch = 1;           // "BslPatch"
    uint32_t overrideDevice = 0;    // "OverrideDev"
    // The BSL adapter's line, beyond the twelve values above (stored after them):
    uint32_t bslSpeed = 9600;     // "BslSpeed": 9600, 19200 or 38400 baud once the loader can
    uint8_t bslResetInverted = 0; // "BslResetInverted": the cable inverts the reset line
    uint8_t bslTestInverted = 0;  // "BslTestInverted": the cable inverts the test line
    uint8_t bslSwapResetTest = 0; // "BslSwapResetTest": DTR drives test, RTS drives reset

    bool operator==(const Settings&) const = default;
};

} // namespace pyrola
