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
// write-only registers are never read back. Sleeps go through the Clock (and are told to
// a port that keeps its own time).
//
// Flash timing: while the chip erases or programs, TCLK is its flash timing generator's
// clock, which must run at 257 to 476 kHz. Open measures how long one port access takes
// (MeasureAccess) and PaceTclk then chooses how many port accesses one TCLK cycle takes
// (two writes and status reads between them as padding) so that the rate comes near
// 350 kHz; a port too slow for 257 kHz with two writes per cycle cannot time the flash.

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

// The flash timing generator's window and the rate TCLK aims for inside it.
inline constexpr uint64_t kFlashClockLowHz = 257000;
inline constexpr uint64_t kFlashClockHighHz = 476000;
inline constexpr uint64_t kFlashClockTargetHz = 350000;
// Status reads timed to measure a port access.
inline constexpr uint32_t kLptAccessSamples = 64;

class LptJtagPort {
public:
    LptJtagPort(PortIo& portIo, Clock& clock) : portIo(portIo), clock(clock) {}

    // Base address from the 1-based port number.
    void SelectPort(uint32_t portNumber) { base = LptBaseAddress(portNumber); }

    // The data-register bits of `mask` to the levels in `levels`, in one write; no write when
    // nothing changes (several pins can change on one write when their order does not matter).
    void SetLines(uint8_t mask, uint8_t levels);
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

    void Sleep(uint32_t milliseconds) {
        clock.Sleep(milliseconds);
        portIo.Waited(milliseconds);
    }
    // Nanoseconds from an arbitrary start: the port's own time when it keeps one (a
    // simulated port), else the high-resolution clock.
    uint64_t NowNs();
    // Times kLptAccessSamples status reads; the mean access in nanoseconds (at least 1).
    uint64_t MeasureAccess();
    // Chooses the accesses per TCLK cycle for an access of `accessNs`; false when no
    // choice reaches the flash timing window (the port is too slow).
    bool PaceTclk(uint64_t accessNs);
    // `count` full TCLK cycles (high, then low) at the paced rate.
    void TclkTrain(uint32_t count);
    // The paced TCLK rate in Hz, and what the last MeasureAccess found.
    uint64_t TclkHz() const { return accessNs_ == 0 ? 0 : 1000000000u / (cycleAccesses_ * accessNs_); }
    uint64_t AccessNs() const { return accessNs_; }
    uint32_t CycleAccesses() const { return cycleAccesses_; }
    bool FlashTimingOk() const { return flashTimingOk_; }

    uint16_t base = 0x378;
    uint32_t dataShadow = 0;
    uint32_t controlShadow = 0;
    int32_t errorNumber = 0;
    uint32_t deviceIndex = 0; // device-table row of the identified device, 0 = none
    PortIo& portIo;
    Clock& clock;

private:
    void Pad(uint32_t reads);
    void SetDataBit(uint8_t mask, bool level);
    void SetLine(uint8_t mask, int mode);
    void WriteData();
    void WriteControl();

    uint64_t accessNs_ = 0;
    uint32_t cycleAccesses_ = 2;
    bool flashTimingOk_ = false;
};

} // namespace pyrola
