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
// clock, whose every period must lie between 1/476 kHz and 1/257 kHz. A PC's port does not
// keep one speed (caches, bus bridges, other programs, the scheduler), so TclkTrain paces
// each edge against the clock instead of counting port accesses: an edge is written only
// when the same edge before it is at least the chosen period old, timed from after that
// write returned, so the pins never carry a faster TCLK whatever the port does. The chosen
// period aims at 350 kHz and never goes below kTclkFloorNs (454 kHz); every period is timed
// as it runs and a train with one longer than the window allows is reported stretched, for
// the caller to repeat or check what it did.

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
// TCLK periods in ns: the aim, the shortest the pacing ever allows (454 kHz, a margin to
// 476 kHz), the longest the window allows, and the slowest a port may need for its paced
// period before flash work is refused (294 kHz: a 64-byte row takes 32 words of 35 cycles,
// which must fit the 4 ms cumulative program time with room for the port's jitter).
inline constexpr uint64_t kTclkTargetNs = 1000000000u / kFlashClockTargetHz;
inline constexpr uint64_t kTclkFloorNs = 2200;
inline constexpr uint64_t kTclkLongestNs = 1000000000u / kFlashClockLowHz;
inline constexpr uint64_t kTclkSlowestPacedNs = 3400;
// Status reads timed, one by one, to measure a port access at Open.
inline constexpr uint32_t kLptAccessSamples = 64;

// What the pins carried during one TclkTrain, timed from after each edge's write.
struct TclkTrainTiming {
    uint64_t startNs = 0; // before the first write
    uint64_t endNs = 0;   // after the last write
    uint64_t markNs = 0;  // after the falling edge of the cycle TclkTrain was asked to mark
    uint64_t shortestNs = 0;
    uint64_t longestNs = 0;
    // Longer than the window allows: the train was stretched (the program was stopped).
    bool Stretched() const { return longestNs > kTclkLongestNs; }
    // Shorter than the floor: cannot happen while the clock moves forward.
    bool TooFast() const { return shortestNs != 0 && shortestNs < kTclkFloorNs; }
};

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
    // Lets go of the lines and drives TDI, TMS and TCK low, then switches the supply off.
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
    // Times kLptAccessSamples status reads one by one; the median access in nanoseconds (at
    // least 1), so that a cold first access or an interrupt does not count.
    uint64_t MeasureAccess();
    // Takes `accessNs` as the cost of a write; false when the paced period would be slower
    // than kTclkSlowestPacedNs (the port is too slow for the flash).
    bool PaceTclk(uint64_t accessNs);
    // `count` full TCLK cycles (high, then low), each edge paced against the clock; the time
    // after cycle `mark` (counted from 1) is noted.
    TclkTrainTiming TclkTrain(uint32_t count, uint32_t mark = 0);
    // The period the pacing waits for between two like edges (a write's cost comes on top).
    uint64_t PacedWaitNs() const;
    // The TCLK rate a train is expected to run at, in Hz.
    uint64_t TclkHz() const { return 1000000000u / (PacedWaitNs() + writeNs_); }
    uint64_t AccessNs() const { return writeNs_; }
    bool FlashTimingOk() const { return flashTimingOk_; }
    // Waits until NowNs() reaches `ns`: a port with its own time is told, the real clock is
    // spun on.
    void WaitUntil(uint64_t ns);

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

    // One edge of a train: waits until `notBefore`, writes TDI, and returns the time after.
    uint64_t PacedEdge(bool level, uint64_t notBefore);

    uint64_t writeNs_ = 1000;           // what a write costs, as last seen
    uint64_t lastWriteNs_ = UINT64_MAX; // the cheapest write of the running train
    bool flashTimingOk_ = false;
    bool clockStands_ = false; // a clock that does not move while spun on (a test's)
};

} // namespace pyrola
