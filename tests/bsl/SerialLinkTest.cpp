// The serial link: line sequences in order, polled waits in virtual time, open and close.

#include "adapters/bsl/SerialLink.h"
#include "tests/bsl/ScriptedSerial.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pyrola {
namespace {

using test::RecordingClock;
using test::ScriptedLine;
using test::ScriptedPorts;
using Log = std::vector<std::string>;

class SerialLinkTest : public ::testing::Test {
protected:
    SerialLinkTest() : clock(line.log), ports(line), link(ports, clock) {
        line.clock = &clock;
        link.portName = "COM3";
    }
    void OpenAndForget() {
        ASSERT_TRUE(link.OpenPort());
        line.log.clear();
    }
    ScriptedLine line;
    RecordingClock clock;
    ScriptedPorts ports;
    SerialLink link;
};

TEST_F(SerialLinkTest, InvokeBslPulsesTheTestLineTwiceWhileResetIsHeld) {
    OpenAndForget();
    link.InvokeBsl();
    // Every level within the sequence is held 10 ms.
    const Log expected = {"DTR on",  "RTS on",  "wait 250", "DTR off", "wait 10", "RTS on",  "wait 10",
                          "RTS off", "wait 10", "RTS on",   "wait 10", "RTS off", "wait 10", "DTR on",
                          "wait 10", "RTS on",  "wait 250", "purge 4", "purge 8"};
    EXPECT_EQ(line.log, expected);
    EXPECT_EQ(clock.Milliseconds(), 560u);
}

TEST_F(SerialLinkTest, RestartTargetGivesOneResetPulseAndNeverDropsRts) {
    OpenAndForget();
    link.RestartTarget();
    const Log expected = {"DTR on", "RTS on",   "wait 250", "DTR off", "wait 10",
                          "DTR on", "wait 250", "purge 4",  "purge 8"};
    EXPECT_EQ(line.log, expected);
    EXPECT_EQ(clock.Milliseconds(), 510u);
}

TEST_F(SerialLinkTest, OpenUsesNameAndSettingsAndReopeningClosesFirst) {
    link.baudRate = 9600;
    link.parity = kParityEven;
    link.queueSize = 512;
    ASSERT_TRUE(link.OpenPort());
    EXPECT_TRUE(link.IsOpen());
    ASSERT_TRUE(link.OpenPort());
    const Log expected = {"open COM3 9600 2 512", "close", "open COM3 9600 2 512"};
    EXPECT_EQ(line.log, expected);
    EXPECT_EQ(ports.created, 1);
}

TEST_F(SerialLinkTest, FailedOpenKeepsTheSystemErrorAndLeavesTheLinkClosed) {
    line.failOpen = true;
    line.openError = 2;
    EXPECT_FALSE(link.OpenPort());
    EXPECT_EQ(link.lastSystemError, 2u);
    EXPECT_FALSE(link.IsOpen());
    // Closing a link that never opened succeeds and touches nothing.
    line.log.clear();
    EXPECT_TRUE(link.ClosePort());
    EXPECT_TRUE(line.log.empty());
}

TEST_F(SerialLinkTest, WaitForInputGivesUpAfterTheLimitAndNeverEarlier) {
    OpenAndForget();
    EXPECT_EQ(link.WaitForInput(1, 100), 0u);
    EXPECT_GE(clock.Milliseconds(), 100u);
    EXPECT_LE(clock.Milliseconds(), 101u);
}

TEST_F(SerialLinkTest, WaitForInputReturnsOnceEnoughBytesArrived) {
    OpenAndForget();
    line.Answer({0x11, 0x22}, 30000000); // both arrive after 30 ms
    EXPECT_EQ(link.WaitForInput(2, 100), 2u);
    EXPECT_GE(clock.Milliseconds(), 30u);
    EXPECT_LE(clock.Milliseconds(), 31u);
}

TEST_F(SerialLinkTest, WaitForInputLooksAgainAfterAStallPastTheLimit) {
    OpenAndForget();
    line.Answer({0x11, 0x22}, 30000000);
    clock.stallOnce = 150; // descheduled in the first nap: the bytes came meanwhile
    EXPECT_EQ(link.WaitForInput(2, 100), 2u);
}

TEST_F(SerialLinkTest, ReadWaitReadsAllOrNothing) {
    OpenAndForget();
    line.Answer({0x01, 0x02});
    uint8_t buffer[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(link.ReadWait(buffer, 3, 50), 0u);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(line.queue.size(), 2u); // left for the next purge
    EXPECT_EQ(link.ReadWait(buffer, 2, 50), 2u);
    EXPECT_EQ(buffer[0], 0x01);
    EXPECT_EQ(buffer[1], 0x02);
}

TEST_F(SerialLinkTest, CloseDrainsTheOutputQueueForAtMostOnePhase) {
    OpenAndForget();
    line.outputQueue = 5; // never drains
    line.pollCostNs = 1000000;
    EXPECT_TRUE(link.ClosePort());
    EXPECT_GE(clock.Milliseconds(), 500u);
    EXPECT_LE(clock.Milliseconds(), 501u);
    EXPECT_EQ(line.log.back(), "close");
}

TEST_F(SerialLinkTest, CloseWaitsOnlyUntilTheOutputQueueIsEmpty) {
    OpenAndForget();
    line.outputQueue = 3;
    line.drainPerPoll = 1;
    line.pollCostNs = 1000000;
    EXPECT_TRUE(link.ClosePort());
    EXPECT_EQ(line.outputQueue, 0u);
    EXPECT_LE(clock.Milliseconds(), 4u);
}

TEST_F(SerialLinkTest, CloseReportsASystemFailureButCountsAsClosed) {
    OpenAndForget();
    line.failClose = true;
    EXPECT_FALSE(link.ClosePort());
    EXPECT_FALSE(link.IsOpen());
}

// A cable that inverts or swaps the lines: the port opens at the idle levels that cable
// needs, and every step of the sequences is mapped, so the target sees the standard levels.
TEST_F(SerialLinkTest, TheWiringMapsTheIdleLevelsAndEverySequenceStep) {
    link.wiring.resetInverted = true;
    ASSERT_TRUE(link.OpenPort());
    link.RestartTarget();
    EXPECT_EQ(line.log, (Log{"open COM3 9600 0 2048 DTR off", "DTR off", "RTS on", "wait 250", "DTR on",
                             "wait 10", "DTR off", "wait 250", "purge 4", "purge 8"}));

    line.log.clear();
    link.wiring = BslWiring{false, true, false};
    ASSERT_TRUE(link.OpenPort());
    link.InvokeBsl();
    EXPECT_EQ(line.log, (Log{"close",    "open COM3 9600 0 2048 RTS off",
                             "DTR on",   "RTS off",
                             "wait 250", "DTR off",
                             "wait 10",  "RTS off",
                             "wait 10",  "RTS on",
                             "wait 10",  "RTS off",
                             "wait 10",  "RTS on",
                             "wait 10",  "DTR on",
                             "wait 10",  "RTS off",
                             "wait 250", "purge 4",
                             "purge 8"}));

    line.log.clear();
    link.wiring = BslWiring{false, false, true};
    ASSERT_TRUE(link.OpenPort());
    link.InvokeBsl();
    EXPECT_EQ(line.log, (Log{"close",    "open COM3 9600 0 2048",
                             "RTS on",   "DTR on",
                             "wait 250", "RTS off",
                             "wait 10",  "DTR on",
                             "wait 10",  "DTR off",
                             "wait 10",  "DTR on",
                             "wait 10",  "DTR off",
                             "wait 10",  "RTS on",
                             "wait 10",  "DTR on",
                             "wait 250", "purge 4",
                             "purge 8"}));
}

TEST_F(SerialLinkTest, ASwitchOfRateFollowsThePortOrKeepsTheOldOne) {
    OpenAndForget();
    EXPECT_TRUE(link.SetBaudRate(38400));
    EXPECT_EQ(link.baudRate, 38400u);
    line.failBaudRate = true;
    EXPECT_FALSE(link.SetBaudRate(19200));
    EXPECT_EQ(link.baudRate, 38400u);
    EXPECT_EQ(line.log, (Log{"baud 38400", "baud 19200"}));
}

} // namespace
} // namespace pyrola
