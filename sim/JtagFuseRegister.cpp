#include "sim/JtagRegisters.h"

namespace pyrola::sim {

uint16_t JtagFuseRegister::Capture() {
    return static_cast<uint16_t>(chip_.Device().ConfigurationFuses() & 0xFF);
}

} // namespace pyrola::sim
