#pragma once
// The JTAG signal layer on a PC parallel port: which register bit carries which signal
// of the MSP430's 4-wire JTAG, its reset line and its supply, and the elementary pin
// operations every JTAG procedure is built from, with their write order and delays.
//
//   data    (base+0, write) bit 0 TDI (TCLK in Run-Test/Idle), bit 1 TMS, bit 2 TCK,
//                           bits 4-7 target supply
//   status  (base+1, read)  bit 5 TDO
//   control (base+2, write) bits 0-1 reset pair (set = reset asserted), bits 2 and 3 the
//                           cable's lines, high while the target is attached
//
// Every pin change updates a shadow of its register and writes the whole shadow byte; the
// write-only registers are never read back. Sleeps go through the Clock.

#include "platform/Clock.h"
#include "platform/PortIo.h"

#include <cstdint>

namespace pyrola {

// Modes of SetTck and SetTclk: a level, or two writes that end with the named edge.
inline constexpr int kLineLow = 0;
inline constexpr int kLineHigh = 1;
inline constexpr int kLineRise = 2; // low, then high
inline constexpr int kLineFall = 3; // high, then low: for TCLK one full clock pulse

// Data register bits.
inline constexpr uint8_t kLptTdi = 0x01;
inline constexpr uint8_t kLptTms = 0x02;
inline constexpr uint8_t kLptTck = 0x04;
inline constexpr uint8_t kLptSupply = 0xF0;
inline constexpr uint8_t kLptSupplyFirst = 0xE0; // switched on before the fourth line
inline constexpr uint8_t kLptSupplyLast = 0x10;
// Status register bit.
inline constexpr uint8_t kLptTdo = 0x20;
// Control register bits.
inline constexpr uint8_t kLptResetPair = 0x03;
inline constexpr uint8_t kLptLine2 = 0x04;
inline constexpr uint8_t kLptLine3 = 0x08;

// The supply the attach asks for; any non-zero value switches the supply on.
inline constexpr uint32_t kLptSupplyMillivolts = 3000;
// TCLK pulses given before the supply is switched on at attach.
inline constexpr uint32_t kLptAttachPulses = 49999;

class LptJtagPort {
public:
    LptJtagPort(PortIo& portIo, Clock& clock) : portIo(portIo), clock(clock) {}

    // Base address from the 1-based port number.
    void SelectPort(uint32_t portNumber) { base = LptBaseAddress(portNumber); }

    void SetTdi(bool level);
    void SetTms(bool level);
    void SetTck(int mode);
    void SetTclk(int mode);
    // TDO from the status register (bit 5); true when the driver is closed.
    bool ReadTdo();
    bool TdiLevel() const { return (dataShadow & kLptTdi) != 0; }

    // 0 switches the supply off; any other value on.
    void SupplyOn(uint32_t millivolts);
    void SupplyOff();
    void SetResetPair(bool release);
    void SetControlLine2(bool level);
    void EnableLines();
    void ReleaseLines();
    void ResetPulse();
    // TMS high, TCLK pulses, supply on, lines released and enabled again.
    void Attach();

    void Sleep(uint32_t milliseconds) { clock.Sleep(milliseconds); }

    uint16_t base = 0x378;
    uint32_t dataShadow = 0;
    uint32_t controlShadow = 0;
    int32_t errorNumber = 0;
    uint32_t deviceIndex = 0; // device-table row of the identified device, 0 = none
    PortIo& portIo;
    Clock& clock;

private:
    void SetDataBit(uint8_t mask, bool level);
    void SetLine(uint8_t mask, int mode);
    void WriteData();
    void WriteControl();
};

} // namespace pyrola
