// Images whose runs start or end at odd addresses, programmed and verified through the
// job engine over the simulated loader, which takes data frames only word-aligned: the
// flash ends up byte-exact, the bytes around the runs are untouched, and no odd frame
// reaches the chip. Both a loader that verifies what it programs and one that does not.

#include "adapters/DeviceTable.h"
#include "image/MemoryImage.h"
#include "jobs/JobEngine.h"
#include "jobs/JobFlags.h"
#include "tests/bsl/BslAdapterFixture.h"
#include "tests/support/RecordingBus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pyrola {
namespace {

using test::BslAdapterNewLoaderTest;
using test::BslAdapterTest;

struct ImageRun {
    uint32_t first;
    uint32_t count;
};

class BslAlignedImageTest : public ::testing::TestWithParam<const char*> {
protected:
    BslAlignedImageTest()
        : device(GetParam()), target(device), wire(target, clock), adapter(wire, clock),
          engine(&bus, &image) {
        image.Clear();
        engine.SetAdapter(&adapter);
        // The part is named, as --device does: the loader alone cannot tell it from the
        // smaller parts that share its identification.
        for (uint32_t row = 1; row < kDeviceCount; ++row) {
            if (std::string(DeviceName(row)) == GetParam()) {
                engine.SetDeviceIndex(row);
                break;
            }
        }
    }

    bool RunList(uint32_t flags) {
        engine.SetFlags(flags);
        auto event = engine.HoldCancelEvent();
        engine.Run();
        const auto log = bus.LogLines();
        return std::find(log.begin(), log.end(), "Verify complete.") != log.end();
    }

    sim::DeviceModel device;
    sim::BslTarget target;
    VirtualClock clock;
    sim::BslLoopback wire;
    BslAdapter adapter;
    test::RecordingBus bus;
    MemoryImage image;
    JobEngine engine;
};

TEST_P(BslAlignedImageTest, OddRunsAreProgrammedByteExactInWholeWordFrames) {
    const bool f149 = std::string(GetParam()) == "MSP430F149";
    const uint32_t main = f149 ? 0x1100 : 0xE000;
    // A single byte at an odd and at an even address, odd starts with odd and even
    // lengths, a run longer than the jobs' 1000-byte pieces starting odd (each piece then
    // starts odd next to bytes the previous one programmed), a byte of information memory
    // and a run that ends at the top of memory.
    const std::vector<ImageRun> runs = {{main + 0x001, 1}, {main + 0x100, 1},    {main + 0x201, 3},
                                        {main + 0x301, 4}, {main + 0x401, 2501}, {0x1001, 1},
                                        {0xFFE1, 31}};
    uint32_t seed = 99;
    for (const ImageRun& run : runs) {
        const test::Bytes bytes = test::Pattern(run.count, seed++);
        for (uint32_t i = 0; i < run.count; ++i)
            image.StoreByte(run.first + i, bytes[i]);
    }
    // Old flash content that the erase removes; the runs' neighbours must read erased.
    for (uint32_t a = main; a < 0x10000; a += 97)
        device.Poke(a, 0x00);

    ASSERT_TRUE(RunList(kJobErase | kJobProgram | kJobVerify)) << ::testing::PrintToString(bus.LogLines());
    for (uint32_t a = 0x1000; a < 0x10000; ++a) {
        if (a >= 0x1100 && a < main)
            continue;
        const uint8_t expected = image.IsPresent(a) ? image.ValueAt(a) : 0xFF;
        ASSERT_EQ(device.Read(a), expected) << std::hex << "at 0x" << a;
    }
    EXPECT_EQ(test::OddFrames(target), 0u);
    // No word of flash was programmed twice, not even where the jobs' pieces meet.
    std::vector<int> writes(0x10000 / 2, 0);
    for (const sim::BslFrameRecord& f : target.Frames()) {
        if (f.command == 0x12 && f.address >= 0x1000) {
            for (uint32_t a = f.address; a < uint32_t(f.address) + f.length; a += 2)
                ++writes[a / 2];
        }
    }
    EXPECT_EQ(*std::max_element(writes.begin(), writes.end()), 1);
    // Verify reads no word twice either: the pieces of a long run meet at a word boundary
    // instead of each reading the word it ends in.
    target.ClearFrames();
    for (uint32_t i = 0; i < adapter.password.size(); ++i)
        adapter.password[i] = device.Read(0xFFE0 + i); // the image's vectors now protect it
    RunList(kJobVerify);
    ASSERT_EQ(bus.LogLines().back(), "Verify complete.") << ::testing::PrintToString(bus.LogLines());
    std::vector<int> reads(0x10000 / 2, 0);
    for (const sim::BslFrameRecord& f : target.Frames()) {
        if (f.command == 0x14 && f.address >= 0x1000) {
            for (uint32_t a = f.address; a < uint32_t(f.address) + f.length; a += 2)
                ++reads[a / 2];
        }
    }
    const auto most = std::max_element(reads.begin(), reads.end());
    EXPECT_EQ(*most, 1) << std::hex << "word at 0x" << 2 * (most - reads.begin());
    EXPECT_EQ(
        std::count_if(target.Frames().begin(), target.Frames().end(),
                      [](const sim::BslFrameRecord& f) { return f.command == 0x12 && f.answer != 0x90; }),
        0);
}

INSTANTIATE_TEST_SUITE_P(Loaders, BslAlignedImageTest,
                         ::testing::Values("MSP430F149",         // version 1.10: no read-back
                                           "MSP430F12x2/F11x2"), // version 1.60: verifies each byte
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(7, 4); // F149, F12x
                         });

// RAM next to an odd transfer keeps its bytes: the word shared with them is read and
// written back, not padded.
TEST_F(BslAdapterTest, AnOddWriteToRamKeepsTheNeighbouringBytes) {
    ASSERT_TRUE(adapter.Open());
    device.Poke(0x0300, 0x5A);
    device.Poke(0x0304, 0xA5);
    const test::Bytes data = {1, 2, 3};
    ASSERT_EQ(adapter.WriteMemory(0x0301, data.data(), 3), 0);
    EXPECT_EQ(device.Read(0x0300), 0x5A);
    EXPECT_EQ(device.Read(0x0301), 1);
    EXPECT_EQ(device.Read(0x0303), 3);
    EXPECT_EQ(device.Read(0x0304), 0xA5);
    EXPECT_EQ(test::OddFrames(target), 0u);
}

TEST_F(BslAdapterNewLoaderTest, ABlankCheckOfAnOddRangeIgnoresProgrammedNeighbours) {
    ASSERT_TRUE(adapter.Open());
    device.Poke(0xE000, 0x00);
    device.Poke(0xE00A, 0x00);
    EXPECT_EQ(adapter.EraseCheck(0xE001, 9), 0);
    device.Poke(0xE009, 0x7F);
    EXPECT_EQ(adapter.EraseCheck(0xE001, 9), -1);
    EXPECT_EQ(Error(), kBslNakReceived);
    EXPECT_EQ(test::OddFrames(target), 0u);
}

} // namespace
} // namespace pyrola
