#pragma once
// Which simulated chips have a TEST pin. On the 20- and 28-pin F1xx parts (F11x1, F11x1A,
// F11x2, F12x, F12x2) the JTAG signals share port 1's pins, and the pins are JTAG only
// while TEST is driven high (the data sheets' pin function tables); their security fuse's
// check current also flows into TEST instead of TDI. The larger F1xx and the F4xx parts
// have dedicated JTAG pins and no TEST pin.

#include <string>

namespace pyrola::sim {

bool ChipHasTestPin(const std::string& name);

} // namespace pyrola::sim
