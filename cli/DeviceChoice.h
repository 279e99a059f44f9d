#pragma once
// "--device NAME": a row of the device table by its name. A name the table does not hold
// is refused with the names closest to it, so a typing slip costs one more try, not a
// chip programmed as the wrong part.

#include <cstdint>
#include <string>

namespace pyrola::cli {

struct DeviceChoice {
    uint32_t index = 0; // the row; 0 when refused
    std::string note;   // said when a part number was taken as its family's row
    std::string error;
};

// Compared without regard to case; "MSP430" may be left off ("F149"). A part number the
// table holds as a family row ("MSP430F449" in MSP430F44x, "F1121" in MSP430F11x1, with or
// without an ordering suffix such as "IPM") is that row, with a note saying so.
DeviceChoice ChooseDevice(const std::string& name);

} // namespace pyrola::cli
