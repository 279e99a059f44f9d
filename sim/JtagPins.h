#pragma once
// The simulated chip's JTAG pins: the host changes the levels of TCK, TMS and TDI; a
// rising TCK edge steps the TAP controller with TMS as it is at that edge. While the TAP
// rests in Run-Test/Idle the TDI pin is the CPU clock TCLK; in every other state TCLK
// keeps the level it had, so data shifted through TDI never clocks the CPU. Each change
// reports which edges it made, for the parts behind the pins to act on.

#include "sim/JtagTap.h"

#include <cstdint>

namespace pyrola::sim {

// Line levels as the chip sees them (true = high); unconnected lines are pulled up.
struct JtagLines {
    bool tck = true;
    bool tms = true;
    bool tdi = true;
};

// What one change of the levels did.
struct JtagEdges {
    bool tckRise = false;
    bool tckFall = false;
    bool tmsRise = false;
    bool tmsFall = false;
    bool tclkRise = false;
    bool tclkFall = false;
    TapState before = TapState::TestLogicReset; // TAP state before a rising TCK edge
    TapState after = TapState::TestLogicReset;  // and after it (both the same without one)
};

class JtagPins {
public:
    // TMS and TDI of the same change count as set before its TCK edge.
    JtagEdges Drive(const JtagLines& lines);
    // Power-up: the TAP in Test-Logic-Reset, the levels taken as they are.
    void Reset(const JtagLines& lines);

    TapState State() const { return state_; }
    const JtagLines& Lines() const { return lines_; }
    bool Tclk() const { return tclk_; }
    uint64_t TckRisingEdges() const { return tckEdges_; }
    uint64_t TclkCycles() const { return tclkCycles_; }

private:
    JtagLines lines_;
    TapState state_ = TapState::TestLogicReset;
    bool tclk_ = true;
    uint64_t tckEdges_ = 0;
    uint64_t tclkCycles_ = 0;
};

} // namespace pyrola::sim
