#include "sim/JtagRegisters.h"

namespace pyrola::sim {

uint16_t JtagAddressRegister::Capture() {
    return chip_.AddressBus();
}

void JtagAddressRegister::Update(uint16_t value, uint64_t) {
    if (writable_) {
        chip_.address = value;
    }
}

} // namespace pyrola::sim
