// The simulated loader from the chip's side, driven with raw bytes and pin levels: entry
// sequence, synchronisation, frames and checksums, the lock, the word alignment of data
// frames, every command, old-loader behaviour and the working patch at 0x0220, wire
// timing and the injected faults.

#include "sim/BslTarget.h"
#include "sim/DeviceModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace pyrola::sim {
namespace {

using Bytes = std::vector<uint8_t>;

uint16_t Check(const Bytes& b, size_t count) {
    uint16_t sum = 0;
    for (size_t i = 0; i + 1 < count; i += 2)
        sum ^= uint16_t(b[i] | (b[i + 1] << 8));
    return uint16_t(~sum);
}

Bytes Frame(uint8_t cmd, uint16_t address, uint16_t length, const Bytes& data = {}) {
    const uint8_t l1 = uint8_t(4 + data.size());
    Bytes f = {
        0x80, cmd, l1, l1, uint8_t(address), uint8_t(address >> 8), uint8_t(length), uint8_t(length >> 8)};
    for (uint8_t b : data) // one by one: GCC 12 misreads the bounds of a range insert here at -O2
        f.push_back(b);
    const uint16_t sum = Check(f, f.size());
    f.push_back(uint8_t(sum));
    f.push_back(uint8_t(sum >> 8));
    return f;
}

// A synchronisation and one frame sent to a loader already started; the frame's answer.
Bytes SyncAndSend(BslTarget& target, uint64_t& now, const Bytes& frame) {
    Bytes all = {0x80};
    all.insert(all.end(), frame.begin(), frame.end());
    for (uint8_t b : all) {
        now += kBslByteNs;
        target.Receive(b, now);
    }
    Bytes out;
    for (const BslTimedByte& t : target.TakeOutput()) {
        out.push_back(t.byte);
        now = std::max(now, t.doneNs);
    }
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(out.at(0), 0x90); // the synchronisation's acknowledge
    return Bytes(out.begin() + 1, out.end());
}

// A chip of the given kind with its loader started, for table tests over chips.
struct StartedLoader {
    explicit StartedLoader(const char* chip) : device(chip), target(device) { target.StartLoader(0); }
    Bytes Command(const Bytes& frame) { return SyncAndSend(target, now, frame); }
    DeviceModel device;
    BslTarget target;
    uint64_t now = 0;
};

class BslTargetTest : public ::testing::Test {
protected:
    explicit BslTargetTest(const char* chip = "MSP430F149") : device(chip), target(device) {}

    // The interface circuit's view: DTR on = reset high, RTS on = test low.
    // Each level held for `holdNs` before the next change.
    void Lines(bool dtr, bool rts) {
        now += holdNs;
        target.SetPins(dtr, !rts, now);
    }
    void Invoke() {
        Lines(true, true);
        Lines(false, true);
        Lines(false, true);
        Lines(false, false);
        Lines(false, true);
        Lines(false, false);
        Lines(true, false);
        Lines(true, true);
    }
    // Sends bytes back to back at 9600 baud and returns what the chip answered.
    Bytes Send(const Bytes& bytes) {
        for (uint8_t b : bytes) {
            now += kBslByteNs;
            target.Receive(b, now);
        }
        Bytes out;
        for (const BslTimedByte& t : target.TakeOutput()) {
            out.push_back(t.byte);
            now = std::max(now, t.doneNs);
        }
        return out;
    }
    // Sync, then one frame; the frame's answer.
    Bytes Command(const Bytes& frame) {
        EXPECT_EQ(Send({0x80}), Bytes{0x90});
        return Send(frame);
    }
    Bytes Unlock() { return Command(Frame(0x10, 0xFFE0, 0x20, Bytes(32, 0xFF))); }

    DeviceModel device;
    BslTarget target;
    uint64_t now = 0;
    uint64_t holdNs = 10000000;
};

class BslTargetNewLoaderTest : public BslTargetTest {
protected:
    BslTargetNewLoaderTest() : BslTargetTest("MSP430F12x2/F11x2") {}
};

TEST_F(BslTargetTest, OnlyTheEntrySequenceStartsTheLoader) {
    EXPECT_TRUE(Send({0x80}).empty()); // running its program
    Lines(true, true);
    Lines(false, true); // a plain reset pulse
    Lines(true, true);
    EXPECT_EQ(target.Mode(), BslTargetMode::UserProgram);
    EXPECT_TRUE(Send({0x80}).empty());
    // One test pulse is not enough.
    Lines(false, true);
    Lines(false, false);
    Lines(true, false);
    EXPECT_EQ(target.Mode(), BslTargetMode::UserProgram);
    Invoke();
    EXPECT_EQ(target.Mode(), BslTargetMode::Loader);
    EXPECT_EQ(Send({0x80}), Bytes{0x90});
}

// Levels shorter than the filtered pins take in never reach the chip: a short reset pulse
// resets nothing, and the entry sequence with short pulses starts the chip's own program.
TEST_F(BslTargetTest, LevelsShorterThanTheMinimumAreNotSeen) {
    Invoke();
    ASSERT_EQ(target.Mode(), BslTargetMode::Loader);
    holdNs = 500000; // 0.5 ms
    Lines(false, true);
    Lines(true, true);
    EXPECT_EQ(target.Mode(), BslTargetMode::Loader); // the reset glitch passed unseen
    EXPECT_EQ(Send({0x80}), Bytes{0x90});
    // The entry sequence with short test pulses: the chip runs its own program.
    holdNs = 10000000;
    Lines(false, true);
    holdNs = 500000;
    Lines(false, false);
    Lines(false, true);
    Lines(false, false);
    Lines(false, true);
    holdNs = 10000000;
    Lines(false, false);
    Lines(true, false);
    EXPECT_EQ(target.Mode(), BslTargetMode::UserProgram);
    EXPECT_GE(target.ShortLevels(), 3u);
    // Held long enough, the same sequence starts the loader.
    Invoke();
    EXPECT_EQ(target.Mode(), BslTargetMode::Loader);
}

// Each kind of chip takes the entry sequence on its own pin: a TEST pin (F11x1) or, with
// dedicated JTAG pins (F149), TCK inverted. On the other pin the chip runs its program.
TEST(BslEntryPins, EachChipTakesTheSequenceOnItsOwnPinOnly) {
    struct Case {
        const char* chip;
        bool testPin;
    };
    for (const Case c : {Case{"MSP430F11x1", true}, Case{"MSP430F12x2/F11x2", true},
                         Case{"MSP430F149", false}, Case{"MSP430F44x", false}}) {
        SCOPED_TRACE(c.chip);
        DeviceModel device(c.chip);
        BslTarget target(device);
        EXPECT_EQ(target.HasTestPin(), c.testPin);
        uint64_t now = 0;
        // The sequence as TEST levels; `onTest` drives TEST with it (TCK idle high),
        // otherwise TCK with it inverted (TEST idle low).
        auto enter = [&](bool onTest) {
            auto pins = [&](bool reset, bool level) {
                now += 10000000;
                if (onTest)
                    target.SetEntryPins(reset, level, true, now);
                else
                    target.SetEntryPins(reset, false, !level, now);
            };
            pins(true, false);
            pins(false, false);
            pins(false, true);
            pins(false, false);
            pins(false, true);
            pins(true, true);
            pins(true, false);
            return target.Mode();
        };
        EXPECT_EQ(enter(true), c.testPin ? BslTargetMode::Loader : BslTargetMode::UserProgram);
        EXPECT_EQ(enter(false), c.testPin ? BslTargetMode::UserProgram : BslTargetMode::Loader);
    }
}

TEST_F(BslTargetTest, AnswersLeaveAtNineHundredSixtyBaudWithElevenBitsACharacter) {
    Invoke();
    target.Receive(0x80, 1000000000);
    auto out = target.TakeOutput();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(kBslByteNs, 1145833u);
    EXPECT_EQ(out[0].doneNs, 1000000000u + BslTargetTiming{}.turnaroundNs + kBslByteNs);
    // A data frame goes out back to back.
    now = 2000000000;
    Unlock();
    EXPECT_EQ(Send({0x80}), Bytes{0x90});
    for (uint8_t b : Frame(0x14, 0x0FF0, 16)) {
        now += kBslByteNs;
        target.Receive(b, now);
    }
    out = target.TakeOutput();
    ASSERT_EQ(out.size(), 22u);
    for (size_t i = 1; i < out.size(); ++i)
        EXPECT_EQ(out[i].doneNs - out[i - 1].doneNs, kBslByteNs);
}

TEST_F(BslTargetTest, ProtectedCommandsWaitForTheVectorsAsPassword) {
    Invoke();
    EXPECT_EQ(Command(Frame(0x14, 0x0FF0, 16)), Bytes{0xA0});
    EXPECT_EQ(Command(Frame(0x12, 0x0300, 2, {1, 2})), Bytes{0xA0});
    // A wrong password is acknowledged like a right one; only the protected commands after
    // it tell the difference.
    EXPECT_EQ(Command(Frame(0x10, 0xFFE0, 0x20, Bytes(32, 0x00))), Bytes{0x90});
    EXPECT_FALSE(target.Unlocked());
    EXPECT_EQ(Command(Frame(0x14, 0x0FF0, 16)), Bytes{0xA0});
    // A password frame of the wrong size is no password frame.
    EXPECT_EQ(Command(Frame(0x10, 0xFFE0, 0x1E, Bytes(30, 0xFF))), Bytes{0xA0});
    EXPECT_EQ(Unlock(), Bytes{0x90}); // an erased chip's vectors
    EXPECT_TRUE(target.Unlocked());
    // Once unlocked, a wrong password does not lock it again.
    EXPECT_EQ(Command(Frame(0x10, 0xFFE0, 0x20, Bytes(32, 0x00))), Bytes{0x90});
    EXPECT_TRUE(target.Unlocked());
    // The lock comes back with every start of the loader.
    Invoke();
    EXPECT_FALSE(target.Unlocked());
}

TEST_F(BslTargetTest, ReadAnswersWithADataFrameOfTheIdentification) {
    Invoke();
    Unlock();
    const Bytes answer = Command(Frame(0x14, 0x0FF0, 16));
    ASSERT_EQ(answer.size(), 22u);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4), (Bytes{0x80, 0x00, 16, 16}));
    const auto id = device.Identification();
    EXPECT_EQ(Bytes(answer.begin() + 4, answer.begin() + 20), Bytes(id.begin(), id.end()));
    EXPECT_EQ(answer[14], 0x01); // version 1.10 at 0x0FFA/0x0FFB
    EXPECT_EQ(answer[15], 0x10);
    const uint16_t sum = Check(answer, 20);
    EXPECT_EQ(answer[20], uint8_t(sum));
    EXPECT_EQ(answer[21], uint8_t(sum >> 8));
    // More than one frame can carry is refused.
    EXPECT_EQ(Command(Frame(0x14, 0xF000, 252)), Bytes{0xA0});
}

TEST_F(BslTargetTest, DamagedFramesAreRefused) {
    Invoke();
    Bytes bad = Frame(0x10, 0xFFE0, 0x20, Bytes(32, 0xFF));
    bad.back() ^= 0x40;
    EXPECT_EQ(Command(bad), Bytes{0xA0});
    // Lengths that disagree are refused as soon as they are seen.
    EXPECT_EQ(Send({0x80}), Bytes{0x90});
    EXPECT_EQ(Send({0x80, 0x10, 0x24, 0x23}), Bytes{0xA0});
    EXPECT_FALSE(target.Unlocked());
}

TEST_F(BslTargetTest, WritesFollowTheFlashRulesAndRefuseTheRom) {
    Invoke();
    Unlock();
    EXPECT_EQ(Command(Frame(0x12, 0xF000, 4, {0x0F, 0xF0, 0x12, 0x34})), Bytes{0x90});
    EXPECT_EQ(Command(Frame(0x12, 0xF000, 2, {0xF3, 0x3F})), Bytes{0x90}); // AND with what is there
    EXPECT_EQ(device.Read(0xF000), 0x03);
    EXPECT_EQ(device.Read(0xF001), 0x30);
    EXPECT_EQ(device.Read(0xF002), 0x12);
    EXPECT_EQ(Command(Frame(0x12, 0x0FF0, 2, {0, 0})), Bytes{0xA0});
    EXPECT_EQ(device.Read(0x0FF0), 0xF1);
    // The length field must count the frame's data bytes.
    EXPECT_EQ(Command(Frame(0x12, 0xF010, 4, {0x00, 0x00})), Bytes{0xA0});
    EXPECT_EQ(Command(Frame(0x12, 0xF010, 0x0102, {0x00, 0x00})), Bytes{0xA0});
    EXPECT_EQ(device.Read(0xF010), 0xFF);
    // The supply fails half-way through a block: the frame is refused.
    device.InjectPowerLossAfter(3);
    EXPECT_EQ(Command(Frame(0x12, 0xF100, 8, Bytes(8, 0x00))), Bytes{0xA0});
    EXPECT_NE(device.Read(0xF107), 0x00);
}

TEST_F(BslTargetNewLoaderTest, EraseKeysWorkAsTheFlashControllersModes) {
    Invoke();
    Unlock();
    auto dirty = [this] {
        for (uint32_t a : {0x1000u, 0x1080u, 0xE000u, 0xE200u})
            device.Poke(a, 0x00);
    };
    dirty();
    // ERASE: the segment the address is in.
    EXPECT_EQ(Command(Frame(0x16, 0xE000, 0xA502)), Bytes{0x90});
    EXPECT_EQ(device.Read(0xE000), 0xFF);
    EXPECT_EQ(device.Read(0xE200), 0x00);
    // MERAS: every main-memory segment, the information memory kept, even when the
    // address lies in it; one frame erases for one pulse, 17 in a row reach 200 ms.
    auto mainErase = [this](uint16_t address) {
        for (int i = 0; i < 17; ++i)
            EXPECT_EQ(Command(Frame(0x16, address, 0xA504)), Bytes{0x90});
    };
    mainErase(0x1000);
    EXPECT_EQ(device.Read(0xE200), 0xFF);
    EXPECT_EQ(device.Read(0x1000), 0x00);
    EXPECT_EQ(device.Read(0x1080), 0x00);
    dirty();
    mainErase(0xE000);
    EXPECT_EQ(device.Read(0xE200), 0xFF);
    EXPECT_EQ(device.Read(0x1000), 0x00);
    // MERAS and ERASE: all flash, in one frame from 1.61 on.
    device.SetLoaderVersion(0x0161);
    EXPECT_EQ(Command(Frame(0x16, 0xE000, 0xA506)), Bytes{0x90});
    EXPECT_EQ(device.Read(0x1000), 0xFF);
    EXPECT_EQ(device.Read(0x1080), 0xFF);
    EXPECT_EQ(Command(Frame(0x16, 0xF000, 0x1234)), Bytes{0xA0});
    // Outside flash the dummy write starts nothing: acknowledged, nothing erased.
    dirty();
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(Command(Frame(0x16, 0x0300, 0xA504)), Bytes{0x90});
    EXPECT_EQ(device.Read(0xE200), 0x00);
}

// From 1.60 on the loader checks all information memory after erasing one of its
// segments: the erase is done, but refused while the other segment holds data. Older
// loaders answer for the segment alone.
TEST(BslInfoSegmentErase, From160TheCheckSpansAllInformationMemory) {
    struct Case {
        const char* chip;
        bool refusedWhileOtherHoldsData;
    };
    for (const Case c : {Case{"MSP430F12x2/F11x2", true}, Case{"MSP430F1611", true},
                         Case{"MSP430F44x", false}, Case{"MSP430F149", false}}) {
        SCOPED_TRACE(c.chip);
        StartedLoader chip(c.chip);
        DeviceModel& device = chip.device;
        auto command = [&chip](const Bytes& frame) { return chip.Command(frame); };
        command(Frame(0x10, 0xFFE0, 0x20, Bytes(32, 0xFF)));
        device.Poke(0x1000, 0x00);
        device.Poke(0x1080, 0x00);
        device.Poke(0xE000, 0x00);
        const uint8_t expected = c.refusedWhileOtherHoldsData ? 0xA0 : 0x90;
        EXPECT_EQ(command(Frame(0x16, 0x1080, 0xA502)), Bytes{expected});
        EXPECT_EQ(device.Read(0x1080), 0xFF); // erased all the same
        EXPECT_EQ(device.Read(0x1000), 0x00);
        // With the rest of the information memory blank, and in main memory, it is taken.
        EXPECT_EQ(command(Frame(0x16, 0x1000, 0xA502)), Bytes{0x90});
        EXPECT_EQ(command(Frame(0x16, 0xE000, 0xA502)), Bytes{0x90});
        EXPECT_EQ(device.Read(0xE000), 0xFF);
    }
}

TEST_F(BslTargetTest, AnOldLoaderNeedsTheCumulativeEraseTimeForMassAndMainErase) {
    // The mass erase, and the main-memory erase that keeps the information memory.
    struct Case {
        Bytes frame;
        bool informationErased;
    };
    for (const Case& c :
         {Case{Frame(0x18, 0xFF00, 0xA506), true}, Case{Frame(0x16, 0x1100, 0xA504), false}}) {
        SCOPED_TRACE(int(c.frame[1]));
        Invoke();
        Unlock();
        target.ClearFrames();
        device.Poke(0xF000, 0x00);
        device.Poke(0x1000, 0x00);
        // One frame erases for 12 ms of the 200 ms the flash needs.
        EXPECT_EQ(Command(c.frame), Bytes{0x90});
        EXPECT_EQ(device.Read(0xF000), 0x00);
        // Another command in between starts the count again.
        Command(Frame(0x14, 0x0FF0, 2));
        for (int i = 0; i < 16; ++i)
            Command(c.frame);
        EXPECT_EQ(device.Read(0xF000), 0x00);
        Command(c.frame);
        EXPECT_EQ(device.Read(0xF000), 0xFF);
        EXPECT_EQ(device.Read(0x1000), c.informationErased ? 0xFF : 0x00);
        EXPECT_EQ(target.FrameCount(c.frame[1]), 18u);
    }
    // The wrong key erases nothing.
    device.Poke(0xF000, 0x00);
    EXPECT_EQ(Command(Frame(0x18, 0xFF00, 0xA504)), Bytes{0xA0});
}

// The main-memory key erases for one mass-erase pulse per frame on every ROM loader, the
// newer ones too; the mass erase command takes one frame from 1.61 on, twenty before.
TEST(BslMainErase, OneFrameOfTheMainKeyIsOnePulseOnEveryVersion) {
    for (const char* chip : {"MSP430F12x2/F11x2", "MSP430F44x", "MSP430F1611", "MSP430FG43x"}) {
        SCOPED_TRACE(chip);
        StartedLoader loader(chip);
        DeviceModel& device = loader.device;
        auto command = [&loader](const Bytes& frame) { return loader.Command(frame); };
        command(Frame(0x10, 0xFFE0, 0x20, Bytes(32, 0xFF)));
        const uint16_t main = uint16_t(device.Bounds().mainStart);
        device.Poke(main, 0x00);
        device.Poke(0x1000, 0x00);
        command(Frame(0x16, main, 0xA504));
        EXPECT_EQ(device.Read(main), 0x00);
        for (int i = 0; i < 16; ++i)
            command(Frame(0x16, main, 0xA504));
        EXPECT_EQ(device.Read(main), 0xFF);
        EXPECT_EQ(device.Read(0x1000), 0x00);
        device.Poke(main, 0x00);
        command(Frame(0x18, 0xFF00, 0xA506));
        const bool oneFrame = device.LoaderVersion() >= 0x0161;
        EXPECT_EQ(device.Read(main), oneFrame ? 0xFF : 0x00);
        for (int i = 0; i < 16; ++i)
            command(Frame(0x18, 0xFF00, 0xA506));
        EXPECT_EQ(device.Read(main), 0xFF);
        EXPECT_EQ(device.Read(0x1000), 0xFF);
    }
}

TEST_F(BslTargetTest, MassEraseWorksLockedAndLocksTheRomLoaderAgain) {
    Invoke();
    Unlock();
    EXPECT_TRUE(target.Unlocked());
    Command(Frame(0x18, 0xFF00, 0xA506));
    EXPECT_FALSE(target.Unlocked());
}

TEST_F(BslTargetTest, AnOldLoaderKnowsNoEraseCheckUntilTheWorkingPatchRuns) {
    // The patch the chip is told works: first word = its start address.
    Bytes patch(64, 0x03);
    patch[0] = 0x30;
    patch[1] = 0x02;
    target.SetWorkingPatch(patch);
    Invoke();
    Unlock();
    EXPECT_EQ(Command(Frame(0x1C, 0xF000, 16)), Bytes{0xA0});
    // Re-entering the loader locks it again.
    EXPECT_EQ(Command(Frame(0x1A, 0x0C22, 0)), Bytes{0x90});
    EXPECT_FALSE(target.Unlocked());
    Unlock();
    // Other code of the same shape, started at its own start address, is no extension:
    // the chip runs off into it and the loader is gone.
    Bytes other = patch;
    other[10] = 0x12;
    EXPECT_EQ(Command(Frame(0x12, 0x0220, uint16_t(other.size()), other)), Bytes{0x90});
    EXPECT_EQ(Command(Frame(0x1A, 0x0230, 0)), Bytes{0x90});
    EXPECT_FALSE(target.PatchRunning());
    EXPECT_EQ(target.Mode(), BslTargetMode::UserProgram);
    EXPECT_TRUE(Send({0x80}).empty());
    // The working patch started anywhere but at its start address is no extension either.
    Invoke();
    Unlock();
    EXPECT_EQ(Command(Frame(0x12, 0x0220, uint16_t(patch.size()), patch)), Bytes{0x90});
    EXPECT_EQ(Command(Frame(0x1A, 0x0240, 0)), Bytes{0x90});
    EXPECT_EQ(target.Mode(), BslTargetMode::UserProgram);
    // Loaded in full and started at its start address, it runs.
    Invoke();
    Unlock();
    EXPECT_EQ(Command(Frame(0x12, 0x0220, uint16_t(patch.size()), patch)), Bytes{0x90});
    EXPECT_EQ(Command(Frame(0x1A, 0x0230, 0)), Bytes{0x90});
    EXPECT_TRUE(target.PatchRunning());
    EXPECT_EQ(Command(Frame(0x1C, 0xF000, 16)), Bytes{0x90});
    device.Poke(0xF00F, 0x7F);
    EXPECT_EQ(Command(Frame(0x1C, 0xF000, 16)), Bytes{0xA0});
    EXPECT_EQ(Command(Frame(0x1C, 0xF000, 14)), Bytes{0x90});
    // With the extension one mass-erase frame is enough, and the lock stays open.
    EXPECT_EQ(Command(Frame(0x18, 0xFF00, 0xA506)), Bytes{0x90});
    EXPECT_EQ(device.Read(0xF00F), 0xFF);
    EXPECT_TRUE(target.Unlocked());
}

TEST_F(BslTargetTest, WithoutAWorkingPatchNoLoadedCodeExtendsTheLoader) {
    Invoke();
    Unlock();
    Bytes code(64, 0x03);
    code[0] = 0x30;
    code[1] = 0x02;
    EXPECT_EQ(Command(Frame(0x12, 0x0220, uint16_t(code.size()), code)), Bytes{0x90});
    EXPECT_EQ(Command(Frame(0x1A, 0x0230, 0)), Bytes{0x90});
    EXPECT_FALSE(target.PatchRunning());
    EXPECT_EQ(target.Mode(), BslTargetMode::UserProgram);
}

TEST_F(BslTargetNewLoaderTest, OddAddressesAndLengthsAreRefusedForWritesReadsAndEraseChecks) {
    Invoke();
    Unlock();
    // Writes: odd address, odd length, and an odd number of data bytes behind an even length.
    EXPECT_EQ(Command(Frame(0x12, 0xE001, 2, {0x11, 0x22})), Bytes{0xA0});
    EXPECT_EQ(Command(Frame(0x12, 0xE000, 3, {0x11, 0x22, 0x33})), Bytes{0xA0});
    EXPECT_EQ(Command(Frame(0x12, 0xE000, 2, {0x11, 0x22, 0x33})), Bytes{0xA0});
    for (uint32_t a = 0xE000; a < 0xE004; ++a)
        EXPECT_EQ(device.Read(a), 0xFF);
    EXPECT_EQ(Command(Frame(0x12, 0xE000, 2, {0x11, 0x22})), Bytes{0x90});
    EXPECT_EQ(device.Read(0xE001), 0x22);
    // Reads and erase checks.
    EXPECT_EQ(Command(Frame(0x14, 0xE001, 2)), Bytes{0xA0});
    EXPECT_EQ(Command(Frame(0x14, 0xE000, 1)), Bytes{0xA0});
    EXPECT_EQ(Command(Frame(0x14, 0xE000, 2)).size(), 8u);
    // Every refused frame is on record, so tests can count them.
    EXPECT_EQ(std::count_if(target.Frames().begin(), target.Frames().end(),
                            [](const BslFrameRecord& f) { return f.answer == 0xA0; }),
              5);
    // The erase check is documented to take odd boundaries, and checks exactly them.
    EXPECT_EQ(Command(Frame(0x1C, 0xE003, 2)), Bytes{0x90});
    EXPECT_EQ(Command(Frame(0x1C, 0xE002, 3)), Bytes{0x90});
    EXPECT_EQ(Command(Frame(0x1C, 0xE001, 1)), Bytes{0xA0}); // 0x22 is no blank byte
    // Commands whose length field is a key are not affected.
    EXPECT_EQ(Command(Frame(0x16, 0xE001, 0xA502)), Bytes{0x90});
}

TEST_F(BslTargetNewLoaderTest, ANewerLoaderChecksErasesAndErasesInOneFrame) {
    Invoke();
    Unlock();
    device.Poke(0xE000, 0x00);
    EXPECT_EQ(Command(Frame(0x1C, 0xE000, 2)), Bytes{0xA0});
    // Before 1.61 one mass-erase frame is one pulse: the erase check still refuses.
    EXPECT_EQ(Command(Frame(0x18, 0xFF00, 0xA506)), Bytes{0x90});
    Unlock();
    EXPECT_EQ(Command(Frame(0x1C, 0xE000, 250)), Bytes{0xA0});
    device.SetLoaderVersion(0x0161);
    EXPECT_EQ(Command(Frame(0x18, 0xFF00, 0xA506)), Bytes{0x90});
    Unlock();
    EXPECT_EQ(Command(Frame(0x1C, 0xE000, 250)), Bytes{0x90});
    // It reads back what it programs: a stuck bit makes the write fail.
    device.SetStuckBits(0xE010, 0x01, 0x01);
    EXPECT_EQ(Command(Frame(0x12, 0xE010, 2, {0x00, 0x00})), Bytes{0xA0});
    // Commands it does not know are refused as locked ones are.
    EXPECT_EQ(Command(Frame(0x21, 0, 0)), Bytes{0xA0});
    EXPECT_EQ(Command(Frame(0x30, 0, 0)), Bytes{0xA0});
}

TEST_F(BslTargetTest, TheCommandSetFollowsTheLoaderVersion) {
    // Erase check and transmit-version from 1.50 on, change of rate from 1.60 on.
    struct Case {
        uint16_t version;
        bool eraseCheck;
        bool changeRate;
    };
    for (const Case c : {Case{0x0110, false, false}, Case{0x0130, false, false}, Case{0x0140, false, false},
                         Case{0x0150, true, false}, Case{0x0160, true, true}, Case{0x0161, true, true}}) {
        SCOPED_TRACE(c.version);
        device.SetLoaderVersion(c.version);
        Invoke();
        Unlock();
        EXPECT_EQ(Command(Frame(0x1C, 0xF000, 16)), Bytes{uint8_t(c.eraseCheck ? 0x90 : 0xA0)});
        const Bytes version = Command(Frame(0x1E, 0, 0));
        if (c.eraseCheck) {
            ASSERT_EQ(version.size(), 22u);
            EXPECT_EQ(version[4], 0xF1);
            EXPECT_EQ(version[4 + 10], uint8_t(c.version >> 8));
            EXPECT_EQ(version[4 + 11], uint8_t(c.version));
        } else {
            EXPECT_EQ(version, Bytes{0xA0});
        }
        EXPECT_EQ(Command(Frame(0x20, 0x8580, 0)), Bytes{uint8_t(c.changeRate ? 0x90 : 0xA0)});
    }
}

TEST_F(BslTargetTest, AStalledFrameIsForgottenSoTheNextSyncGetsThrough) {
    Invoke();
    EXPECT_EQ(Send({0x80}), Bytes{0x90});
    EXPECT_TRUE(Send({0x80, 0x10, 0x24}).empty());
    now += 60000000; // 60 ms of silence
    EXPECT_EQ(Send({0x80}), Bytes{0x90});
    EXPECT_EQ(Send(Frame(0x10, 0xFFE0, 0x20, Bytes(32, 0xFF))), Bytes{0x90});
}

TEST_F(BslTargetTest, ASyncWhereTheCommandBelongsStartsOver) {
    Invoke();
    EXPECT_EQ(Send({0x80}), Bytes{0x90});
    EXPECT_TRUE(Send({0x80}).empty()); // taken as a frame head
    EXPECT_EQ(Send({0x80}), Bytes{0x90});
    EXPECT_EQ(Send(Frame(0x10, 0xFFE0, 0x20, Bytes(32, 0xFF))), Bytes{0x90});
}

TEST_F(BslTargetTest, InjectedFaultsRefuseSilenceAndOverride) {
    Invoke();
    target.RefuseNextFrame(0x10, 6);
    EXPECT_EQ(Send({0x80}), Bytes{0x90});
    const Bytes password = Frame(0x10, 0xFFE0, 0x20, Bytes(32, 0xFF));
    EXPECT_EQ(Send(Bytes(password.begin(), password.begin() + 6)), Bytes{0xA0});
    EXPECT_EQ(Unlock(), Bytes{0x90}); // only the next frame was refused
    Invoke();
    target.SetRefusePasswords(true);
    EXPECT_EQ(Unlock(), Bytes{0x90}); // taken, but it unlocks nothing
    EXPECT_FALSE(target.Unlocked());
    target.SetRefusePasswords(false);
    Unlock();
    target.SetAnswerOverride(0x14, 0x70);
    EXPECT_EQ(Command(Frame(0x14, 0x0FF0, 16)), Bytes{0x70});
    target.SetAnswerOverride(0x14, 0);
    target.SetSilent(true);
    EXPECT_TRUE(Send({0x80}).empty());
}

// --- the change-baud-rate command ------------------------------------------------------

class BslTargetF4Test : public BslTargetTest {
protected:
    BslTargetF4Test() : BslTargetTest("MSP430FG43x") {}
};

TEST_F(BslTargetTest, ALoaderBefore160DoesNotKnowTheChangeOfRate) {
    Invoke();
    Unlock();
    EXPECT_EQ(Command(Frame(0x20, 0x87E0, 2)), Bytes{0xA0});
    EXPECT_EQ(target.BaudRate(), 9600u);
}

TEST_F(BslTargetNewLoaderTest, TheDocumentedSettingSwitchesTheRateAfterTheAcknowledge) {
    Invoke(); // no password needed
    EXPECT_EQ(Send({0x80}), Bytes{0x90});
    for (uint8_t b : Frame(0x20, 0x87E0, 2)) { // D1 = DCOCTL 0xE0, D2 = BCSCTL1 0x87, D3 = 2
        now += kBslByteNs;
        target.Receive(b, now);
    }
    auto out = target.TakeOutput();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].byte, 0x90);
    EXPECT_EQ(out[0].baudRate, 9600u); // the acknowledge still at the old rate
    EXPECT_EQ(out[0].doneNs, now + BslTargetTiming{}.turnaroundNs + kBslByteNs);
    EXPECT_EQ(target.BaudRate(), 38400u);
    EXPECT_EQ(target.ByteNs(), kBslByteNs / 4);
    // While the clock settles, bytes are lost.
    target.Receive(0x80, out[0].doneNs + 1000000);
    EXPECT_TRUE(target.TakeOutput().empty());
    EXPECT_EQ(target.BytesLostSettling(), 1u);
    now = out[0].doneNs + kBslRateSettleNs;
    target.Receive(0x80, now);
    out = target.TakeOutput();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].baudRate, 38400u);
    EXPECT_EQ(out[0].doneNs, now + BslTargetTiming{}.turnaroundNs + kBslByteNs / 4);
    // A restart of the loader is back at 9600.
    Invoke();
    EXPECT_EQ(target.BaudRate(), 9600u);
}

TEST_F(BslTargetNewLoaderTest, AnUndocumentedSettingLeavesTheUartAtNoUsableRate) {
    Invoke();
    EXPECT_EQ(Command(Frame(0x20, 0x8700, 2)), Bytes{0x90}); // F4xx values on an F1xx chip
    EXPECT_EQ(target.BaudRate(), kBslGarbledRate);
    Invoke();
    EXPECT_EQ(Command(Frame(0x20, 0x86E0, 2)), Bytes{0x90}); // the 19200 clock with the 38400 code
    EXPECT_EQ(target.BaudRate(), kBslGarbledRate);
    Invoke();
    EXPECT_EQ(Command(Frame(0x20, 0x87E0, 3)), Bytes{0xA0}); // no such rate
    EXPECT_EQ(target.BaudRate(), 9600u);
}

TEST_F(BslTargetF4Test, AnF4xxChipTakesItsOwnClockSettings) {
    Invoke();
    EXPECT_EQ(Command(Frame(0x20, 0xB000, 1)), Bytes{0x90}); // SCFI0 0x00, SCFI1 0xB0
    EXPECT_EQ(target.BaudRate(), 19200u);
    Invoke();
    EXPECT_EQ(Command(Frame(0x20, 0x87E0, 2)), Bytes{0x90}); // the F1xx setting
    EXPECT_EQ(target.BaudRate(), kBslGarbledRate);
}

} // namespace
} // namespace pyrola::sim
