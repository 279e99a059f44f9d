// The signal layer: which register bit each operation writes, in which order, with which sleeps.
#include "adapters/raw/JtagTargetControl.h"
#include "adapters/raw/LptJtagPort.h"
#include "tests/raw/RecordingPortIo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pyrola::test {
namespace {

using Log = std::vector<PortAccess>;
using Strings = std::vector<std::string>;

// Writes and sleeps as "w 378 05", "s 10".
Strings Lines(const Log& log) {
    Strings out;
    char text[32];
    for (const PortAccess& a : log) {
        if (a.kind == 's') {
            std::snprintf(text, sizeof text, "s %u", a.value);
        } else {
            std::snprintf(text, sizeof text, "%c %03X %02X", a.kind, a.address, a.value);
        }
        out.push_back(text);
    }
    return out;
}

class SignalLayer : public ::testing::Test {
protected:
    SignalLayer() { port.Open(1); }
    Log log;
    RecordingPortIo port{log};
    RecordingClock clock{log};
    LptJtagPort lpt{port, clock};
};

TEST_F(SignalLayer, BaseAddressFollowsThePortNumber) {
    const std::pair<uint32_t, uint16_t> cases[] = {{0, 0x378}, {1, 0x378}, {2, 0x278},
                                                   {3, 0x3BC}, {4, 0x378}, {99, 0x378}};
    for (auto [number, base] : cases) {
        log.clear();
        lpt.SelectPort(number);
        lpt.SetTms(true);
        lpt.SetControlLine2(true);
        lpt.ReadTdo();
        const uint16_t b = base;
        ASSERT_EQ(log.size(), 5u);
        EXPECT_EQ(log[0].address, b) << number;
        EXPECT_EQ(log[2].address, b + 2) << number;
        EXPECT_EQ(log[4].address, b + 1) << number;
    }
}

TEST_F(SignalLayer, TckAndTclkModesEndWithTheNamedEdge) {
    lpt.dataShadow = 0xF0;
    lpt.SetTck(kLineHigh);
    lpt.SetTck(kLineLow);
    lpt.SetTck(kLineRise);
    lpt.SetTck(kLineFall);
    EXPECT_EQ(Lines(log), (Strings{"w 378 F4", "w 378 F0", "w 378 F0", "w 378 F4", "w 378 F4", "w 378 F0"}));
    log.clear();
    lpt.SetTclk(kLineRise);
    lpt.SetTclk(kLineFall);
    lpt.SetTclk(kLineHigh);
    lpt.SetTclk(kLineLow);
    EXPECT_EQ(Lines(log), (Strings{"w 378 F0", "w 378 F1", "w 378 F1", "w 378 F0", "w 378 F1", "w 378 F0"}));
    EXPECT_FALSE(lpt.TdiLevel());
}

TEST_F(SignalLayer, SupplyOnWritesTwiceBeforeItsSleep) {
    lpt.dataShadow = 0x03;
    lpt.SupplyOn(kLptSupplyMillivolts);
    EXPECT_EQ(Lines(log), (Strings{"w 378 E3", "w 378 F3", "s 10"}));
    log.clear();
    lpt.SupplyOn(0); // no voltage means off: the drivers let go and the lines go low first
    EXPECT_EQ(Lines(log), (Strings{"w 37A 00", "w 378 F0", "w 378 00", "s 10"}));
    log.clear();
    lpt.SupplyOn(1800); // any other voltage is the one supply there is
    EXPECT_EQ(Lines(log), (Strings{"w 378 E0", "w 378 F0", "s 10"}));
}

TEST_F(SignalLayer, LineSequencesAndTheirDelays) {
    lpt.controlShadow = 0x0F;
    lpt.dataShadow = 0xF6;
    lpt.ReleaseLines();
    EXPECT_EQ(Lines(log), (Strings{"w 37A 05", "w 378 F6", "w 378 F6", "w 378 F6", "w 378 F7", "w 37A 04",
                                   "s 10", "s 10", "w 37A 00", "s 10"}));
    log.clear();
    lpt.EnableLines();
    EXPECT_EQ(Lines(log), (Strings{"w 37A 08", "s 10", "w 37A 0C", "s 10"}));
    log.clear();
    lpt.ResetPulse();
    EXPECT_EQ(Lines(log), (Strings{"w 37A 0F", "s 50", "w 37A 0C", "s 10"}));
    log.clear();
    lpt.SetResetPair(false); // asserting does not wait
    EXPECT_EQ(Lines(log), (Strings{"w 37A 0F"}));
}

TEST_F(SignalLayer, AttachPulsesTclkBeforeTheSupplyComesOn) {
    lpt.Attach();
    ASSERT_GT(log.size(), 2u * kLptAttachPulses + 1);
    // TMS high first, with the supply lines on: a target the cable powers never loses its
    // supply when a new program attaches.
    EXPECT_EQ(log[0].value, 0xF2u);
    uint32_t pulses = 0;
    for (uint32_t i = 0; i < kLptAttachPulses; ++i) {
        pulses += log[1 + 2 * i].value == 0xF3 && log[2 + 2 * i].value == 0xF2;
    }
    EXPECT_EQ(pulses, kLptAttachPulses);
    const Strings tail = Only(DecodeJtag(Log(log.begin() + 1 + 2 * kLptAttachPulses, log.end()), 0x378, 0xF2),
                              {"supply", "ctl", "wait"});
    EXPECT_EQ(tail, (Strings{"wait 10", "ctl 00", "ctl 00", "wait 10", "wait 10", "ctl 00", "wait 10",
                             "ctl 08", "wait 10", "ctl 0C", "wait 10"}));
}

TEST_F(SignalLayer, TdoIsStatusBitFiveAndAClosedDriverReadsAllOnes) {
    port.status = 0x20;
    EXPECT_TRUE(lpt.ReadTdo());
    port.status = 0xDF;
    EXPECT_FALSE(lpt.ReadTdo());
    port.Close();
    EXPECT_TRUE(lpt.ReadTdo());
    JtagTargetControl jtag(lpt);
    EXPECT_EQ(jtag.ShiftIr(kIrControlCapture), 0xFF);
    EXPECT_EQ(jtag.ShiftDr(0), 0xFFFF);
    EXPECT_EQ(jtag.ShiftDr(0, 5), 0x1F);
}

} // namespace
} // namespace pyrola::test
