// The RAW adapter's layers on the parallel port: the signal layer's pin writes and sleeps,
// the JTAG procedures' sequences (decoded from the pin writes), the adapter's operations
// against the simulated chip's pins, and job lists run on that wire. Also covers the
// simulated wire and JTAG target (sim/) as the adapter's far end.
//
// Here: the JTAG procedures as pin sequences, decoded back into TAP operations.
#include "adapters/TargetAdapter.h"
#include "adapters/raw/JtagTargetControl.h"
#include "adapters/raw/RawError.h"
#include "tests/raw/RecordingPortIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pyrola::test {
namespace {

using Strings = std::vector<std::string>;

// TDO bits as the status reads that deliver them.
std::deque<uint8_t> Bits(std::initializer_list<int> bits) {
    std::deque<uint8_t> out;
    for (int b : bits)
        out.push_back(b ? 0x20 : 0x00);
    return out;
}

std::deque<uint8_t> WordBits(uint16_t word, int width = 16) {
    std::deque<uint8_t> out;
    for (int i = width - 1; i >= 0; --i)
        out.push_back(((word >> i) & 1) ? 0x20 : 0x00);
    return out;
}

class JtagProcedures : public ::testing::Test {
protected:
    JtagProcedures() {
        port.Open(1);
        lpt.dataShadow = 0xF6; // resting: TMS and TCK high, supply on
        lpt.controlShadow = 0x0C;
    }
    Strings Trace() const { return DecodeJtag(log); }
    Strings Scans() const { return Only(Trace(), {"IR", "DR"}); }

    std::vector<PortAccess> log;
    RecordingPortIo port{log};
    RecordingClock clock{log};
    LptJtagPort lpt{port, clock};
    JtagTargetControl jtag{lpt};
};

TEST_F(JtagProcedures, ShiftIrSendsLeastSignificantFirstAndCapturesFirstBitHighest) {
    port.replies = Bits({1, 0, 0, 0, 1, 0, 0, 1});
    EXPECT_EQ(jtag.ShiftIr(0x13), 0x89);
    EXPECT_EQ(Trace(), (Strings{"IR 13"}));
    // Back at rest with the TCLK level it had.
    EXPECT_EQ(log.back().value, 0xF6u);
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const PortAccess& a) { return a.kind == 'r'; }), 8);
}

TEST_F(JtagProcedures, ShiftDrSendsMostSignificantFirstAndClampsTheWidth) {
    port.replies = WordBits(0x1234);
    EXPECT_EQ(jtag.ShiftDr(0xA5C3), 0x1234);
    lpt.SetTclk(kLineHigh);
    port.replies = WordBits(0xBEEF);
    EXPECT_EQ(jtag.ShiftDr(0x0F0F, 20), 0xBEEF);
    port.replies = WordBits(0x5A, 8);
    EXPECT_EQ(jtag.ShiftDr(0x00C3, 8), 0x5A);
    EXPECT_EQ(Trace(), (Strings{"DR A5C3", "tclk+", "DR 0F0F", "DR C3/8"}));
    EXPECT_EQ(log.back().value, 0xF7u); // TDI (TCLK) high again after the shifts

    log.clear();
    EXPECT_EQ(jtag.ShiftDr(0xFFFF, 0), 0);
    EXPECT_TRUE(log.empty());
}

TEST_F(JtagProcedures, ResetTapGivesTwoFuseCheckPulsesThenResetsTheTap) {
    jtag.ResetTap();
    EXPECT_EQ(Trace(), (Strings{"tms-", "wait 50", "tms+", "wait 50", "tms-", "wait 50", "tms+", "wait 50",
                                "TLR", "tms-"}));
    EXPECT_EQ(log.back().value & 0x07u, 0x04u); // TCK high, TMS low: Run-Test/Idle
}

TEST_F(JtagProcedures, SecurityFuseTestTriesThreeTimesThenShiftsOneZeroWord) {
    EXPECT_EQ(jtag.TestSecurityFuse(), -1);
    EXPECT_EQ(Scans(), (Strings{"IR 14", "DR AAAA", "IR 14", "DR AAAA", "IR 14", "DR AAAA", "DR 0000"}));

    log.clear();
    port.replies = Bits({0, 0, 0, 0, 0, 0, 0, 0});
    for (uint8_t b : WordBits(0x5555))
        port.replies.push_back(b);
    EXPECT_EQ(jtag.TestSecurityFuse(), 0); // the echo of a blown fuse ends it at once
    EXPECT_EQ(Scans(), (Strings{"IR 14", "DR AAAA"}));
}

TEST_F(JtagProcedures, WaitInstructionFetchClocksTclkBetweenCapturesUpToFiftyTimes) {
    EXPECT_EQ(jtag.WaitInstructionFetch(), -1);
    const Strings trace = Trace();
    EXPECT_EQ(CountOf(trace, "DR 0000"), 50u);
    EXPECT_EQ(CountOf(trace, "tclk+"), 50u);
    EXPECT_EQ(trace.front(), "IR 14");

    log.clear();
    port.replies = Bits({0, 0, 0, 0, 0, 0, 0, 0});
    for (int pass = 0; pass < 2; ++pass)
        for (uint8_t b : WordBits(0x2401))
            port.replies.push_back(b);
    for (uint8_t b : WordBits(0x2481))
        port.replies.push_back(b);
    EXPECT_EQ(jtag.WaitInstructionFetch(), 0);
    EXPECT_EQ(CountOf(Trace(), "DR 0000"), 3u);
}

TEST_F(JtagProcedures, ResetThroughJtagWithReleaseChecksNothing) {
    port.status = 0xFF; // nothing answers
    EXPECT_EQ(jtag.ResetTarget(kResetDebugInterface | kResetLine | kResetSupplyCycle, true, true), 0);
    EXPECT_EQ(Only(Trace(), {"IR", "DR", "ctl", "TLR", "supply"}),
              (Strings{"IR 13", "DR 2C01", "DR 2401", "IR 15", "ctl 04", "ctl 04", "ctl 00"}));
    EXPECT_EQ(lpt.errorNumber, 0);
}

TEST_F(JtagProcedures, ResetLinesThenSupplyCycleThenError8) {
    port.status = 0xFF; // all ones: the identification never reads 0x89
    EXPECT_EQ(jtag.ResetTarget(kResetLine | kResetSupplyCycle, false, false), -1);
    EXPECT_EQ(lpt.errorNumber, kRawResetFailed);
    const Strings connect = {"wait 50", "wait 50", "wait 50", "wait 50", "TLR"};
    Strings expected = {"ctl 0F", "wait 50", "ctl 0C", "wait 10"};
    expected.insert(expected.end(), connect.begin(), connect.end());
    // The drivers let go before the supply goes, and drive again once it is back.
    for (const char* s : {"ctl 00", "supply 00", "wait 10", "wait 3000", "supply E0", "supply F0", "wait 10",
                          "wait 10", "ctl 00", "ctl 00", "wait 10", "wait 10", "ctl 00", "wait 10", "ctl 08",
                          "wait 10", "ctl 0C", "wait 10"})
        expected.push_back(s);
    expected.insert(expected.end(), connect.begin(), connect.end());
    EXPECT_EQ(Only(Trace(), {"ctl", "supply", "wait", "TLR"}), expected);
    // Each connect stops at the identification: no polls for the synchronisation bit.
    EXPECT_EQ(CountOf(Trace(), "wait 1"), 0u);
}

TEST_F(JtagProcedures, ConnectFailsAtIdentificationWithTheDriverClosed) {
    port.Close();
    EXPECT_EQ(jtag.ConnectTarget(), -1);
    const Strings scans = Scans();
    ASSERT_GE(scans.size(), 3u);
    EXPECT_EQ(Strings(scans.end() - 3, scans.end()), (Strings{"IR 13", "DR 2401", "IR 14"}));
}

TEST_F(JtagProcedures, ExecutePucStopsTheWatchdogEvenWithAWrongIdentification) {
    port.status = 0x00;
    EXPECT_EQ(jtag.ExecutePuc(), -1);
    EXPECT_EQ(lpt.errorNumber, kRawBadJtagId);
    const Strings scans = Scans();
    EXPECT_EQ(Strings(scans.begin(), scans.begin() + 4), (Strings{"IR 13", "DR 2C01", "DR 2401", "IR 84"}));
    EXPECT_EQ(Strings(scans.end() - 9, scans.end()), (Strings{"IR 13", "DR 2408", "IR 83", "DR 0120", "IR 85",
                                                              "DR 5A80", "IR 13", "DR 2401", "IR 84"}));
}

TEST_F(JtagProcedures, WriteTargetMemoryWidthSelectsTheControlWord) {
    for (int width : {8, 16, 0, 32}) {
        log.clear();
        jtag.WriteTargetMemory(width, 0x0200, 0x00AB);
        const Strings scans = Scans();
        const bool byte = CountOf(scans, "DR 2418") == 1;
        EXPECT_EQ(byte, width == 8) << width;
        EXPECT_EQ(CountOf(scans, "DR 2408"), width == 8 ? 0u : 1u) << width;
        // Address and data are in place before the one TCLK pulse that writes them.
        const Strings trace = Trace();
        auto at = std::find(trace.begin(), trace.end(), "DR 00AB");
        ASSERT_GE(at - trace.begin(), 3);
        EXPECT_EQ(Strings(at - 3, trace.end()), (Strings{"IR 83", "DR 0200", "IR 85", "DR 00AB", "tclk+",
                                                         "tclk-", "IR 13", "DR 2401", "IR 84", "tclk+"}))
            << width;
    }
}

// A CPU that did not take the program counter would read from elsewhere, shifted by a
// word: nothing is read then and the read fails.
TEST_F(JtagProcedures, QuickReadFailsWhenTheProgramCounterWasNotTakenAndEndsNormal) {
    port.status = 0x00; // the address capture reads 0x0000
    uint16_t words[2] = {0x1111, 0x2222};
    EXPECT_EQ(jtag.ReadWordsQuick(0x1000, 0, words), -1);
    Strings scans = Scans();
    auto from = std::find(scans.begin(), scans.end(), "DR 3401");
    ASSERT_NE(from, scans.end());
    EXPECT_EQ(Strings(from, scans.end()),
              (Strings{"DR 3401", "IR 41", "DR 4030", "DR 0FFE", "IR 84", "DR 0000", "IR 13", "DR 2401"}));
    EXPECT_EQ(words[0], 0x1111);

    // An address capture that shows the new program counter hands R/W back to JTAG.
    log.clear();
    EXPECT_EQ(jtag.ReadWordsQuick(0x0002, 2, words), 0);
    scans = Scans();
    from = std::find(scans.begin(), scans.end(), "DR 3401");
    ASSERT_NE(from, scans.end());
    EXPECT_EQ(
        Strings(from, scans.end()),
        (Strings{"DR 3401", "IR 41", "DR 4030", "DR 0000", "IR 84", "DR 0000", "IR 13", "DR 2401", "IR 41",
                 "DR 3FFF", "IR 13", "DR 2409", "IR 43", "DR 0000", "DR 0000", "IR 13", "DR 2401"}));
    const Strings trace = Trace();
    auto quick = std::find(trace.begin(), trace.end(), "IR 43");
    EXPECT_EQ(std::count(quick, trace.end(), "tclk+"), 2);
    EXPECT_EQ(words[0], 0x0000);
}

} // namespace
} // namespace pyrola::test
