// The TAP table on its own, and the pins that step it.
#include "sim/JtagTap.h"
#include "sim/JtagPins.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace pyrola::sim {
namespace {

using S = TapState;

TEST(JtagTap, EveryStateAndTmsLevelFollowsTheStandardDiagram) {
    struct Edge {
        S from;
        bool tms;
        S to;
    };
    // IEEE 1149.1, figure "TAP controller state diagram".
    const Edge diagram[] = {
        {S::TestLogicReset, false, S::RunTestIdle},
        {S::TestLogicReset, true, S::TestLogicReset},
        {S::RunTestIdle, false, S::RunTestIdle},
        {S::RunTestIdle, true, S::SelectDrScan},
        {S::SelectDrScan, false, S::CaptureDr},
        {S::SelectDrScan, true, S::SelectIrScan},
        {S::CaptureDr, false, S::ShiftDr},
        {S::CaptureDr, true, S::Exit1Dr},
        {S::ShiftDr, false, S::ShiftDr},
        {S::ShiftDr, true, S::Exit1Dr},
        {S::Exit1Dr, false, S::PauseDr},
        {S::Exit1Dr, true, S::UpdateDr},
        {S::PauseDr, false, S::PauseDr},
        {S::PauseDr, true, S::Exit2Dr},
        {S::Exit2Dr, false, S::ShiftDr},
        {S::Exit2Dr, true, S::UpdateDr},
        {S::UpdateDr, false, S::RunTestIdle},
        {S::UpdateDr, true, S::SelectDrScan},
        {S::SelectIrScan, false, S::CaptureIr},
        {S::SelectIrScan, true, S::TestLogicReset},
        {S::CaptureIr, false, S::ShiftIr},
        {S::CaptureIr, true, S::Exit1Ir},
        {S::ShiftIr, false, S::ShiftIr},
        {S::ShiftIr, true, S::Exit1Ir},
        {S::Exit1Ir, false, S::PauseIr},
        {S::Exit1Ir, true, S::UpdateIr},
        {S::PauseIr, false, S::PauseIr},
        {S::PauseIr, true, S::Exit2Ir},
        {S::Exit2Ir, false, S::ShiftIr},
        {S::Exit2Ir, true, S::UpdateIr},
        {S::UpdateIr, false, S::RunTestIdle},
        {S::UpdateIr, true, S::SelectDrScan},
    };
    ASSERT_EQ(sizeof diagram / sizeof diagram[0], 2u * kTapStateCount);
    std::set<std::pair<int, bool>> seen;
    for (const Edge& e : diagram) {
        EXPECT_EQ(NextTapState(e.from, e.tms), e.to) << TapStateName(e.from) << " tms " << e.tms;
        seen.insert({static_cast<int>(e.from), e.tms});
    }
    EXPECT_EQ(seen.size(), 2u * kTapStateCount);
}

TEST(JtagTap, FiveClocksWithTmsHighResetFromAnyState) {
    std::set<std::string> names;
    for (int i = 0; i < kTapStateCount; ++i) {
        S state = static_cast<S>(i);
        names.insert(TapStateName(state));
        for (int clock = 0; clock < 5; ++clock)
            state = NextTapState(state, true);
        EXPECT_EQ(state, S::TestLogicReset) << TapStateName(static_cast<S>(i));
    }
    EXPECT_EQ(names.size(), size_t(kTapStateCount));
}

TEST(JtagPins, TdiClocksTheCpuOnlyInRunTestIdle) {
    JtagPins pins;
    JtagLines lines; // all high
    pins.Reset(lines);
    auto drive = [&](bool tck, bool tms, bool tdi) {
        lines = {tck, tms, tdi};
        return pins.Drive(lines);
    };
    drive(false, false, true);
    JtagEdges e = drive(true, false, true); // Test-Logic-Reset -> Run-Test/Idle
    EXPECT_TRUE(e.tckRise);
    EXPECT_EQ(e.before, S::TestLogicReset);
    EXPECT_EQ(e.after, S::RunTestIdle);
    e = drive(true, false, false);
    EXPECT_TRUE(e.tclkFall);
    e = drive(true, false, true);
    EXPECT_TRUE(e.tclkRise);
    EXPECT_EQ(pins.TclkCycles(), 1u);

    // Into Shift-DR: TDI toggles there are data, not clock.
    for (bool tms : {true, false, false}) {
        drive(false, tms, true);
        drive(true, tms, true);
    }
    EXPECT_EQ(pins.State(), S::ShiftDr);
    for (int i = 0; i < 4; ++i) {
        e = drive(true, false, i % 2 == 0 ? false : true);
        EXPECT_FALSE(e.tclkRise || e.tclkFall);
    }
    // Back to Run-Test/Idle with TDI low: TCLK follows as the state is entered.
    drive(true, false, false);
    for (bool tms : {true, true, false}) {
        drive(false, tms, false);
        e = drive(true, tms, false);
    }
    EXPECT_EQ(pins.State(), S::RunTestIdle);
    EXPECT_TRUE(e.tclkFall);
    EXPECT_EQ(pins.TclkCycles(), 1u);
    EXPECT_EQ(pins.TckRisingEdges(), 7u);
}

TEST(JtagPins, TmsAndTdiOfOneChangeCountAsSetBeforeItsTckEdge) {
    JtagPins pins;
    pins.Reset({false, true, true});
    const JtagEdges e = pins.Drive({true, false, true});
    EXPECT_TRUE(e.tckRise);
    EXPECT_TRUE(e.tmsFall);
    EXPECT_EQ(e.after, S::RunTestIdle); // TMS low at the edge
}

} // namespace
} // namespace pyrola::sim
