#pragma once
// The simulated chip's JTAG instruction register: eight bits, shifted in least
// significant bit first, and the register block each instruction puts between TDI and
// TDO. Codes the chip does not know select the one-bit bypass register.

#include <cstdint>

namespace pyrola::sim {

enum class JtagBlock : uint8_t {
    Bypass,
    ControlWrite,   // 0x13 control-signal register, written at Update-DR
    ControlCapture, // 0x14 control-signal register, read only
    ControlRelease, // 0x15 hands the CPU back; reads like 0x14
    Fuses,          // 0x29 configuration fuses, 8 bits
    Data,           // 0x41 data register: the word on the CPU's data bus
    DataQuick,      // 0x43 each TCLK reads (or writes) the word at the PC and steps the PC
    DataPsa,        // 0x44 each TCLK reads the word at the PC into the signature
    ShiftOutPsa,    // 0x46 the signature, read only
    Address,        // 0x83 address register: drives the address bus while the CPU is halted
    AddressCapture, // 0x84 the address bus, read only
    DataToAddress,  // 0x85 data register: each TCLK moves it to or from the address register's address
};

inline constexpr uint8_t kJtagBypassInstruction = 0xFF;
// What Capture-IR loads: the chip's JTAG identification 0x89, which leaves the chip most
// significant bit first (the register itself shifts out from bit 0).
inline constexpr uint8_t kJtagIdentification = 0x89;
inline constexpr uint8_t kJtagIrCapture = 0x91; // 0x89 with its bits in reverse order

// The block an instruction code selects.
JtagBlock DecodeInstruction(uint8_t code);

} // namespace pyrola::sim
