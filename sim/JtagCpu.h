#pragma once
// The simulated chip's CPU, just deep enough for what a programmer feeds it under JTAG
// control: one bus cycle per CPU clock, the program counter, and whether the next cycle
// fetches an instruction. It knows
//   MOV #imm, PC (0x4030)  fetch, fetch the immediate, load the PC: 3 cycles
//   JMP (0x3C00-0x3FFF)    fetch, add the offset to the PC: 2 cycles (JMP $ stays put);
//                          conditional jumps take 2 cycles and are never taken (no flags)
//   NOP (0x4303) and every other word: fetched and done in 1 cycle, nothing but the PC moves
// After a reset it reads the reset vector at 0xFFFE and loads it into the PC: 2 cycles.
// The word a cycle fetches comes from the caller (memory, or the JTAG data register).

#include <cstdint>
#include <functional>

namespace pyrola::sim {

inline constexpr uint16_t kResetVector = 0xFFFE;
inline constexpr uint16_t kMovImmediateToPc = 0x4030;
inline constexpr uint16_t kNop = 0x4303;

class JtagCpu {
public:
    // Gives the word the bus delivers for a read at the address.
    using Fetch = std::function<uint16_t(uint16_t address)>;

    // A reset: the next two cycles load the reset vector.
    void Reset();
    // One CPU clock.
    void Cycle(const Fetch& fetch);

    // The next cycle fetches an instruction.
    bool InstructionFetch() const { return phase_ == Phase::Fetch; }
    // The address the next cycle puts on the address bus.
    uint16_t BusAddress() const { return phase_ == Phase::VectorRead ? kResetVector : pc_; }
    uint16_t ProgramCounter() const { return pc_; }
    // The quick-read and signature modes step the PC without executing anything.
    void StepProgramCounter() { pc_ = static_cast<uint16_t>(pc_ + 2); }

private:
    enum class Phase { Fetch, Operand, Execute, VectorRead, VectorLoad };

    Phase phase_ = Phase::VectorRead;
    uint16_t pc_ = 0;
    uint16_t opcode_ = 0;
    uint16_t operand_ = 0;
};

} // namespace pyrola::sim
