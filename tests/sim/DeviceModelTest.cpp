#include "sim/DeviceModel.h"
#include "adapters/DeviceTable.h"
#include "sim/TestPinChips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace pyrola::sim {
namespace {

TEST(DeviceModelFlash, ProgrammingOverUnerasedFlashLeavesTheAndOfOldAndNew) {
    DeviceModel chip;
    ASSERT_TRUE(chip.Write(0xF000, 0xF0));
    EXPECT_EQ(chip.Read(0xF000), 0xF0);
    ASSERT_TRUE(chip.Write(0xF000, 0x3C));
    EXPECT_EQ(chip.Read(0xF000), 0x30);
    // Programming 0xFF sets nothing back: only an erase does.
    ASSERT_TRUE(chip.Write(0xF000, 0xFF));
    EXPECT_EQ(chip.Read(0xF000), 0x30);
    // Information memory follows the same rule.
    ASSERT_TRUE(chip.Write(0x1000, 0xA5));
    ASSERT_TRUE(chip.Write(0x1000, 0x0F));
    EXPECT_EQ(chip.Read(0x1000), 0x05);
}

TEST(DeviceModelFlash, RamStoresPlainlyAndRomAndVacantAddressesRefuseWrites) {
    DeviceModel chip("MSP430F1121"); // unknown: falls back to the F149
    EXPECT_EQ(chip.DeviceName(), "MSP430F149");
    ASSERT_TRUE(chip.Write(0x0200, 0x00));
    ASSERT_TRUE(chip.Write(0x0200, 0xFF));
    EXPECT_EQ(chip.Read(0x0200), 0xFF);
    ASSERT_TRUE(chip.Write(0x09FF, 0x12));
    EXPECT_EQ(chip.Read(0x09FF), 0x12);

    uint8_t idByte = chip.Read(0x0FF0);
    EXPECT_FALSE(chip.Write(0x0FF0, 0x00));
    EXPECT_EQ(chip.Read(0x0FF0), idByte);
    EXPECT_FALSE(chip.Write(0x0A00, 0x00)); // above the F149's RAM
    EXPECT_FALSE(chip.Write(0x10000, 0x00));
    EXPECT_EQ(chip.Read(0x10000), 0xFF);

    DeviceModel small("MSP430F11x1"); // 1 KiB main at 0xF000
    EXPECT_EQ(small.RegionOf(0xE000), Region::Vacant);
    EXPECT_FALSE(small.Write(0xE000, 0x00));
    EXPECT_FALSE(small.EraseSegment(0xE000));
}

TEST(DeviceModelFlash, LockedControllerRefusesProgrammingAndErase) {
    DeviceModel chip;
    chip.SetFlashLocked(true);
    EXPECT_FALSE(chip.Write(0xF000, 0x00));
    EXPECT_FALSE(chip.EraseSegment(0xF000));
    EXPECT_FALSE(chip.EraseMain());
    EXPECT_EQ(chip.Read(0xF000), 0xFF);
    EXPECT_TRUE(chip.Write(0x0200, 0x55)); // RAM is not behind the controller
    chip.SetFlashLocked(false);
    EXPECT_TRUE(chip.Write(0xF000, 0x00));
}

// Programs every flash byte of the chip to its address' low byte (never 0xFF).
void FillFlash(DeviceModel& chip) {
    const MemoryBounds& b = chip.Bounds();
    for (uint32_t a = b.infoStart; a <= b.infoEnd; ++a) {
        ASSERT_TRUE(chip.Write(a, static_cast<uint8_t>(a & 0x7F)));
    }
    for (uint32_t a = b.mainStart; a <= b.mainEnd; ++a) {
        ASSERT_TRUE(chip.Write(a, static_cast<uint8_t>(a & 0x7F)));
    }
}

TEST(DeviceModelErase, SegmentEraseClearsExactlyOneAlignedSegment) {
    DeviceModel chip;
    FillFlash(chip);
    ASSERT_TRUE(chip.EraseSegment(0xF123)); // inside 0xF000-0xF1FF
    EXPECT_TRUE(chip.IsBlank(0xF000, 512));
    EXPECT_FALSE(chip.IsBlank(0xEFFF, 1));
    EXPECT_FALSE(chip.IsBlank(0xF200, 1));

    ASSERT_TRUE(chip.EraseSegment(0x10C5)); // information segment 0x1080-0x10FF
    EXPECT_TRUE(chip.IsBlank(0x1080, 128));
    EXPECT_FALSE(chip.IsBlank(0x107F, 1));
    EXPECT_FALSE(chip.IsBlank(0x1100, 1)); // main starts right after: untouched

    // The F149's lowest main segment is clipped at 0x1100: only 256 bytes.
    EXPECT_EQ(chip.SegmentStart(0x1150), 0x1100u);
    EXPECT_EQ(chip.SegmentEnd(0x1150), 0x11FFu);
    ASSERT_TRUE(chip.EraseSegment(0x1150));
    EXPECT_TRUE(chip.IsBlank(0x1100, 256));
    EXPECT_FALSE(chip.IsBlank(0x1000, 1));
    EXPECT_FALSE(chip.IsBlank(0x1200, 1));

    EXPECT_FALSE(chip.EraseSegment(0x0200)); // RAM has no segments
}

TEST(DeviceModelErase, MainEraseKeepsInformationMemoryAndMassEraseTakesBoth) {
    DeviceModel chip;
    FillFlash(chip);
    const MemoryBounds& b = chip.Bounds();
    ASSERT_TRUE(chip.EraseMain());
    EXPECT_TRUE(chip.IsBlank(b.mainStart, b.mainEnd - b.mainStart + 1));
    EXPECT_EQ(chip.Read(b.infoStart + 1), 0x01);
    ASSERT_TRUE(chip.EraseMass());
    EXPECT_TRUE(chip.IsBlank(b.infoStart, b.infoEnd - b.infoStart + 1));
    EXPECT_TRUE(chip.IsBlank(b.mainStart, b.mainEnd - b.mainStart + 1));
}

TEST(DeviceModelErase, PrototypeInformationMemoryLiesBelowMain) {
    DeviceModel chip("Prototype MSP430F11x1");
    EXPECT_EQ(chip.Bounds().infoStart, 0xEF00u);
    ASSERT_TRUE(chip.Write(0xEF80, 0x00));
    ASSERT_TRUE(chip.Write(0xF000, 0x00));
    ASSERT_TRUE(chip.EraseMain());
    EXPECT_EQ(chip.Read(0xEF80), 0x00);
    EXPECT_EQ(chip.Read(0xF000), 0xFF);
    ASSERT_TRUE(chip.EraseSegment(0xEF80));
    EXPECT_EQ(chip.Read(0xEF80), 0xFF);
    EXPECT_EQ(chip.RegionOf(0x1000), Region::Vacant);
}

// The catalogue is written from the data sheets, the device table apart from it: every
// chip must be among the rows its identification allows, over JTAG (fuses read) and over
// the loader (fuses unknown), and the row that names its part must hold its memory map.
TEST(DeviceModelIdentity, EveryChipIsAmongItsTableCandidatesWithItsOwnMap) {
    const std::vector<std::string> names = DeviceModel::DeviceNames();
    EXPECT_EQ(names.size(), 57u); // 59 named rows less two duplicate names
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(DeviceModel::IsDeviceName(name));
        DeviceModel chip(name);
        std::array<uint8_t, 16> id = chip.Identification();
        if (name == "DEFAULT") {
            // An erased identification is "unknown" by design; the row is reached by index.
            EXPECT_EQ(LookupDevice(id.data(), chip.ConfigurationFuses()), 0u);
            EXPECT_TRUE(DeviceCandidates(id.data(), std::nullopt).empty());
            continue;
        }
        auto rowOf = [&name](const std::vector<uint32_t>& rows) {
            for (uint32_t row : rows) {
                if (name == DeviceName(row) || name == DevicePartName(row))
                    return row;
            }
            return 0u;
        };
        const std::vector<uint32_t> jtag = DeviceCandidates(id.data(), chip.ConfigurationFuses());
        const std::vector<uint32_t> loader = DeviceCandidates(id.data(), std::nullopt);
        const uint32_t index = rowOf(jtag);
        ASSERT_NE(index, 0u) << "not among the rows its identification and fuses allow";
        EXPECT_EQ(rowOf(loader), index);
        // What a lookup finds first is the chip or a row it cannot be told from.
        const std::vector<uint32_t> siblings =
            DeviceSiblings(LookupDevice(id.data(), chip.ConfigurationFuses()));
        EXPECT_NE(std::find(siblings.begin(), siblings.end(), index), siblings.end());
        FamilyBounds t = DeviceBounds(index);
        const MemoryBounds& b = chip.Bounds();
        EXPECT_EQ(b.mainStart, t.mainStart);
        EXPECT_EQ(b.mainEnd, t.mainEnd);
        EXPECT_EQ(b.infoStart, t.infoStart);
        EXPECT_EQ(b.infoEnd, t.infoEnd);
        EXPECT_EQ(b.ramStart, t.ramStart);
        EXPECT_EQ(b.ramEnd, t.ramEnd);
        EXPECT_EQ(DeviceHasTestPin(index), ChipHasTestPin(name));
        EXPECT_EQ(chip.LoaderVersion(), static_cast<uint16_t>(id[10] << 8 | id[11]));
    }
    EXPECT_FALSE(DeviceModel::IsDeviceName("Device unknown"));
    EXPECT_FALSE(DeviceModel::IsDeviceName("msp430f149"));
}

TEST(DeviceModelIdentity, F161xRamStartsAt0x1100AndIsMirroredAt0x0200) {
    DeviceModel chip("MSP430F1611");
    EXPECT_EQ(chip.RegionOf(0x1100), Region::Ram);
    EXPECT_EQ(chip.RegionOf(0x38FF), Region::Ram);
    EXPECT_EQ(chip.RegionOf(0x3900), Region::Vacant);
    EXPECT_EQ(chip.RegionOf(0x4000), Region::Main);
    ASSERT_TRUE(chip.Write(0x0200, 0x5A));
    EXPECT_EQ(chip.Read(0x1100), 0x5A);
    ASSERT_TRUE(chip.Write(0x18FF, 0xA5));
    EXPECT_EQ(chip.Read(0x09FF), 0xA5);
    EXPECT_EQ(chip.RegionOf(0x0A00), Region::Vacant);
}

TEST(DeviceModelIdentity, SettersChangeWhatTheRomShows) {
    DeviceModel chip;
    chip.SetLoaderVersion(0x0161);
    EXPECT_EQ(chip.Read(0x0FFA), 0x01);
    EXPECT_EQ(chip.Read(0x0FFB), 0x61);
    EXPECT_EQ(chip.LoaderVersion(), 0x0161);
    std::array<uint8_t, 16> id{};
    id.fill(0xFF);
    chip.SetIdentification(id);
    EXPECT_EQ(LookupDevice(chip.Identification().data(), 0), 0u);
    chip.SetConfigurationFuses(0x05);
    EXPECT_EQ(chip.ConfigurationFuses(), 0x05);

    for (uint32_t a = 0xFFE0; a <= 0xFFFF; ++a) {
        chip.Poke(a, static_cast<uint8_t>(a));
    }
    std::array<uint8_t, 32> password = chip.VectorPassword();
    for (uint32_t i = 0; i < 32; ++i) {
        EXPECT_EQ(password[i], static_cast<uint8_t>(0xE0 + i));
    }
}

class StateFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (std::filesystem::temp_directory_path() /
                 ("pyrola_sim_state_" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
                  std::to_string(std::random_device{}())))
                    .string();
        std::filesystem::remove(path_);
    }
    void TearDown() override { std::filesystem::remove(path_); }
    int LeftoverTemporaries() const {
        int count = 0;
        std::string prefix = std::filesystem::path(path_).filename().string() + ".tmp";
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::path(path_).parent_path())) {
            count += entry.path().filename().string().rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return count;
    }
    std::vector<uint8_t> FileBytes() const {
        std::ifstream in(path_, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::string path_;
};

TEST_F(StateFile, FileStartsWithTheAddressSpaceAndRoundTripsEverything) {
    DeviceModel chip("MSP430F135");
    ASSERT_TRUE(chip.Write(0xC000, 0x12));
    ASSERT_TRUE(chip.Write(0xFFFE, 0x00));
    ASSERT_TRUE(chip.Write(0x0300, 0x77));
    chip.SetConfigurationFuses(0x0104);
    chip.BlowSecurityFuse();
    ASSERT_TRUE(chip.Save(path_));
    EXPECT_EQ(LeftoverTemporaries(), 0);

    std::vector<uint8_t> bytes = FileBytes();
    ASSERT_GE(bytes.size(), 65536u);
    EXPECT_EQ(bytes[0xC000], 0x12);
    EXPECT_EQ(bytes[0xFFFE], 0x00);
    EXPECT_EQ(bytes[0xFFFF], 0xFF);
    EXPECT_EQ(bytes[0x0300], 0x77);
    EXPECT_EQ(bytes[0x0FF0], 0xF1);
    EXPECT_EQ(bytes[0x0FF1], 0x49);

    DeviceModel other; // an F149 until the file says otherwise
    ASSERT_TRUE(other.Load(path_));
    EXPECT_EQ(other.DeviceName(), "MSP430F135");
    EXPECT_EQ(other.Bounds().mainStart, 0xC000u);
    EXPECT_EQ(other.Read(0xC000), 0x12);
    EXPECT_EQ(other.ConfigurationFuses(), 0x0104);
    EXPECT_TRUE(other.SecurityFuseBlown());
    // Flash rules still hold on the loaded state.
    ASSERT_TRUE(other.Write(0xC000, 0x21));
    EXPECT_EQ(other.Read(0xC000), 0x00);
}

TEST_F(StateFile, SavingAgainReplacesTheOldState) {
    DeviceModel chip;
    ASSERT_TRUE(chip.Write(0xF000, 0x00));
    ASSERT_TRUE(chip.Save(path_));
    ASSERT_TRUE(chip.EraseSegment(0xF000));
    ASSERT_TRUE(chip.Save(path_));
    DeviceModel again;
    ASSERT_TRUE(again.Load(path_));
    EXPECT_EQ(again.Read(0xF000), 0xFF);
}

TEST_F(StateFile, BareAddressSpaceLoadsAndMalformedFilesChangeNothing) {
    std::vector<uint8_t> image(65536, 0xFF);
    image[0xF000] = 0x42;
    {
        std::ofstream out(path_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    DeviceModel chip;
    ASSERT_TRUE(chip.Load(path_));
    EXPECT_EQ(chip.Read(0xF000), 0x42);
    EXPECT_EQ(chip.DeviceName(), "MSP430F149");

    DeviceModel untouched;
    ASSERT_TRUE(untouched.Write(0xF000, 0x11));
    EXPECT_FALSE(untouched.Load(path_ + ".missing"));
    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), 1000); // truncated
    }
    EXPECT_FALSE(untouched.Load(path_));
    // A trailer with a wrong magic or an unknown device name.
    DeviceModel source;
    ASSERT_TRUE(source.Save(path_));
    std::vector<uint8_t> bytes = FileBytes();
    std::vector<uint8_t> badMagic = bytes;
    badMagic[65536] = 'X';
    std::vector<uint8_t> badName = bytes;
    std::memcpy(&badName[65536 + 8], "MSP430X999", 11);
    std::vector<uint8_t> tooLong = bytes;
    tooLong.push_back(0); // a good state file with one byte more
    for (const auto& variant : {badMagic, badName, tooLong}) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(variant.data()),
                  static_cast<std::streamsize>(variant.size()));
        out.close();
        EXPECT_FALSE(untouched.Load(path_));
    }
    EXPECT_EQ(untouched.Read(0xF000), 0x11);
    EXPECT_EQ(untouched.Read(0x0FF0), 0xF1);
}

TEST_F(StateFile, SaveOverADirectoryFailsCleanly) {
    std::filesystem::create_directory(path_);
    DeviceModel chip;
    EXPECT_FALSE(chip.Save(path_));
    EXPECT_TRUE(std::filesystem::is_directory(path_));
    std::filesystem::remove(path_);
}

TEST(DeviceModelFaults, StuckBitsShowThroughProgrammingAndErase) {
    DeviceModel chip;
    chip.SetStuckBits(0xF010, 0x81, 0x01); // bit 7 stuck at 0, bit 0 stuck at 1
    EXPECT_EQ(chip.Read(0xF010), 0x7F);
    EXPECT_FALSE(chip.IsBlank(0xF000, 0x100));
    ASSERT_TRUE(chip.Write(0xF010, 0x00)); // the write itself reports success
    EXPECT_EQ(chip.Read(0xF010), 0x01);
    ASSERT_TRUE(chip.EraseSegment(0xF010));
    EXPECT_EQ(chip.Read(0xF010), 0x7F);
    chip.ClearStuckBits();
    EXPECT_EQ(chip.Read(0xF010), 0xFF);
}

TEST(DeviceModelFaults, PowerLossDuringAWriteLeavesAPartlyProgrammedByteAndAFailingChip) {
    DeviceModel chip;
    chip.InjectPowerLossAfter(2);
    EXPECT_TRUE(chip.Write(0xF000, 0x00));
    EXPECT_TRUE(chip.Write(0xF001, 0x00));
    EXPECT_FALSE(chip.Write(0xF002, 0x00));
    EXPECT_TRUE(chip.PowerLost());
    EXPECT_EQ(chip.Read(0xF002), 0x0F); // only the upper nibble got programmed
    EXPECT_FALSE(chip.Write(0xF003, 0x00));
    EXPECT_FALSE(chip.Write(0x0200, 0x00));
    EXPECT_FALSE(chip.EraseMass());
    EXPECT_EQ(chip.Read(0xF003), 0xFF);
    chip.RestorePower();
    EXPECT_TRUE(chip.Write(0xF003, 0x00));
    EXPECT_EQ(chip.FlashOperationCount(), 4u);
}

TEST(DeviceModelFaults, PowerLossDuringAnEraseLeavesItHalfDone) {
    DeviceModel chip;
    FillFlash(chip);
    chip.InjectPowerLossAfter(0);
    EXPECT_FALSE(chip.EraseSegment(0xF000));
    EXPECT_TRUE(chip.IsBlank(0xF000, 256));
    EXPECT_FALSE(chip.IsBlank(0xF100, 1));
    EXPECT_EQ(chip.Read(0xF1FF), 0x7F);

    chip.RestorePower();
    FillFlash(chip);
    chip.InjectPowerLossAfter(0);
    EXPECT_FALSE(chip.EraseMain());
    const MemoryBounds& b = chip.Bounds();
    EXPECT_TRUE(chip.IsBlank(b.mainStart, 0x100)); // early segments went
    EXPECT_FALSE(chip.IsBlank(0xFE00, 0x200));     // late ones stayed
    EXPECT_FALSE(chip.IsBlank(b.infoStart, 1));
}

TEST_F(StateFile, BlownSecurityFuseAndInterruptedWritePersist) {
    DeviceModel chip;
    chip.InjectPowerLossAfter(0);
    EXPECT_FALSE(chip.Write(0xF000, 0x00));
    chip.BlowSecurityFuse();
    ASSERT_TRUE(chip.Save(path_));
    DeviceModel next;
    ASSERT_TRUE(next.Load(path_));
    EXPECT_FALSE(next.PowerLost()); // a new run powers the chip up again
    EXPECT_TRUE(next.SecurityFuseBlown());
    EXPECT_EQ(next.Read(0xF000), 0x0F);
}

} // namespace
} // namespace pyrola::sim
