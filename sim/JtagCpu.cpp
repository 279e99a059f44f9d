#include "sim/JtagCpu.h"

namespace pyrola::sim {

namespace {

bool IsJump(uint16_t word) {
    return (word & 0xE000) == 0x2000;
}

bool IsUnconditionalJump(uint16_t word) {
    return (word & 0xFC00) == 0x3C00;
}

} // namespace

void JtagCpu::Reset() {
    phase_ = Phase::VectorRead;
}

void JtagCpu::Cycle(const Fetch& fetch) {
    switch (phase_) {
    case Phase::VectorRead:
        operand_ = fetch(kResetVector);
        phase_ = Phase::VectorLoad;
        return;
    case Phase::VectorLoad:
        pc_ = static_cast<uint16_t>(operand_ & 0xFFFE);
        phase_ = Phase::Fetch;
        return;
    case Phase::Fetch:
        opcode_ = fetch(pc_);
        StepProgramCounter();
        if (opcode_ == kMovImmediateToPc) {
            phase_ = Phase::Operand;
        } else if (IsJump(opcode_)) {
            phase_ = Phase::Execute;
        }
        return;
    case Phase::Operand:
        operand_ = fetch(pc_);
        StepProgramCounter();
        phase_ = Phase::Execute;
        return;
    case Phase::Execute:
        if (opcode_ == kMovImmediateToPc) {
            pc_ = static_cast<uint16_t>(operand_ & 0xFFFE);
        } else if (IsUnconditionalJump(opcode_)) {
            // A 10-bit signed word offset from the word after the jump.
            int offset = opcode_ & 0x03FF;
            if (offset & 0x0200) {
                offset -= 0x0400;
            }
            pc_ = static_cast<uint16_t>(pc_ + 2 * offset);
        }
        phase_ = Phase::Fetch;
        return;
    }
}

} // namespace pyrola::sim
