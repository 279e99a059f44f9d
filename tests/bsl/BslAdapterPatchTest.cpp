// The loader patch for old (1.10) loaders: only the vendor's patch from bslpatch.txt
// counts as running; without it the loader is driven as the unpatched ROM loader it is,
// and each refusal says where the patch file was looked for.

#include "tests/bsl/BslAdapterFixture.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <cstdio>
#include <fstream>
#include <string>

namespace pyrola {
namespace {

using test::BslAdapterF11x1Test;
using test::BslAdapterTest;
using test::Bytes;
using test::NotesHold;

std::string MissingPatchPath() {
    return std::string(PYROLA_BINARY_DIR) + "/no-such-folder/bslpatch.txt";
}

TEST_F(BslAdapterTest, WithoutAPatchFileTheOldLoaderStaysUnpatched) {
    adapter.patchEnabled = 1;
    adapter.patchFilePath = MissingPatchPath();
    adapter.password = Protect(3);
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslNoError); // nothing to load is no failure
    EXPECT_EQ(adapter.patchStart, 0u);
    EXPECT_FALSE(target.PatchRunning());
    EXPECT_EQ(target.FrameCount(0x1A), 0u); // nothing started
    EXPECT_EQ(target.FrameCount(0x12), 0u); // nothing written to RAM
    EXPECT_TRUE(adapter.TakeNotes().empty());

    // The blank check reads the flash back, and the note says so and names the file.
    EXPECT_EQ(adapter.EraseCheck(0x1100, 0xEE00), 0); // all but the vectors, which protect it
    EXPECT_EQ(Error(), kBslNoError);
    const auto notes = adapter.TakeNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("by reading back"), std::string::npos) << notes[0];
    EXPECT_NE(notes[0].find("no patch file " + MissingPatchPath()), std::string::npos) << notes[0];
    EXPECT_EQ(target.FrameCount(0x1C), 0u);

    // The mass erase of the unpatched ROM loader: 20 frames, then the password again.
    target.ClearFrames();
    ASSERT_EQ(adapter.Erase(kEraseAll, 0x1100, 0xEF00), 0);
    EXPECT_EQ(target.FrameCount(0x18), 20u);
    EXPECT_EQ(target.FrameCount(0x10), 1u);
    EXPECT_TRUE(target.Unlocked());
    EXPECT_EQ(device.Read(0xFFE0), 0xFF);
}

TEST_F(BslAdapterTest, WithThePatchSwitchedOffTheRefusalNamesTheSetting) {
    adapter.patchEnabled = 0;
    InstallWorkingPatch();
    adapter.patchEnabled = 0;
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(target.FrameCount(0x1A), 0u);
    EXPECT_EQ(adapter.EraseCheck(0xF000, 16), 0);
    EXPECT_EQ(target.FrameCount(0x1C), 0u);
    const auto notes = adapter.TakeNotes();
    EXPECT_TRUE(NotesHold(notes, "\"BslPatch\" setting is off"));
    EXPECT_TRUE(NotesHold(notes, adapter.patchFilePath));
}

TEST_F(BslAdapterTest, TheWorkingPatchRunsChecksBlanknessAndErasesInOneFrame) {
    const std::string path = InstallWorkingPatch();
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslNoError);
    EXPECT_EQ(adapter.patchStart, 0x0224u);
    EXPECT_TRUE(target.PatchRunning());
    const Bytes patch = test::WorkingPatchBytes();
    for (uint32_t i = 0; i < patch.size(); ++i)
        ASSERT_EQ(device.Read(0x0220 + i), patch[i]);
    EXPECT_EQ(test::OddFrames(target), 0u); // the odd-sized patch went out in whole words
    EXPECT_TRUE(adapter.TakeNotes().empty());

    target.ClearFrames();
    EXPECT_EQ(adapter.EraseCheck(0x1100, 0xEF00), 0);
    EXPECT_EQ(target.FrameCount(0x1C), 1u); // 0xEF00 bytes: the 16-bit length field takes them all
    device.Poke(0xFFFF, 0xFE);
    EXPECT_EQ(adapter.EraseCheck(0x1100, 0xEF00), -1);
    EXPECT_EQ(Error(), kBslNakReceived);
    target.ClearFrames();
    ASSERT_EQ(adapter.Erase(kEraseAll, 0x1100, 0xEF00), 0);
    EXPECT_EQ(target.FrameCount(0x18), 1u);
    EXPECT_EQ(target.FrameCount(0x10), 0u); // the patch keeps the loader open
    EXPECT_EQ(adapter.EraseCheck(0x1100, 0xEF00), 0);
    std::remove(path.c_str());
}

// Code that branches straight back into the loader, as a placeholder would: loaded and
// started, it patches nothing, and the chip does not count it.
TEST_F(BslAdapterTest, APatchFileThatIsNotTheWorkingPatchPatchesNothing) {
    const std::string path = InstallWorkingPatch();
    Bytes placeholder = {0x24, 0x02, 0xAA, 0xBB, 0x30, 0x40, 0x22, 0x0C}; // MOV #0x0C22,PC
    test::WritePatchFile(path, placeholder);
    ASSERT_TRUE(adapter.Open());
    EXPECT_FALSE(target.PatchRunning());
    EXPECT_EQ(device.Read(0x0222), 0xAA);
    // Started where the loader is not, the chip no longer answers; nothing passes as blank.
    EXPECT_NE(adapter.EraseCheck(0xF000, 2), 0);
    EXPECT_EQ(Error(), kBslSyncFailed);
    std::remove(path.c_str());
}

TEST_F(BslAdapterTest, AnUnusablePatchFileFailsWithError11AndSaysWhy) {
    const std::string path = InstallWorkingPatch();
    {
        std::ofstream f(path);
        f << "@0300\n01 02\nq\n";
    }
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslPatchFailed);
    EXPECT_EQ(adapter.patchStart, 0u);
    EXPECT_EQ(target.FrameCount(0x12), 0u); // not replaced by anything else
    auto notes = adapter.TakeNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find(path), std::string::npos);
    EXPECT_NE(notes[0].find("data does not start at 0x0220"), std::string::npos) << notes[0];
    EXPECT_EQ(adapter.EraseCheck(0xF000, 2), 0);
    EXPECT_EQ(target.FrameCount(0x1C), 0u);
    notes = adapter.TakeNotes();
    EXPECT_TRUE(NotesHold(notes, "is not usable: data does not start at 0x0220"));
    std::remove(path.c_str());
}

#if !defined(_WIN32)
TEST_F(BslAdapterTest, APatchFileThatIsAFifoIsRefusedWithoutWaitingForAWriter) {
    const std::string path = InstallWorkingPatch();
    std::remove(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    ASSERT_TRUE(adapter.Open()); // returns at once: nothing opens the FIFO
    EXPECT_EQ(Error(), kBslPatchFailed);
    EXPECT_TRUE(NotesHold(adapter.TakeNotes(), "Not a regular file"));
    std::remove(path.c_str());
}
#endif

TEST_F(BslAdapterTest, PatchReadBackMismatchGivesError11AndNoPatch) {
    const std::string path = InstallWorkingPatch();
    device.SetStuckBits(0x0240, 0x80, 0x80);
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslPatchFailed);
    EXPECT_EQ(adapter.patchStart, 0u);
    EXPECT_FALSE(target.PatchRunning());
    EXPECT_TRUE(NotesHold(adapter.TakeNotes(), "reads back changed"));
    EXPECT_EQ(adapter.EraseCheck(0xF000, 16), 0);
    EXPECT_EQ(target.FrameCount(0x1C), 0u);
    std::remove(path.c_str());
}

TEST_F(BslAdapterTest, APatchLostOnResetIsLoadedAgainAtTheNextIdentification) {
    const std::string path = InstallWorkingPatch();
    ASSERT_TRUE(adapter.Open());
    ASSERT_TRUE(target.PatchRunning());
    adapter.Reset(0, 0, 0);
    EXPECT_EQ(adapter.patchStart, 0u);
    EXPECT_FALSE(target.PatchRunning());
    EXPECT_EQ(adapter.EraseCheck(0xF000, 16), 0);
    EXPECT_TRUE(target.PatchRunning());
    std::remove(path.c_str());
}

// The patch must fit the RAM of the chip it goes into: an F11x1 may be an F1101 with 128
// bytes of it, as far as the loader can tell.
TEST_F(BslAdapterF11x1Test, APatchLargerThanTheChipsRamIsRefusedBeforeAnythingIsWritten) {
    test::Bytes patch = test::WorkingPatchBytes();
    patch.resize(300, 0x03);
    const std::string path = std::string(PYROLA_BINARY_DIR) + "/bsl_test_large_patch.txt";
    test::WritePatchFile(path, patch);
    target.SetWorkingPatch(patch);
    adapter.patchEnabled = 1;
    adapter.patchFilePath = path;
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(record.ramEnd, 0x027F);
    EXPECT_EQ(Error(), kBslPatchFailed);
    EXPECT_EQ(target.FrameCount(0x12), 0u);
    EXPECT_TRUE(
        test::NotesHold(adapter.TakeNotes(), "(300 bytes) does not fit the chip's RAM (0x0220-0x027F)"));
    std::remove(path.c_str());
}

} // namespace
} // namespace pyrola
