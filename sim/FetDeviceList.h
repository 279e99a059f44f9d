#pragma once
// The simulated FET library's device list: its row numbers are the device indexes the
// library reports from Identify and takes in Device. The rows name chips of the
// simulator's catalogue (ChipCatalog); row 0 is no chip ("Device unknown"), the last row
// the library's default part, and a part with two identifications has two rows.

#include <cstdint>
#include <string>

namespace pyrola::sim {

inline constexpr uint32_t kFetDeviceRows = 44;

// The row's name; null past the end.
const char* FetDeviceName(uint32_t row);
// The first row of that name; 0 when none has it.
uint32_t FetDeviceRowOf(const std::string& name);

} // namespace pyrola::sim
