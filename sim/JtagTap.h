#pragma once
// The IEEE 1149.1 TAP controller of the simulated chip: sixteen states, and for each the
// state a rising TCK edge leads to with TMS low and with TMS high. The table is the
// standard state diagram; stepping the controller is one lookup.

#include <cstdint>

namespace pyrola::sim {

enum class TapState : uint8_t {
    TestLogicReset,
    RunTestIdle,
    SelectDrScan,
    CaptureDr,
    ShiftDr,
    Exit1Dr,
    PauseDr,
    Exit2Dr,
    UpdateDr,
    SelectIrScan,
    CaptureIr,
    ShiftIr,
    Exit1Ir,
    PauseIr,
    Exit2Ir,
    UpdateIr,
};

inline constexpr int kTapStateCount = 16;

// The state after one rising TCK edge.
TapState NextTapState(TapState state, bool tms);
const char* TapStateName(TapState state);

} // namespace pyrola::sim
