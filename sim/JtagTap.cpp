#include "sim/JtagTap.h"

namespace pyrola::sim {

namespace {

struct TapRow {
    TapState state;
    TapState tmsLow;
    TapState tmsHigh;
    const char* name;
};

using S = TapState;

// One row per state, in the order of the enumeration.
constexpr TapRow kTap[kTapStateCount] = {
    {S::TestLogicReset, S::RunTestIdle, S::TestLogicReset, "Test-Logic-Reset"},
    {S::RunTestIdle, S::RunTestIdle, S::SelectDrScan, "Run-Test/Idle"},
    {S::SelectDrScan, S::CaptureDr, S::SelectIrScan, "Select-DR-Scan"},
    {S::CaptureDr, S::ShiftDr, S::Exit1Dr, "Capture-DR"},
    {S::ShiftDr, S::ShiftDr, S::Exit1Dr, "Shift-DR"},
    {S::Exit1Dr, S::PauseDr, S::UpdateDr, "Exit1-DR"},
    {S::PauseDr, S::PauseDr, S::Exit2Dr, "Pause-DR"},
    {S::Exit2Dr, S::ShiftDr, S::UpdateDr, "Exit2-DR"},
    {S::UpdateDr, S::RunTestIdle, S::SelectDrScan, "Update-DR"},
    {S::SelectIrScan, S::CaptureIr, S::TestLogicReset, "Select-IR-Scan"},
    {S::CaptureIr, S::ShiftIr, S::Exit1Ir, "Capture-IR"},
    {S::ShiftIr, S::ShiftIr, S::Exit1Ir, "Shift-IR"},
    {S::Exit1Ir, S::PauseIr, S::UpdateIr, "Exit1-IR"},
    {S::PauseIr, S::PauseIr, S::Exit2Ir, "Pause-IR"},
    {S::Exit2Ir, S::ShiftIr, S::UpdateIr, "Exit2-IR"},
    {S::UpdateIr, S::RunTestIdle, S::SelectDrScan, "Update-IR"},
};

constexpr bool RowsInOrder() {
    for (int i = 0; i < kTapStateCount; ++i) {
        if (static_cast<int>(kTap[i].state) != i) {
            return false;
        }
    }
    return true;
}
static_assert(RowsInOrder(), "the table is indexed by state");

} // namespace

TapState NextTapState(TapState state, bool tms) {
    const TapRow& row = kTap[static_cast<int>(state)];
    return tms ? row.tmsHigh : row.tmsLow;
}

const char* TapStateName(TapState state) {
    return kTap[static_cast<int>(state)].name;
}

} // namespace pyrola::sim
