// The served loader's line in virtual time: host bytes reach the chip at the line rate,
// answers are due when the chip's timing says (paced) or at once (unpaced), a restart
// loses what is still on the line, and the loader's faults from the fault list.

#include "sim/BslServedLine.h"
#include "sim/BslTarget.h"
#include "sim/DeviceModel.h"
#include "sim/FaultList.h"

#include <gtest/gtest.h>

#include <vector>

namespace pyrola::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(uint8_t cmd, uint16_t address, uint16_t length, const Bytes& data = {}) {
    const uint8_t l1 = uint8_t(4 + data.size());
    Bytes f = {
        0x80, cmd, l1, l1, uint8_t(address), uint8_t(address >> 8), uint8_t(length), uint8_t(length >> 8)};
    for (uint8_t b : data)
        f.push_back(b);
    uint16_t sum = 0;
    for (size_t i = 0; i + 1 < f.size(); i += 2)
        sum ^= uint16_t(f[i] | (f[i + 1] << 8));
    sum = uint16_t(~sum);
    f.push_back(uint8_t(sum));
    f.push_back(uint8_t(sum >> 8));
    return f;
}

class BslServedLineTest : public ::testing::Test {
protected:
    BslServedLineTest() : device("MSP430F12x2/F11x2"), target(device) { target.StartLoader(0); }
    void Host(BslServedLine& line, const Bytes& bytes, uint64_t nowNs) {
        line.FromHost(bytes.data(), bytes.size(), nowNs);
    }
    DeviceModel device;
    BslTarget target;
    const BslTargetTiming timing{};
};

TEST_F(BslServedLineTest, PacedAnswersAreDueAfterTheWireAndTheChipsTimes) {
    BslServedLine line(target, true);
    const uint64_t t0 = 1000000000;
    Host(line, {0x80}, t0);
    // The sync byte takes one character to arrive, the answer one more to leave.
    const uint64_t syncDue = t0 + kBslByteNs + timing.turnaroundNs + kBslByteNs;
    EXPECT_EQ(line.NextDueNs(), syncDue);
    EXPECT_TRUE(line.TakeDue(syncDue - 1).empty());
    EXPECT_EQ(line.TakeDue(syncDue), Bytes{0x90});
    EXPECT_EQ(line.NextDueNs(), kBslNothingDue);

    // A mass-erase frame written all at once still arrives at the line rate, and its
    // answer waits for the erase: one pulse on this 1.60 loader.
    const Bytes erase = Frame(0x18, 0xFF00, 0xA506);
    const uint64_t t1 = syncDue;
    Host(line, erase, t1);
    const uint64_t eraseDue =
        t1 + erase.size() * kBslByteNs + timing.turnaroundNs + timing.massErasePulseNs + kBslByteNs;
    EXPECT_EQ(line.NextDueNs(), eraseDue);
    EXPECT_TRUE(line.TakeDue(eraseDue - 1).empty());
    EXPECT_EQ(line.TakeDue(eraseDue), Bytes{0x90});
}

TEST_F(BslServedLineTest, UnpacedAnswersAreThereAtOnce) {
    BslServedLine line(target, false);
    Host(line, {0x80}, 5);
    EXPECT_EQ(line.TakeDue(5), Bytes{0x90});
    Host(line, Frame(0x18, 0xFF00, 0xA506), 6);
    Host(line, {0x80}, 6);
    EXPECT_EQ(line.TakeDue(6), (Bytes{0x90, 0x90}));
}

TEST_F(BslServedLineTest, ARestartLosesTheAnswersStillOnTheLine) {
    BslServedLine line(target, true);
    Host(line, {0x80}, 0);
    line.Restart(10);
    EXPECT_EQ(line.NextDueNs(), kBslNothingDue);
    EXPECT_TRUE(line.TakeDue(1000000000).empty());
    EXPECT_FALSE(target.Unlocked());
}

TEST_F(BslServedLineTest, CodeStartedOutsideTheLoaderIsTakenBackIntoIt) {
    BslServedLine line(target, false);
    target.SetPins(false, false, 0); // reset held, then released: the chip's own program
    target.SetPins(true, false, 10000000);
    ASSERT_NE(target.Mode(), BslTargetMode::Loader);
    Host(line, {0x80}, 1);
    EXPECT_EQ(line.TakeDue(1), Bytes{0x90});
}

TEST_F(BslServedLineTest, FaultsLoseBytesRefusePasswordsOrSilenceTheChip) {
    LoaderFaults faults;
    ASSERT_TRUE(ApplyFaultList("drop=1, drop-answer=2 wrongpassword", device, nullptr, &faults));
    BslServedLine line(target, false);
    line.SetFaults(faults);
    const Bytes password = Frame(0x10, 0xFFE0, 0x20, Bytes(32, 0xFF)); // an erased chip's vectors
    Host(line, {0x80}, 0);
    EXPECT_TRUE(line.TakeDue(0).empty()); // the first byte to the chip is lost
    Host(line, {0x80}, 0);
    EXPECT_EQ(line.TakeDue(0), Bytes{0x90});
    Host(line, password, 0);
    EXPECT_TRUE(line.TakeDue(0).empty()); // the second answer is lost
    Host(line, {0x80}, 0);
    EXPECT_EQ(line.TakeDue(0), Bytes{0x90});
    Host(line, password, 0);
    EXPECT_EQ(line.TakeDue(0), Bytes{0x90}); // the right password, taken but unlocking nothing
    EXPECT_FALSE(target.Unlocked());

    LoaderFaults quiet;
    ASSERT_TRUE(ApplyFaultList("silent", device, nullptr, &quiet));
    line.SetFaults(quiet);
    Host(line, {0x80}, 0);
    EXPECT_TRUE(line.TakeDue(0).empty());
}

// The terminal carries the host's rate: once the loader has switched, a host that stayed
// at 9600 reaches nothing and hears nothing; one that followed talks on.
TEST_F(BslServedLineTest, AfterAChangeOfRateOnlyAHostAtTheNewRateGetsThrough) {
    BslServedLine line(target, false);
    const uint64_t second = 1000000000;
    // Synchronisation, then 38400 baud with the F1xx clock settings; both acknowledges
    // go out at 9600.
    Bytes change = Frame(0x20, 0x87E0, 2);
    change.insert(change.begin(), 0x80);
    line.FromHost(change.data(), change.size(), second, 9600);
    ASSERT_EQ(line.TakeDue(second, 9600), (Bytes{0x90, 0x90}));
    ASSERT_EQ(target.BaudRate(), 38400u);
    EXPECT_EQ(line.LostToRate(), 0u);

    const uint8_t sync = 0x80;
    line.FromHost(&sync, 1, 2 * second, 9600);
    EXPECT_TRUE(line.TakeDue(2 * second, 9600).empty());
    EXPECT_EQ(line.LostToRate(), 1u);

    line.FromHost(&sync, 1, 3 * second, 38400);
    EXPECT_TRUE(line.TakeDue(3 * second, 9600).empty()); // the answer, at a rate the host is not at
    EXPECT_EQ(line.LostToRate(), 2u);

    line.FromHost(&sync, 1, 4 * second, 38400);
    EXPECT_EQ(line.TakeDue(4 * second, 38400), Bytes{0x90});
    // An unknown host rate counts as the right one.
    line.FromHost(&sync, 1, 5 * second);
    EXPECT_EQ(line.TakeDue(5 * second), Bytes{0x90});
    EXPECT_EQ(line.LostToRate(), 2u);
}

TEST(LoaderFaultList, LoaderItemsNeedALoaderAndAreCheckedLikeTheOthers) {
    DeviceModel chip("MSP430F149");
    std::string error;
    EXPECT_FALSE(ApplyFaultList("wrongpassword", chip, &error));
    EXPECT_EQ(error, "fault \"wrongpassword\" applies to the bootstrap loader only");
    LoaderFaults faults;
    for (const char* bad : {"drop=0", "drop=", "drop", "drop-answer=x", "wrongpassword=1", "silent=2"}) {
        EXPECT_FALSE(ApplyFaultList(bad, chip, &error, &faults)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
    // Nothing of a list with a bad item is applied.
    EXPECT_FALSE(ApplyFaultList("locked drop=7 drop=0", chip, &error, &faults));
    EXPECT_TRUE(faults.dropToChip.empty());
    ASSERT_TRUE(ApplyFaultList("locked;drop=7,drop=0x10 drop-answer=3", chip, &error, &faults));
    EXPECT_EQ(faults.dropToChip, (std::set<uint64_t>{7, 16}));
    EXPECT_EQ(faults.dropToHost, (std::set<uint64_t>{3}));
    EXPECT_FALSE(faults.refusePasswords);
}

} // namespace
} // namespace pyrola::sim
