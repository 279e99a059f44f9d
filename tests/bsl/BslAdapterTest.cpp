// The BSL adapter against the simulated chip over the simulated wire: open, unlock with
// the erased-device fallback, identification, old loaders, both erase modes, reset, and
// every error number provoked through the loader's or the wire's faults. The patch and
// the word alignment of transfers have files of their own.

#include "adapters/DeviceTable.h"
#include "tests/bsl/BslAdapterFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pyrola {
namespace {

using sim::BslWireAction;
using sim::BslWireDirection;
using test::BslAdapterF44xTest;
using test::BslAdapterNewLoaderTest;
using test::BslAdapterTest;
using test::Bytes;
using test::NotesHold;
using test::Pattern;

BslPassword Pattern32(uint32_t seed) {
    const Bytes v = Pattern(32, seed);
    BslPassword p{};
    std::copy(v.begin(), v.end(), p.begin());
    return p;
}

TEST_F(BslAdapterTest, ConstructionTouchesNoPortAndSetsTheDocumentedState) {
    EXPECT_TRUE(wire.openedNames.empty());
    EXPECT_EQ(adapter.isOpen, 0);
    EXPECT_EQ(adapter.needPassword, 1);
    EXPECT_EQ(adapter.needIdentification, 1);
    EXPECT_EQ(adapter.patchStart, 0u);
    EXPECT_EQ(adapter.link().queueSize, 2048u);
    EXPECT_EQ(adapter.link().parity, kParityNone);
    EXPECT_EQ(adapter.password, kBslErasedPassword);
    EXPECT_STREQ(adapter.GetName(), "BSL");
    EXPECT_EQ(adapter.GetBlockSize(), 250u);
}

TEST_F(BslAdapterTest, OpenStartsUnlocksAndIdentifiesAnOldLoader) {
    adapter.portNumber = 12;
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(wire.openedNames, std::vector<std::string>{"COM12"});
    EXPECT_EQ(adapter.link().parity, kParityEven);
    EXPECT_EQ(adapter.link().queueSize, 512u);
    EXPECT_EQ(adapter.isOpen, 1);
    EXPECT_EQ(Error(), kBslNoError);
    EXPECT_TRUE(target.Unlocked());
    EXPECT_EQ(adapter.needPassword, 0);
    EXPECT_EQ(adapter.needIdentification, 0);
    EXPECT_EQ(adapter.loaderVersion, 0x0110u);
    EXPECT_TRUE(adapter.IsOldLoader());
    // F1 49 rows tell the F13x and F14x parts apart by fuses the loader cannot read: the
    // chip is one of five, and with none of them proposed the record holds the memory all
    // five have (the F133's), never the F149's from 0x1100.
    EXPECT_EQ(adapter.requestedDevice, 43u);
    EXPECT_EQ(adapter.candidates, (std::vector<uint32_t>{3, 4, 5, 6, 7}));
    EXPECT_EQ(adapter.identifiedDevice, 3u);
    EXPECT_EQ(record.marker, 0xAA55);
    EXPECT_EQ(record.index, 3);
    EXPECT_EQ(record.mainStart, 0xE000);
    EXPECT_EQ(record.ramEnd, 0x02FF);
}

TEST_F(BslAdapterTest, AProposedDeviceAmongTheCandidatesFillsTheRecord) {
    adapter.requestedDevice = 7;
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(record.index, 7);
    EXPECT_STREQ(record.name, "MSP430F149");
    EXPECT_EQ(record.mainStart, 0x1100);
}

TEST_F(BslAdapterNewLoaderTest, AProposalOutsideTheCandidatesIsNotTaken) {
    adapter.requestedDevice = 7;
    ASSERT_TRUE(adapter.Open());
    // The identification allows the F1232 row and the F1222 row: 4 KB is what both have.
    EXPECT_EQ(adapter.candidates.size(), 2u);
    EXPECT_STREQ(DevicePartName(adapter.identifiedDevice), "MSP430F1222");
    EXPECT_EQ(record.mainStart, 0xF000);
    EXPECT_EQ(adapter.loaderVersion, 0x0160u);
    EXPECT_FALSE(adapter.IsOldLoader());
}

// The F161x parts: their own rows, flash from 0x8000, 0x4000 or 0x2500, RAM from 0x1100.
class BslAdapterF1611Test : public BslAdapterTest {
protected:
    BslAdapterF1611Test() : BslAdapterTest("MSP430F1611") {}
};

TEST_F(BslAdapterF1611Test, TheF161xAreCandidatesOfTheirOwnAndTheNamedOneIsUsed) {
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(DeviceListText(adapter.candidates), "MSP430F1610, F1611, F1612, F169");
    EXPECT_EQ(record.mainStart, 0x8000); // every candidate has flash from there on
    adapter.Close();
    adapter.requestedDevice = 39;
    ASSERT_TRUE(adapter.Open());
    EXPECT_STREQ(record.name, "MSP430F1611");
    EXPECT_EQ(record.mainStart, 0x4000);
    EXPECT_EQ(record.ramEnd, 0x38FF);
    // A blank check of the named part's main memory reads flash, not RAM; the erase check
    // takes all of it in one frame (its length field is 16 bits).
    EXPECT_EQ(adapter.Erase(kEraseAll, record.mainStart, 0xC000), 0);
    target.ClearFrames();
    EXPECT_EQ(adapter.EraseCheck(record.mainStart, 0x10000 - record.mainStart), 0);
    EXPECT_EQ(target.FrameCount(0x1C), 1u);
}

TEST_F(BslAdapterTest, VersionBytes0110AreOldAnd0111AreNotAndTheEraseCheckComesWith150) {
    // Version 1.10 (the F149's): twenty mass-erase frames, no erase check without the patch.
    ASSERT_TRUE(adapter.Open());
    target.ClearFrames();
    EXPECT_EQ(adapter.Erase(kEraseAll, 0x1100, 0xEF00), 0);
    EXPECT_EQ(target.FrameCount(0x18), 20u);
    adapter.Close();
    // The same chip reporting 1.11: the loader is taken as new, but it has no erase check
    // either, and before 1.61 its mass erase still takes twenty frames.
    device.SetLoaderVersion(0x0111);
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(adapter.loaderVersion, 0x0111u);
    target.ClearFrames();
    EXPECT_EQ(adapter.Erase(kEraseAll, 0x1100, 0xEF00), 0);
    EXPECT_EQ(target.FrameCount(0x18), 20u);
    EXPECT_EQ(adapter.EraseCheck(0xF000, 16), 0);
    EXPECT_EQ(target.FrameCount(0x1C), 0u);
    adapter.Close();
    device.SetLoaderVersion(0x0150);
    ASSERT_TRUE(adapter.Open());
    target.ClearFrames();
    EXPECT_EQ(adapter.EraseCheck(0xF000, 16), 0);
    EXPECT_EQ(target.FrameCount(0x1C), 1u);
    EXPECT_TRUE(NotesHold(adapter.TakeNotes(), "Blank check by the loader's erase check."));
}

TEST_F(BslAdapterTest, WritesAndReadsBackThroughTheLoader) {
    ASSERT_TRUE(adapter.Open());
    target.ClearFrames();
    const Bytes data = Pattern(777, 5);
    ASSERT_EQ(adapter.WriteMemory(0xF001, data.data(), 777), 0);
    Bytes back(777, 0);
    ASSERT_EQ(adapter.ReadMemory(0xF001, back.data(), 777), 0);
    EXPECT_EQ(back, data);
    for (uint32_t i = 0; i < 777; ++i)
        ASSERT_EQ(device.Read(0xF001 + i), data[i]);
    EXPECT_EQ(device.Read(0xF000), 0xFF);
    // 0xF000-0xF309 in whole words: 250, 250, 250 and 28 bytes.
    EXPECT_EQ(target.FrameCount(0x12), 4u);
    EXPECT_EQ(test::OddFrames(target), 0u);
}

TEST_F(BslAdapterTest, FailedOpenGivesError2ANoteWithDeviceAndReasonAndSendsNothing) {
    wire.failOpen = true;
    adapter.portNumber = 4;
    EXPECT_FALSE(adapter.Open());
    EXPECT_EQ(adapter.isOpen, 0);
    EXPECT_EQ(adapter.link().lastSystemError, 2u);
    EXPECT_EQ(wire.BytesToTarget(), 0u);
    EXPECT_EQ(Error(), kBslOpenFailed);
    EXPECT_EQ(Error(), kBslNoError); // reading clears it
    EXPECT_EQ(adapter.TakeNotes(), std::vector<std::string>{"Port COM4 (loopback:COM4): no such port"});
    // A port held by another handle says so.
    wire.failOpen = false;
    auto holder = wire.Create();
    ASSERT_TRUE(holder->Open("COM4", 9600, kParityEven, 512));
    EXPECT_FALSE(adapter.Open());
    EXPECT_EQ(adapter.TakeNotes(), std::vector<std::string>{"Port COM4 (loopback:COM4): port in use"});
    // A port that opens leaves no note.
    holder->Close();
    EXPECT_TRUE(adapter.Open());
    EXPECT_TRUE(adapter.TakeNotes().empty());
}

TEST_F(BslAdapterTest, AnErasedDeviceAcceptsTheFallbackPassword) {
    adapter.password = Protect(1);
    for (uint32_t i = 0; i < 32; ++i)
        device.Poke(0xFFE0 + i, 0xFF);
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslNoError);
    EXPECT_EQ(adapter.password, kBslErasedPassword);
    EXPECT_EQ(target.FrameCount(0x10), 2u);
    EXPECT_EQ(adapter.TakeNotes(), std::vector<std::string>{"The loader took the erased-device password, not "
                                                            "the image's: the chip's vectors are erased"});
}

// The loader takes any password frame; the adapter learns from a protected command
// whether it unlocked, so that a blank chip is programmed with a file's vectors alone.
TEST_F(BslAdapterTest, ABlankChipIsProgrammedWithTheImagesPasswordAlone) {
    adapter.password = Pattern32(5);
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslNoError);
    const Bytes data = Pattern(64, 8);
    ASSERT_EQ(adapter.WriteMemory(0xF000, data.data(), 64), 0);
    EXPECT_EQ(Error(), kBslNoError);
    EXPECT_EQ(device.Read(0xF000), data[0]);
}

TEST_F(BslAdapterTest, ARefusedPasswordGivesError13AndBlocksProtectedOperations) {
    Protect(1);
    const BslPassword wrong = [] {
        BslPassword p{};
        p.fill(0x12);
        return p;
    }();
    adapter.password = wrong;
    ASSERT_TRUE(adapter.Open()); // the port is open: the outcome shows in the error only
    EXPECT_EQ(Error(), kBslPasswordRefused);
    EXPECT_EQ(target.FrameCount(0x10), 2u); // the stored one, then the erased-device one
    EXPECT_EQ(adapter.password, wrong);
    Bytes buffer(16, 0);
    EXPECT_EQ(adapter.ReadMemory(0xF000, buffer.data(), 16), -1);
    EXPECT_EQ(Error(), kBslPasswordRefused);
    const Bytes empty(1, 0);
    EXPECT_EQ(adapter.WriteMemory(0xF000, empty.data(), 1), -1);
    EXPECT_EQ(Error(), kBslPasswordRefused);
    // The way out is said once: the image the chip holds.
    const std::vector<std::string> notes = adapter.TakeNotes();
    EXPECT_EQ(
        std::count_if(notes.begin(), notes.end(),
                      [](const std::string& n) { return n.find("name the image the chip holds") != n.npos; }),
        1);
    // Nothing protected was carried out: every read and write was refused.
    for (const sim::BslFrameRecord& f : target.Frames())
        EXPECT_TRUE(f.command == 0x10 || f.answer == 0xA0) << int(f.command);
}

TEST_F(BslAdapterTest, TheRightPasswordUnlocksAProtectedDevice) {
    adapter.password = Protect(9);
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslNoError);
    EXPECT_EQ(target.FrameCount(0x10), 1u);
}

TEST_F(BslAdapterTest, OldLoaderMassErasesTwentyTimesAndLeavesTheErasedPassword) {
    adapter.password = Protect(3);
    device.Poke(0x8000, 0x00);
    ASSERT_TRUE(adapter.Open());
    ASSERT_EQ(Error(), kBslNoError);
    target.ClearFrames();
    ASSERT_EQ(adapter.Erase(kEraseAll, 0x1100, 0xEF00), 0);
    EXPECT_EQ(target.FrameCount(0x18), 20u);
    EXPECT_EQ(device.Read(0x8000), 0xFF);
    EXPECT_EQ(device.Read(0xFFE0), 0xFF);
    EXPECT_EQ(adapter.password, kBslErasedPassword);
    // The erased-device password went out at once (the ROM loader locks after the erase).
    ASSERT_EQ(target.FrameCount(0x10), 1u);
    EXPECT_TRUE(target.Unlocked());
    // A later restart needs the password again, and the stored one now fits.
    adapter.Reset(0, 0, 0);
    Bytes b(4);
    ASSERT_EQ(adapter.ReadMemory(0x8000, b.data(), 4), 0);
    EXPECT_EQ(Error(), kBslNoError);
    EXPECT_EQ(b, Bytes(4, 0xFF));
}

// Only from 1.61 on is one mass-erase frame documented to erase completely: a 1.60 loader
// is left with flash still programmed after one, and gets the old loaders' twenty.
TEST_F(BslAdapterNewLoaderTest, Loaders160AndEarlierMassEraseTwentyTimesAnd161Once) {
    device.Poke(0xE000, 0x00);
    ASSERT_TRUE(adapter.Open());
    target.ClearFrames();
    ASSERT_EQ(adapter.Erase(kEraseAll, 0xE000, 0x2000), 0);
    EXPECT_EQ(target.FrameCount(0x18), 20u);
    EXPECT_EQ(device.Read(0xE000), 0xFF);
    adapter.Close();
    device.SetLoaderVersion(0x0161);
    device.Poke(0xE000, 0x00);
    ASSERT_TRUE(adapter.Open());
    target.ClearFrames();
    ASSERT_EQ(adapter.Erase(kEraseAll, 0xE000, 0x2000), 0);
    EXPECT_EQ(target.FrameCount(0x18), 1u);
    EXPECT_EQ(device.Read(0xE000), 0xFF);
    adapter.Reset(0, 0, 0); // version unknown until the next identification
    target.ClearFrames();
    ASSERT_EQ(adapter.Erase(kEraseAll, 0xE000, 0x2000), 0);
    EXPECT_EQ(target.FrameCount(0x18), 20u);
}

// Protecting the information memory never mass erases: main memory alone is erased, and
// every information byte stays as it was, on a new loader and on an old one.
TEST_F(BslAdapterNewLoaderTest, EraseWithTheInformationMemoryProtectedKeepsEveryInformationByte) {
    const Bytes info = Pattern(256, 4);
    for (uint32_t i = 0; i < 256; ++i)
        device.Poke(0x1000 + i, info[i]);
    device.Poke(0xE000, 0x00);
    adapter.password = [this] {
        BslPassword p{};
        for (uint32_t i = 0; i < 32; ++i)
            p[i] = device.Read(0xFFE0 + i);
        return p;
    }();
    ASSERT_TRUE(adapter.Open());
    target.ClearFrames();
    ASSERT_EQ(adapter.Erase(kEraseMain, 0xE000, 0x2000), 0);
    EXPECT_EQ(target.FrameCount(0x18), 0u);
    // Each frame of the main-memory key is one erase pulse, on this 1.60 loader too.
    EXPECT_EQ(target.FrameCount(0x16), 20u);
    EXPECT_EQ(device.Read(0xE000), 0xFF);
    for (uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(device.Read(0x1000 + i), info[i]) << i;
    EXPECT_EQ(adapter.password, kBslErasedPassword);
}

TEST_F(BslAdapterTest, AnOldLoaderErasesMainMemoryOverTwentyFramesAndKeepsInformation) {
    device.Poke(0x1000, 0x12);
    device.Poke(0x8000, 0x00);
    ASSERT_TRUE(adapter.Open());
    target.ClearFrames();
    // Asked at 0x1100 (the F149's main memory, RAM on an F133): sent where every part the
    // chip may be has flash, since an address outside flash is acknowledged and erases
    // nothing.
    ASSERT_EQ(adapter.Erase(kEraseMain, 0x1100, 0xEF00), 0);
    EXPECT_EQ(target.FrameCount(0x16), 20u);
    for (const sim::BslFrameRecord& frame : target.Frames())
        EXPECT_EQ(frame.command == 0x16 ? frame.address : 0xE000, 0xE000);
    EXPECT_EQ(device.Read(0x8000), 0xFF);
    EXPECT_EQ(device.Read(0x1000), 0x12);
    // Without the patch the guide's warning goes with it, naming the file the guide means.
    const std::vector<std::string> notes = adapter.TakeNotes();
    EXPECT_TRUE(NotesHold(notes, "Warning: loader 1.10 runs without the chip vendor's patch"));
    EXPECT_TRUE(NotesHold(notes, "Put the vendor's PATCH.TXT from the loader guide's files (not the loadable "
                                 "loader BL_150S_14x.txt) as bslpatch.txt"));
}

TEST_F(BslAdapterTest, AChipWithAnUnknownPasswordIsNotErasedWhenInformationIsProtected) {
    Protect(6);
    device.Poke(0x1000, 0x12);
    device.Poke(0x8000, 0x00);
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslPasswordRefused);
    EXPECT_EQ(adapter.Erase(kEraseMain, 0x1100, 0xEF00), -1);
    EXPECT_EQ(Error(), kBslPasswordRefused);
    EXPECT_EQ(target.FrameCount(0x18), 0u);
    EXPECT_EQ(device.Read(0x8000), 0x00);
    EXPECT_EQ(device.Read(0x1000), 0x12);
}

TEST_F(BslAdapterNewLoaderTest, SegmentModeErasesTheOneSegmentAtTheAddress) {
    ASSERT_TRUE(adapter.Open());
    device.Poke(0x1000, 0x00);
    device.Poke(0x1080, 0x00);
    device.Poke(0xE000, 0x00);
    target.ClearFrames();
    ASSERT_EQ(adapter.Erase(kEraseSegment, 0x1000, 128), 0);
    // The 1.60 loader refuses the erase, its check spanning the other information segment
    // too; the segment alone is then checked.
    ASSERT_EQ(target.Frames().size(), 2u);
    EXPECT_EQ(target.Frames()[0].command, 0x16);
    EXPECT_EQ(target.Frames()[0].address, 0x1000);
    EXPECT_EQ(target.Frames()[0].length, 0xA502);
    EXPECT_EQ(target.Frames()[0].answer, 0xA0);
    EXPECT_EQ(target.Frames()[1].command, 0x1C);
    EXPECT_EQ(target.Frames()[1].address, 0x1000);
    EXPECT_EQ(target.Frames()[1].length, 128);
    EXPECT_EQ(Error(), 0);
    EXPECT_EQ(device.Read(0x1000), 0xFF);
    EXPECT_EQ(device.Read(0x1080), 0x00);
    EXPECT_EQ(device.Read(0xE000), 0x00);
    // A main-memory segment takes one frame; a segment that stays unerased still fails.
    target.ClearFrames();
    ASSERT_EQ(adapter.Erase(kEraseSegment, 0xE000, 512), 0);
    EXPECT_EQ(target.Frames().size(), 1u);
    device.SetStuckBits(0x1010, 0x01, 0x00);
    EXPECT_EQ(adapter.Erase(kEraseSegment, 0x1000, 128), -1);
    EXPECT_EQ(Error(), 7); // the erase check's refusal
}

// Loaders without the erase check (1.10 unpatched, 1.30, 1.40) are checked by reading back.
TEST_F(BslAdapterTest, ALoaderWithoutEraseCheckIsBlankCheckedByReadingBack) {
    ASSERT_TRUE(adapter.Open());
    adapter.TakeNotes();
    EXPECT_EQ(adapter.EraseCheck(0xF000, 0x100), 0);
    EXPECT_EQ(target.FrameCount(0x1C), 0u);
    EXPECT_TRUE(NotesHold(adapter.TakeNotes(), "Blank check by reading back (loader 1.10 has no erase "
                                               "check without the patch"));
    device.Poke(0xF0FF, 0x7F);
    EXPECT_EQ(adapter.EraseCheck(0xF000, 0x100), -1);
    EXPECT_EQ(Error(), kBslNakReceived);
    EXPECT_TRUE(NotesHold(adapter.TakeNotes(), "Not blank at 0xF0FF (0x7F)."));
}

TEST_F(BslAdapterF44xTest, AnErasedF44xPassesItsBlankCheck) {
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(adapter.loaderVersion, 0x0140u);
    EXPECT_EQ(adapter.Erase(kEraseAll, 0x1100, 0xEF00), 0);
    EXPECT_EQ(adapter.EraseCheck(0x1000, 0x100), 0);
    EXPECT_EQ(adapter.EraseCheck(0x1100, 0xEF00), 0);
    EXPECT_EQ(target.FrameCount(0x1C), 0u);
}

TEST_F(BslAdapterTest, ResetReturnsToLockedAndUnidentified) {
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(adapter.Reset(7, 1, 1), 0); // into the target's own program
    EXPECT_EQ(target.Mode(), sim::BslTargetMode::UserProgram);
    EXPECT_EQ(adapter.needPassword, 1);
    EXPECT_EQ(adapter.needIdentification, 1);
    EXPECT_EQ(adapter.loaderVersion, 0u);
    Bytes b(2);
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 2), -1);
    EXPECT_EQ(Error(), kBslSyncFailed);   // the program does not answer
    EXPECT_EQ(adapter.Reset(0, 0, 0), 0); // back into the loader
    EXPECT_EQ(target.Mode(), sim::BslTargetMode::Loader);
    EXPECT_FALSE(target.Unlocked());
    target.ClearFrames();
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 2), 0);
    EXPECT_EQ(target.FrameCount(0x10), 1u); // unlocked again
    EXPECT_EQ(target.FrameCount(0x14), 3u); // the unlock confirmed, identified again, then read
    EXPECT_EQ(adapter.loaderVersion, 0x0110u);
}

// The station loop's look for a board: the loader answers its synchronisation, and no
// password reaches it (a wrong one erases some chips); a silent target is no board.
TEST_F(BslAdapterTest, AnswersSynchronisesOnlyAndClosesThePort) {
    target.ClearFrames();
    EXPECT_TRUE(adapter.Answers());
    EXPECT_FALSE(wire.PortOpen());
    EXPECT_EQ(target.Frames().size(), 0u); // no frame at all, only the sync byte
    EXPECT_FALSE(target.Unlocked());
    target.SetSilent(true);
    EXPECT_FALSE(adapter.Answers());
    EXPECT_FALSE(wire.PortOpen());
    target.SetSilent(false);
    wire.failOpen = true; // no such port
    EXPECT_FALSE(adapter.Answers());
}

// A target that answers nothing (no cable, no power, the lines wired otherwise) ends the
// open at once with the port and the likely causes, instead of a device that is not there.
TEST_F(BslAdapterTest, NoChipAnsweringFailsTheOpenNamingThePortAndCauses) {
    target.SetSilent(true);
    adapter.portNumber = 4;
    EXPECT_FALSE(adapter.Open());
    EXPECT_EQ(adapter.isOpen, 0);
    EXPECT_EQ(Error(), kBslSyncFailed);
    EXPECT_FALSE(wire.PortOpen());
    EXPECT_TRUE(NotesHold(adapter.TakeNotes(),
                          "No chip answers on COM4: check the cable, the target's power and "
                          "its reset and test wiring"));
    // Within the ten synchronisation attempts of one frame.
    EXPECT_LT(clock.Nanoseconds(), 3000000000ull);
}

// A USB serial adapter pulled out mid-run: the failure says the port is gone, at once,
// instead of waiting out the time-outs of a silent chip.
TEST_F(BslAdapterTest, APortThatGoesAwayIsReportedAsGone) {
    ASSERT_TRUE(adapter.Open());
    Error();
    adapter.TakeNotes();
    wire.unplugged = true;
    const uint64_t start = clock.Nanoseconds();
    Bytes b(16);
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 16), -1);
    EXPECT_LT(clock.Nanoseconds() - start, 100000000ull);
    EXPECT_EQ(Error(), kBslUnspecific);
    EXPECT_TRUE(NotesHold(adapter.TakeNotes(), "Port COM1 is gone"));
}

TEST_F(BslAdapterTest, CloseReportsError9WhenThePortWillNotClose) {
    ASSERT_TRUE(adapter.Open());
    EXPECT_TRUE(adapter.Close());
    EXPECT_EQ(Error(), kBslNoError);
    EXPECT_EQ(adapter.isOpen, 0);
    ASSERT_TRUE(adapter.Open());
    wire.failClose = true;
    EXPECT_FALSE(adapter.Close());
    EXPECT_EQ(adapter.isOpen, 0);
    EXPECT_EQ(Error(), kBslCloseFailed);
    EXPECT_FALSE(wire.PortOpen());
}

TEST_F(BslAdapterTest, VerifyAndTheOneWireHookAreNotAvailable) {
    ASSERT_TRUE(adapter.Open());
    const uint64_t sent = wire.BytesToTarget();
    uint8_t b[2] = {};
    EXPECT_EQ(adapter.VerifyMemory(0xF000, b, 2), -1);
    EXPECT_EQ(Error(), kBslNotImplemented);
    EXPECT_EQ(adapter.DebugOneWire(), -1);
    EXPECT_EQ(Error(), kBslNotImplemented);
    EXPECT_EQ(wire.BytesToTarget(), sent);
    EXPECT_STREQ(adapter.GetErrorText(10), "This function not implemented");
}

// Each remaining error number, provoked through the loader or the wire.
TEST_F(BslAdapterTest, WireAndLoaderFaultsGiveTheirErrorNumbers) {
    ASSERT_TRUE(adapter.Open());
    ASSERT_EQ(Error(), kBslNoError);
    Bytes b(40, 0);

    // 3: a target that answers nothing.
    target.SetSilent(true);
    const uint64_t t0 = clock.Milliseconds();
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 40), -1);
    EXPECT_EQ(Error(), kBslSyncFailed);
    EXPECT_GE(clock.Milliseconds() - t0, 1000u);
    target.SetSilent(false);

    // 4: the frame's answer is lost after the sync answer got through.
    OnAnswerBytes(1, [](uint64_t, uint8_t) { return BslWireAction{true, 0, 0}; });
    const uint64_t t1 = clock.Milliseconds();
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 40), -1);
    EXPECT_EQ(Error(), kBslHeaderTimeout);
    EXPECT_GE(clock.Milliseconds() - t1, 3000u);

    // 5: a byte of the data frame is lost.
    OnAnswerBytes(1, [](uint64_t i, uint8_t) { return BslWireAction{i == 10, 0, 0}; });
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 40), -1);
    EXPECT_EQ(Error(), kBslFrameTimeout);

    // 5 as well: the data frame comes too late.
    OnAnswerBytes(1, [](uint64_t i, uint8_t) { return BslWireAction{false, 0, i == 3 ? 600000000u : 0u}; });
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 40), -1);
    EXPECT_EQ(Error(), kBslFrameTimeout);

    // 6: a data byte corrupted, then the second length byte corrupted.
    OnAnswerBytes(1, [](uint64_t i, uint8_t) {
        return BslWireAction{false, uint8_t(i == 20 ? 0x04 : 0), 0};
    });
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 40), -1);
    EXPECT_EQ(Error(), kBslBadChecksum);
    OnAnswerBytes(1, [](uint64_t i, uint8_t) { return BslWireAction{false, uint8_t(i == 3 ? 0x01 : 0), 0}; });
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 40), -1);
    EXPECT_EQ(Error(), kBslBadChecksum);

    // 7: a refusal in the middle of a write frame; sending stops there.
    Settle();
    target.RefuseNextFrame(0x12, 20);
    const uint64_t sentBefore = wire.BytesToTarget();
    EXPECT_EQ(adapter.WriteMemory(0xF000, b.data(), 40), -1);
    EXPECT_EQ(Error(), kBslNakReceived);
    EXPECT_LT(wire.BytesToTarget() - sentBefore, 1u + 50u);
    // 7 as well: a byte corrupted on its way to the chip fails the frame check.
    const uint64_t toTarget = wire.BytesToTarget() + 15;
    wire.SetWireFault([toTarget](BslWireDirection d, uint64_t i, uint8_t) {
        return BslWireAction{false, uint8_t(d == BslWireDirection::ToTarget && i == toTarget ? 0x10 : 0), 0};
    });
    EXPECT_EQ(adapter.WriteMemory(0xF000, b.data(), 40), -1);
    EXPECT_EQ(Error(), kBslNakReceived);
    EXPECT_EQ(device.Read(0xF000), 0xFF);
    wire.SetWireFault(nullptr);

    // An old loader asked for an erase check it does not know refuses it as a locked one.
    Settle();
    EXPECT_FALSE(adapter.protocol().SendCommand(kBslEraseCheck, 0xF000, 16, nullptr, nullptr));
    EXPECT_EQ(Error(), kBslNakReceived);
    // 8: the answer "command failed".
    target.SetAnswerOverride(0x14, 0x70);
    EXPECT_FALSE(adapter.protocol().SendCommand(kBslTxDataBlock, 0xF000, 2, nullptr, nullptr));
    EXPECT_EQ(Error(), kBslCommandFailed);
    target.SetAnswerOverride(0x14, 0);

    // 1: an answer byte the loader never sends.
    OnAnswerBytes(1, [](uint64_t i, uint8_t) { return BslWireAction{false, uint8_t(i == 0 ? 0x05 : 0), 0}; });
    EXPECT_EQ(adapter.WriteMemory(0xF000, b.data(), 2), -1);
    EXPECT_EQ(Error(), kBslUnspecific);
    wire.SetWireFault(nullptr);

    // And the link recovers: the next operation works.
    Settle();
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 40), 0);
    EXPECT_EQ(Error(), kBslNoError);
}

// With whole-word frames the checksum covers every byte: damage to the last byte of an
// odd transfer is refused by the chip on the way in and caught by the host on the way out.
TEST_F(BslAdapterTest, DamageToTheLastByteOfAnOddTransferIsCaught) {
    ASSERT_TRUE(adapter.Open());
    ASSERT_EQ(Error(), kBslNoError);
    const Bytes data = {0x12, 0x34, 0x56};
    // Sync byte, eight head bytes, then the data: the third data byte is damaged. (The
    // write of an odd count first reads the word it covers in part: sync, ten bytes.)
    Settle();
    const uint64_t lastDataByte = wire.BytesToTarget() + 11 + 1 + 8 + 2;
    wire.SetWireFault([lastDataByte](BslWireDirection d, uint64_t i, uint8_t) {
        return BslWireAction{false, uint8_t(d == BslWireDirection::ToTarget && i == lastDataByte ? 0x01 : 0),
                             0};
    });
    EXPECT_EQ(adapter.WriteMemory(0xF000, data.data(), 3), -1);
    EXPECT_EQ(Error(), kBslNakReceived);
    EXPECT_EQ(device.Read(0xF002), 0xFF); // the chip took nothing
    Settle();
    EXPECT_EQ(adapter.WriteMemory(0xF010, data.data(), 3), 0);
    EXPECT_EQ(device.Read(0xF012), 0x56);
    EXPECT_EQ(device.Read(0xF013), 0xFF);

    // Sync answer, four head bytes, then the data: the third data byte is damaged.
    OnAnswerBytes(1, [](uint64_t i, uint8_t) {
        return BslWireAction{false, uint8_t(i == 4 + 2 ? 0x80 : 0), 0};
    });
    Bytes back(3, 0);
    EXPECT_EQ(adapter.ReadMemory(0xF010, back.data(), 3), -1);
    EXPECT_EQ(Error(), kBslBadChecksum);
    Settle();
    EXPECT_EQ(adapter.ReadMemory(0xF010, back.data(), 3), 0);
    EXPECT_EQ(back, data);
    EXPECT_EQ(test::OddFrames(target), 0u);
}

// A noisy line never passes wrong flash as good: every run either programs and reads
// back the right bytes, or an operation reports a failure. The read-back buffer starts
// out holding the expected bytes, so a read that claims success without delivering its
// data would show up as a false pass.
TEST(BslNoisyLink, NoRunReportsSuccessOverWrongFlash) {
    const Bytes image = Pattern(1201, 77); // odd: the last frame carries an odd byte count
    int verified = 0;
    int failed = 0;
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        sim::DeviceModel device("MSP430F169");
        // Old contents that the erase must remove.
        for (uint32_t i = 0; i < image.size(); ++i)
            device.Poke(0xC000 + i, uint8_t(~image[i]));
        sim::BslTarget target(device);
        VirtualClock clock;
        sim::BslLoopback wire(target, clock);
        wire.SetNoise(seed, 400, 100);
        BslAdapter adapter(wire, clock);
        DeviceRecord record{};
        adapter.deviceRecord = &record;

        bool ok = adapter.Open() && adapter.GetErrorNumber() == kBslNoError;
        ok = ok && adapter.Erase(kEraseMain, 0x1100, 0xEF00) == 0;
        ok = ok && adapter.EraseCheck(0xC000, uint32_t(image.size())) == 0;
        ok = ok && adapter.WriteMemory(0xC000, image.data(), uint32_t(image.size())) == 0;
        if (ok) {
            // A write that reports success has put the right bytes into flash.
            for (uint32_t i = 0; i < image.size(); ++i)
                ASSERT_EQ(device.Read(0xC000 + i), image[i]) << "seed " << seed << " address " << i;
        }
        Bytes back = image;
        ok = ok && adapter.ReadMemory(0xC000, back.data(), uint32_t(back.size())) == 0;
        ok = ok && back == image;
        if (ok) {
            ++verified;
            for (uint32_t i = 0; i < image.size(); ++i)
                ASSERT_EQ(device.Read(0xC000 + i), image[i]) << "seed " << seed << " address " << i;
        } else {
            ++failed;
        }
        adapter.Close();
    }
    RecordProperty("verified", verified);
    RecordProperty("failed", failed);
    // The noise level gives both outcomes, so both paths were exercised.
    EXPECT_GT(verified, 10);
    EXPECT_GT(failed, 10);
}

TEST_F(BslAdapterTest, AVerboseRunNotesTheLoaderAndEachSyncRetry) {
    // Not verbose: none of it.
    ASSERT_TRUE(adapter.Open());
    EXPECT_TRUE(adapter.TakeNotes().empty());
    adapter.verboseNotes = true;
    ASSERT_EQ(adapter.Reset(0, 0, 0), 0);
    Bytes b(2);
    ASSERT_EQ(adapter.ReadMemory(0xF000, b.data(), 2), 0);
    const std::vector<std::string> identified = adapter.TakeNotes();
    ASSERT_EQ(identified.size(), 1u);
    EXPECT_EQ(identified[0],
              "Loader version 1.10, identification 0xF1, one of MSP430F133, F135, F147, F148, F149");
    // A silent target: all ten attempts are told.
    target.SetSilent(true);
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 2), -1);
    const std::vector<std::string> retries = adapter.TakeNotes();
    ASSERT_EQ(retries.size(), 10u);
    EXPECT_EQ(retries.front(), "Sync attempt 1 of 10 got no acknowledgement");
    EXPECT_EQ(retries.back(), "Sync attempt 10 of 10 got no acknowledgement");
}

} // namespace
} // namespace pyrola
