#pragma once
// The line under the device list: memory sizes of a device-table row.

#include <cstdint>
#include <string>

namespace pyrola {

// "60KB+256B Flash, 2KB RAM"; empty for row 0 and for indexes past the table.
std::string DeviceInfoText(uint32_t index);
// One size as the line shows it: "0B" below 16, bytes below 1024, then KB (MB for main
// flash of a megabyte or more).
std::string MemorySizeText(uint32_t size, bool allowMegabytes);

} // namespace pyrola
