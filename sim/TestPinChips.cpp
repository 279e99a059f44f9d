#include "sim/TestPinChips.h"

namespace pyrola::sim {

bool ChipHasTestPin(const std::string& name) {
    // The prototype and preliminary silicon of these lines came in the same packages.
    for (const char* chip :
         {"Prototype MSP430F11x1", "MSP430F11x1", "MSP430F1101", "MSP430F1111", "MSP430F11x1A",
          "MSP430F1101A", "MSP430F1111A", "MSP430F12x", "MSP430F122", "Preliminary MSP430F12x2",
          "MSP430F11x2", "MSP430F1122", "MSP430F12x2/F11x2", "MSP430F1222"}) {
        if (name == chip) {
            return true;
        }
    }
    return false;
}

} // namespace pyrola::sim
