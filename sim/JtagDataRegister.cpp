#include "sim/JtagRegisters.h"

namespace pyrola::sim {

uint16_t JtagDataRegister::Capture() {
    return chip_.data;
}

void JtagDataRegister::Update(uint16_t value, uint64_t) {
    if (writable_) {
        chip_.data = value;
    }
}

uint16_t JtagSignatureRegister::Step(uint16_t signature, uint16_t word) {
    uint16_t next = static_cast<uint16_t>(signature << 1);
    if ((signature & 0x8000) != 0) {
        next = static_cast<uint16_t>(((signature ^ 0x0805) << 1) | 1);
    }
    return static_cast<uint16_t>(next ^ word);
}

uint16_t JtagSignatureRegister::Capture() {
    return chip_.data;
}

uint16_t JtagSignatureRegister::Shift(uint16_t current, bool) const {
    return Step(current, chip_.dataBus);
}

void JtagSignatureRegister::Update(uint16_t value, uint64_t) {
    chip_.data = value;
}

} // namespace pyrola::sim
