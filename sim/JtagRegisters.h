#pragma once
// The register blocks an instruction puts between TDI and TDO. Each has the same three
// steps of a data scan: Capture-DR loads the shift register from the chip, every Shift-DR
// clock moves one bit in (the register's most significant bit leaves on TDO first), and
// Update-DR hands the shifted value to the chip. A block does its own part and nothing
// else; what TCLK does while a block is selected is the chip's (JtagChip::Clock).

#include "sim/JtagChip.h"

#include <cstdint>

namespace pyrola::sim {

class JtagRegisterBlock {
public:
    virtual ~JtagRegisterBlock() = default;

    virtual int Width() const { return 16; }
    virtual uint16_t Capture() = 0;
    // One Shift-DR clock: the new contents of the shift register.
    virtual uint16_t Shift(uint16_t current, bool tdi) const {
        const uint32_t mask = (1u << Width()) - 1u;
        return static_cast<uint16_t>(((uint32_t(current) << 1) | (tdi ? 1u : 0u)) & mask);
    }
    virtual void Update(uint16_t value, uint64_t nowNs) = 0;
    // The bit on TDO while the shift register holds `current`.
    bool Output(uint16_t current) const { return ((current >> (Width() - 1)) & 1) != 0; }
};

// One bit that captures 0: what unknown instructions, and every scan of a chip whose
// security fuse is blown, shift through.
class JtagBypassRegister : public JtagRegisterBlock {
public:
    int Width() const override { return 1; }
    uint16_t Capture() override { return 0; }
    void Update(uint16_t, uint64_t) override {}
};

// A block that works on the chip; one that is not writable ignores Update-DR.
class JtagChipRegister : public JtagRegisterBlock {
public:
    JtagChipRegister(JtagChip& chip, bool writable) : chip_(chip), writable_(writable) {}

protected:
    JtagChip& chip_;
    bool writable_;
};

// The control-signal register: read back with its status bits; written only through 0x13.
class JtagControlRegister : public JtagChipRegister {
public:
    using JtagChipRegister::JtagChipRegister;
    uint16_t Capture() override;
    void Update(uint16_t value, uint64_t nowNs) override;
};

// The configuration fuses, eight bits, read only.
class JtagFuseRegister : public JtagChipRegister {
public:
    explicit JtagFuseRegister(JtagChip& chip) : JtagChipRegister(chip, false) {}
    int Width() const override { return 8; }
    uint16_t Capture() override;
    void Update(uint16_t, uint64_t) override {}
};

// The address bus as captured; 0x83 also sets the JTAG address register.
class JtagAddressRegister : public JtagChipRegister {
public:
    using JtagChipRegister::JtagChipRegister;
    uint16_t Capture() override;
    void Update(uint16_t value, uint64_t nowNs) override;
};

// The JTAG data register (0x41, 0x43, 0x85); read only as the signature read-out (0x46).
class JtagDataRegister : public JtagChipRegister {
public:
    using JtagChipRegister::JtagChipRegister;
    uint16_t Capture() override;
    void Update(uint16_t value, uint64_t nowNs) override;
};

// The data register as signature register (0x44): each Shift-DR clock is one step of the
// 16-bit signature with the word on the data bus (what the TCLK cycle in progress reads);
// TDI is not used.
class JtagSignatureRegister : public JtagChipRegister {
public:
    explicit JtagSignatureRegister(JtagChip& chip) : JtagChipRegister(chip, true) {}
    uint16_t Capture() override;
    uint16_t Shift(uint16_t current, bool tdi) const override;
    void Update(uint16_t value, uint64_t nowNs) override;

    // One step: shift left, feeding back bit 15 through the polynomial 0x0805, then add
    // the word.
    static uint16_t Step(uint16_t signature, uint16_t word);
};

} // namespace pyrola::sim
