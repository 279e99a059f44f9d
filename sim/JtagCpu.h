#pragma once
// The simulated chip's CPU, just deep enough for what a programmer feeds it under JTAG
// control: one bus cycle per CPU clock, the program counter, and whether the next cycle
// fetches an instruction. It knows
//   MOV #imm, PC (0x4030)  fetch, fetch the immediate, load the PC: 3 cycles
//   JMP (0x3C00-0x3FFF)    fetch, add the offset to the PC: 2 cycles (JMP $ stays put);
//                          conditional jumps take 2 cycles and are never taken (no flags)
//   every other instruction: the fetch, then one cycle for each extension word its
//   addressing modes need (an immediate, indexed, symbolic or absolute source, an indexed
//   destination; erased flash, 0xFFFF, is such a two-word instruction); nothing but the
//   PC moves. NOP (0x4303) is one cycle.
// An instruction fed through JTAG is executed like one from memory; JMP $ (0x3FFF) keeps
// the CPU parked in place, which is where a JTAG halt holds it.
// After a reset it reads the reset vector at 0xFFFE and loads it into the PC: 2 cycles.
// The word a cycle fetches comes from the caller (memory, or the JTAG data register).

#include <cstdint>
#include <functional>

namespace pyrola::sim {

inline constexpr uint16_t kResetVector = 0xFFFE;
inline constexpr uint16_t kMovImmediateToPc = 0x4030;
inline constexpr uint16_t kNop = 0x4303;
inline constexpr uint16_t kJumpToSelf = 0x3FFF;

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
    // The last instruction fetched was JMP $ and the CPU loops on it.
    bool Parked() const { return opcode_ == kJumpToSelf && phase_ != Phase::Operand; }
    // Extension words an instruction word fetches after itself.
    static int ExtensionWords(uint16_t opcode);
    // The quick-read and signature modes step the PC without executing anything.
    void StepProgramCounter() { pc_ = static_cast<uint16_t>(pc_ + 2); }

private:
    enum class Phase { Fetch, Operand, Execute, VectorRead, VectorLoad };

    Phase phase_ = Phase::VectorRead;
    uint16_t pc_ = 0;
    uint16_t opcode_ = 0;
    uint16_t operand_ = 0;
    int operandsLeft_ = 0;
};

} // namespace pyrola::sim
