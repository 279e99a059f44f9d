#include "sim/TestPinChips.h"

namespace pyrola::sim {

bool ChipHasTestPin(const std::string& name) {
    for (const char* chip :
         {"MSP430F11x1", "MSP430F11x1A", "MSP430F12x", "MSP430F11x2", "MSP430F12x2/F11x2"}) {
        if (name == chip) {
            return true;
        }
    }
    return false;
}

} // namespace pyrola::sim
