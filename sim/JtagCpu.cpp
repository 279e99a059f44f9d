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

int JtagCpu::ExtensionWords(uint16_t opcode) {
    if (opcode < 0x1000 || IsJump(opcode)) {
        return 0;
    }
    // A source word: indexed, symbolic or absolute (As 01, but not the constant #1 of r3),
    // or immediate (As 11 with the PC).
    auto sourceWord = [](int as, int reg) { return (as == 1 && reg != 3) || (as == 3 && reg == 0); };
    const int as = (opcode >> 4) & 3;
    if (opcode < 0x2000) { // single-operand format: its one operand
        return (opcode & 0xFF80) == 0x1300 ? 0 : (sourceWord(as, opcode & 0xF) ? 1 : 0);
    }
    const int words = sourceWord(as, (opcode >> 8) & 0xF) ? 1 : 0;
    return words + (((opcode >> 7) & 1) != 0 ? 1 : 0); // an indexed destination
}

void JtagCpu::Reset() {
    phase_ = Phase::VectorRead;
    opcode_ = 0;
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
        operandsLeft_ = ExtensionWords(opcode_);
        if (operandsLeft_ > 0) {
            phase_ = Phase::Operand;
        } else if (IsJump(opcode_)) {
            phase_ = Phase::Execute;
        }
        return;
    case Phase::Operand:
        operand_ = fetch(pc_);
        StepProgramCounter();
        if (--operandsLeft_ == 0) {
            phase_ = opcode_ == kMovImmediateToPc ? Phase::Execute : Phase::Fetch;
        }
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
