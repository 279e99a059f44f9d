#pragma once
// Devices of the device table that need their TEST pin driven high before their JTAG pins
// work: the 20- and 28-pin F1xx parts (F11x1, F11x1A, F12x, F11x2, F12x2), whose JTAG
// signals share port 1's pins. The parallel-port cable this adapter drives has no TEST
// line (its lines are TDI, TMS, TCK, TDO, RST/NMI and the supply), so they cannot be
// reached through it.

#include <cstdint>

namespace pyrola {

bool DeviceNeedsTestPin(uint32_t deviceIndex);

} // namespace pyrola
