#pragma once
// The simulated FET library's device list: its row numbers are the device indexes the
// library reports from Identify and takes in Device. The rows name chips of the
// simulator's catalogue (ChipCatalog); row 0 is no chip ("Device unknown"), the last row
// the library's default part, and a part with two identifications has two rows.

#include <cstdint>
#include <string>

namespace pyrola::sim {

inline constexpr uint32_t kFetDeviceRows = 44;

// How the version-3 library knows a chip of the catalogue: by a part name of its own
// (one part where the catalogue names a family) and a device id of its own, unrelated to
// the rows above (an F1611 is 0x71).
struct FetPartThree {
    const char* chip; // the catalogue's name
    const char* name; // what the library reports
    uint16_t id;
};
// The part for a catalogue chip; null when the library does not know it.
const FetPartThree* FetPartThreeOf(const std::string& chip);
// The part of that id; null when none has it.
const FetPartThree* FetPartThreeById(uint16_t id);

// The row's name; null past the end.
const char* FetDeviceName(uint32_t row);
// The first row of that name; 0 when none has it.
uint32_t FetDeviceRowOf(const std::string& name);

} // namespace pyrola::sim
