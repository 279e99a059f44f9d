// The adapter against the version-3 simulated FET library (no MSP430_Identify; FETs by
// name, MSP430_OpenDevice, DEVICE_T, firmware update), loaded by file name through the
// system loader as the programmer loads a real one. Also covers the library's own calls.
#include "adapters/DeviceTable.h"
#include "adapters/fet/FetAdapter.h"
#include "adapters/fet/FetFoundDevice.h"
#include "platform/DynamicLibrary.h"
#include "sim/SimEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace pyrola {
namespace {

using sim::SetEnvValue;

constexpr const char* kVariables[] = {"PYROLA_SIM_STATE",     "PYROLA_SIM_DEVICE",       "PYROLA_SIM_FAULTS",
                                      "PYROLA_SIM_FET_NAMES", "PYROLA_SIM_FET_FIRMWARE", "PYROLA_FET2"};

class FetSimLibraryThree : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string stem =
            (std::filesystem::temp_directory_path() /
             ("pyrola_fet3_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
              "_" + std::to_string(std::random_device{}())))
                .string();
        state_ = stem + ".state";
        firmware_ = stem + ".firmware";
        for (const char* name : kVariables)
            SetEnvValue(name, "");
        SetEnvValue("PYROLA_SIM_STATE", state_);
        record_.supplyMillivolts = 3600;
    }
    void TearDown() override {
        for (const char* name : kVariables)
            SetEnvValue(name, "");
        std::filesystem::remove(state_);
        std::filesystem::remove(firmware_);
    }
    std::unique_ptr<FetAdapter> Make() {
        auto fet = std::make_unique<FetAdapter>(SystemLibraryLoader(), PYROLA_SIM_FET_LIBRARY3);
        fet->deviceRecord = &record_;
        return fet;
    }
    static std::string Text(FetAdapter& fet) { return fet.GetErrorText(fet.GetErrorNumber()); }
    std::string state_;
    std::string firmware_;
    DeviceRecord record_;
};

TEST_F(FetSimLibraryThree, ChosenByItsNamesOpensTheFirstFetAndTakesTheBoundsFromTheTable) {
    auto fet = Make();
    ASSERT_TRUE(fet->LibraryReady());
    EXPECT_EQ(fet->Generation(), 3);
    EXPECT_EQ(fet->ListFets(), std::vector<std::string>{"ttyACM0"});
    ASSERT_TRUE(fet->Open()) << Text(*fet);
    const std::vector<std::string> notes = fet->TakeNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("(version 3), FET ttyACM0, version 30205004"), std::string::npos) << notes[0];
    EXPECT_EQ(record_.index, 7); // the table's row for the library's "MSP430F149"
    EXPECT_STREQ(record_.name, "MSP430F149");
    EXPECT_EQ(MemoryRangesOf(record_).mainStart, 0x1100u);
    EXPECT_EQ(record_.infoEnd, 0x10FF);
    EXPECT_EQ(record_.mainEnd, 0xFFFFu);
    EXPECT_EQ(record_.supplyMillivolts, 3600);
    // The chip answers: program, read back, and the verification mode catches a write
    // over programmed flash with the header's write error.
    ASSERT_EQ(fet->Erase(2, 0x1100, 0xEF00), 0);
    std::vector<uint8_t> data(256, 0x5A), back(256);
    ASSERT_EQ(fet->WriteMemory(0xF000, data.data(), 256), 0);
    ASSERT_EQ(fet->ReadMemory(0xF000, back.data(), 256), 0);
    EXPECT_EQ(back, data);
    std::vector<uint8_t> other(256, 0xA5);
    EXPECT_NE(fet->WriteMemory(0xF000, other.data(), 256), 0);
    EXPECT_EQ(Text(*fet), "Could not write device memory");
    EXPECT_TRUE(fet->Close());
}

TEST_F(FetSimLibraryThree, ALibraryNumberedItsOwnWayStillGivesTheTableRowByName) {
    SetEnvValue("PYROLA_SIM_DEVICE", "MSP430F1611"); // the library's id 0x71
    auto fet = Make();
    ASSERT_TRUE(fet->Open()) << Text(*fet);
    EXPECT_EQ(record_.index, DeviceIndexOfPart("MSP430F1611"));
    EXPECT_EQ(record_.index, 39);
    EXPECT_EQ(record_.mainStart, 0x4000);
    fet->Close();
    // A family the library names by a part of its own.
    SetEnvValue("PYROLA_SIM_DEVICE", "MSP430FG43x");
    SetEnvValue("PYROLA_SIM_STATE", state_ + "2");
    ASSERT_TRUE(fet->Open()) << Text(*fet);
    EXPECT_EQ(record_.index, 42);
    fet->Close();
    std::filesystem::remove(state_ + "2");
}

TEST_F(FetSimLibraryThree, PortNumbersCountTheEnumeratedFetsAndANameCanBeGiven) {
    SetEnvValue("PYROLA_SIM_FET_NAMES", "COM7,HID0011:COM9");
    auto fet = Make();
    EXPECT_EQ(fet->ListFets(), (std::vector<std::string>{"COM7", "HID0011:COM9"}));
    fet->portNumber = 3;
    EXPECT_FALSE(fet->Open());
    EXPECT_EQ(Text(*fet), "no FET number 3 (2 found)");
    const std::vector<std::string> notes = fet->TakeNotes();
    EXPECT_NE(std::find(notes.begin(), notes.end(), "The FET library lists: COM7, HID0011:COM9"),
              notes.end());
    fet->portNumber = 2;
    ASSERT_TRUE(fet->Open()) << Text(*fet);
    EXPECT_NE(fet->TakeNotes()[0].find("FET HID0011:COM9"), std::string::npos);
    fet->Close();
    // $PYROLA_FET2 names the FET outright; the library opens only names it enumerates.
    SetEnvValue("PYROLA_FET2", "ttyACM5");
    EXPECT_FALSE(fet->Open());
    EXPECT_EQ(Text(*fet), "Could not find MSP-FET430UIF on specified COM port");
    SetEnvValue("PYROLA_FET2", "COM7");
    EXPECT_TRUE(fet->Open()) << Text(*fet);
    fet->Close();
}

TEST_F(FetSimLibraryThree, OutdatedFirmwareFailsOpenNamingTheUpdateWhichPersists) {
    std::ofstream(firmware_) << "old\n";
    SetEnvValue("PYROLA_SIM_FET_FIRMWARE", firmware_);
    auto fet = Make();
    EXPECT_FALSE(fet->Open());
    EXPECT_TRUE(fet->FirmwareUpdateNeeded());
    EXPECT_EQ(Text(*fet), "The FET ttyACM0 needs a firmware update first: run pyrola --fet-update -fet -c1");
    EXPECT_NE(fet->TakeNotes()[0].find("version -1"), std::string::npos);
    EXPECT_EQ(fet->isOpen, 0);
    // The library was closed after the failure: a new attach starts cleanly.
    ASSERT_TRUE(fet->UpdateFirmware()) << Text(*fet);
    std::ifstream in(firmware_);
    std::string state;
    std::getline(in, state);
    EXPECT_EQ(state, "current");
    auto later = Make(); // as in a later run
    EXPECT_TRUE(later->Open()) << Text(*later);
    later->Close();
}

TEST_F(FetSimLibraryThree, TheLibraryRefusesMemoryBeforeOpenDeviceAndFillsAPackedDeviceT) {
    auto library = SystemLibraryLoader().Load(PYROLA_SIM_FET_LIBRARY3);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->Symbol("MSP430_Identify"), nullptr);
    auto initialize = reinterpret_cast<fet::InitializeFn>(library->Symbol("MSP430_Initialize"));
    auto vcc = reinterpret_cast<fet::VccFn>(library->Symbol("MSP430_VCC"));
    auto memory = reinterpret_cast<fet::MemoryFn>(library->Symbol("MSP430_Memory"));
    auto open = reinterpret_cast<fet::OpenDeviceFn>(library->Symbol("MSP430_OpenDevice"));
    auto found = reinterpret_cast<fet::GetFoundDeviceFn>(library->Symbol("MSP430_GetFoundDevice"));
    auto number = reinterpret_cast<fet::ErrorNumberFn>(library->Symbol("MSP430_Error_Number"));
    auto close = reinterpret_cast<fet::CloseFn>(library->Symbol("MSP430_Close"));
    ASSERT_TRUE(initialize && vcc && memory && open && found && number && close);
    int32_t version = 0;
    EXPECT_NE(initialize("1", &version), 0); // not a name it enumerates
    EXPECT_EQ(number(), 57);
    ASSERT_EQ(initialize("ttyACM0", &version), 0);
    ASSERT_EQ(vcc(3600), 0);
    uint8_t byte = 0;
    EXPECT_NE(memory(0x0FF0, &byte, 1, 1), 0);
    EXPECT_EQ(number(), 4); // NO_DEVICE_ERR
    EXPECT_EQ(number(), 0); // cleared once read
    ASSERT_EQ(open("", "", 0, 0, 0), 0);
    EXPECT_EQ(memory(0x0FF0, &byte, 1, 1), 0);
    EXPECT_EQ(byte, 0xF1);
    uint8_t small[104];
    EXPECT_NE(found(small, 104), 0); // the 104-byte record is too small for DEVICE_T
    EXPECT_EQ(number(), 3);
    FetFoundDevice device;
    ASSERT_EQ(found(reinterpret_cast<uint8_t*>(&device), sizeof device), 0);
    EXPECT_EQ(device.endian, 0xAA55);
    EXPECT_EQ(FoundDeviceName(device), "MSP430F149");
    EXPECT_EQ(device.infoEnd, 0x10FF);
    const uint32_t mainEnd = device.mainEnd; // a copy: the packed field is not aligned
    EXPECT_EQ(mainEnd, 0xFFFFu);             // at offset 66, where the 104-byte record has padding
    EXPECT_EQ(close(0), 0);
}

} // namespace
} // namespace pyrola
