#include "sim/JtagRegisters.h"

namespace pyrola::sim {

uint16_t JtagControlRegister::Capture() {
    return chip_.ControlReadBack();
}

void JtagControlRegister::Update(uint16_t value, uint64_t nowNs) {
    if (writable_) {
        chip_.WriteControl(value, nowNs);
    }
}

} // namespace pyrola::sim
