// Job lists run by the engine through the RAW adapter on the simulated pins.
#include "adapters/raw/RawJtagAdapter.h"
#include "image/MemoryImage.h"
#include "jobs/JobEngine.h"
#include "sim/LptJtagWire.h"
#include "tests/support/RecordingBus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pyrola::test {
namespace {

class RawJobList : public ::testing::Test {
protected:
    RawJobList() {
        image.Clear();
        engine.SetAdapter(&raw);
    }
    bool Run(uint32_t flags) {
        bus.Clear();
        engine.SetFlags(flags);
        if (!event)
            event = engine.HoldCancelEvent();
        engine.Run();
        return HasLine("Verify complete.") || (flags & kJobVerify) == 0;
    }
    bool HasLine(const std::string& line) const {
        const auto lines = bus.LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    void Load(uint32_t first, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i)
            image.StoreByte(first + i, static_cast<uint8_t>(i * 13 + 7));
    }

    sim::DeviceModel model{"MSP430F149"};
    sim::JtagTarget target{model};
    VirtualClock clock;
    sim::LptJtagWire wire{target, clock};
    RawJtagAdapter raw{wire, clock};
    RecordingBus bus;
    MemoryImage image;
    JobEngine engine{&bus, &image};
    std::shared_ptr<CancelEvent> event;
};

TEST_F(RawJobList, AutoProgramsTheImageAndTheEndOfTheListLetsTheTargetRun) {
    Load(0xF000, 0x300);
    Load(0xFFE0, 0x20);
    model.Poke(0x2000, 0x00); // something to erase
    EXPECT_TRUE(Run(kJobAutoDefault));
    for (const char* line :
         {"Device: MSP430F149. Info(0x1000-0x10FF), Main:(0x1100-0xFFFF)", "Erase complete.",
          "Blank check complete.", "Program complete.", "Verify complete."}) {
        EXPECT_TRUE(HasLine(line)) << line;
    }
    for (uint32_t a = 0x1100; a <= 0xFFFF; ++a) {
        const uint16_t cell = image.CellAt(a);
        const uint8_t want = (cell & CellAbsent) != 0 ? 0xFF : static_cast<uint8_t>(cell & 0xFF);
        ASSERT_EQ(model.Read(a), want) << std::hex << a;
    }
    // The list closed the adapter: JTAG let go of the CPU, the supply stayed on.
    EXPECT_EQ(raw.isOpen, 0);
    EXPECT_EQ(target.Chip().ControlReadBack() & sim::kCtlJtagControl, 0);
    EXPECT_TRUE(target.Powered());
}

TEST_F(RawJobList, VerifyCountsADifferenceAndReadFillsTheImage) {
    Load(0xE000, 0x100);
    ASSERT_TRUE(Run(kJobAutoDefault));
    model.Poke(0xE010, static_cast<uint8_t>(model.Read(0xE010) ^ 0x01));
    EXPECT_FALSE(Run(kJobVerify));
    EXPECT_TRUE(HasLine("Verify failed. Found 1 errors"));
    EXPECT_NE(image.CellAt(0xE010) & CellError, 0);

    EXPECT_TRUE(Run(kJobRead));
    EXPECT_TRUE(HasLine("Read 61440(0xF000) bytes"));
    EXPECT_EQ(image.CellAt(0xE010) & 0xFF, model.Read(0xE010));
    EXPECT_EQ(image.CellAt(0xE0FF) & 0xFF, model.Read(0xE0FF));
    EXPECT_EQ(image.CellAt(0x1000) & 0xFF, 0xFF);
}

TEST_F(RawJobList, ABlownFuseFailsInitWithError14) {
    model.BlowSecurityFuse();
    Load(0xE000, 0x10);
    EXPECT_FALSE(Run(kJobAutoDefault));
    EXPECT_TRUE(HasLine("Could not access device - security fuse is blown"));
    const auto status = bus.StatusTexts();
    EXPECT_NE(std::find(status.begin(), status.end(), "Init() failed."), status.end());
}

} // namespace
} // namespace pyrola::test
