// The adapter against the simulated FET library, loaded by file name through the
// system loader as the programmer loads a real one.
#include "adapters/fet/FetAdapter.h"
#include "platform/DynamicLibrary.h"
#include "sim/SimEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace pyrola {
namespace {

using sim::SetEnvValue;

class FetSimLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        state_ =
            (std::filesystem::temp_directory_path() /
             ("pyrola_fet_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
              "_" + std::to_string(std::random_device{}())))
                .string();
        std::filesystem::remove(state_);
        SetEnvValue("PYROLA_SIM_STATE", state_);
        SetEnvValue("PYROLA_SIM_DEVICE", "");
        SetEnvValue("PYROLA_SIM_FAULTS", "");
        record_.supplyMillivolts = 3600;
    }
    void TearDown() override {
        SetEnvValue("PYROLA_SIM_STATE", "");
        SetEnvValue("PYROLA_SIM_DEVICE", "");
        SetEnvValue("PYROLA_SIM_FAULTS", "");
        std::filesystem::remove(state_);
    }
    std::unique_ptr<FetAdapter> Make() {
        auto fet = std::make_unique<FetAdapter>(SystemLibraryLoader(), PYROLA_SIM_FET_LIBRARY);
        fet->deviceRecord = &record_;
        return fet;
    }
    std::vector<uint8_t> StateBytes() const {
        std::ifstream in(state_, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::string state_;
    DeviceRecord record_;
};

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> data(n + 1);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return data;
}

TEST_F(FetSimLibrary, IdentifiesTheDefaultChipAndFillsTheBoundsTheLibraryLeavesOut) {
    auto fet = Make();
    ASSERT_TRUE(fet->LibraryReady());
    ASSERT_TRUE(fet->Open()) << fet->GetErrorText(fet->GetErrorNumber());
    EXPECT_EQ(record_.marker, kDeviceRecordMarker);
    EXPECT_EQ(record_.index, 7);
    EXPECT_STREQ(record_.name, "MSP430F149");
    EXPECT_EQ(record_.mainStart, 0x1100);
    EXPECT_EQ(record_.infoStart, 0x1000);
    EXPECT_EQ(record_.ramEnd, 0x09FF);
    EXPECT_EQ(record_.infoEnd, 0x10FF); // the adapter's defaults
    EXPECT_EQ(record_.mainEnd, 0xFFFFu);
    EXPECT_EQ(record_.supplyMillivolts, 3600);
    EXPECT_TRUE(fet->Close());
}

TEST_F(FetSimLibrary, ProgramsVerifiesAndKeepsTheChipInTheStateFile) {
    auto data = Pattern(300);
    {
        auto fet = Make();
        ASSERT_TRUE(fet->Open());
        ASSERT_EQ(fet->Erase(2, 0x1100, 0xEF00), 0);
        ASSERT_EQ(fet->EraseCheck(0x1000, 0xF000), 0);
        ASSERT_EQ(fet->WriteMemory(0xF000, data.data(), 300), 0);
        EXPECT_NE(fet->EraseCheck(0xF000, 1), 0);
        EXPECT_STREQ(fet->GetErrorText(fet->GetErrorNumber()), "Memory is not blank");
        std::vector<uint8_t> back(300);
        ASSERT_EQ(fet->ReadMemory(0xF000, back.data(), 300), 0);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
        EXPECT_EQ(fet->VerifyMemory(0xF000, data.data(), 300), 0);
        data[123] ^= 0x01;
        EXPECT_NE(fet->VerifyMemory(0xF000, data.data(), 300), 0);
        EXPECT_STREQ(fet->GetErrorText(fet->GetErrorNumber()), "Memory differs from the data");
        data[123] ^= 0x01;
        EXPECT_TRUE(fet->Close());
    }
    std::vector<uint8_t> file = StateBytes();
    ASSERT_GE(file.size(), 0x10000u);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 300, file.begin() + 0xF000));
    EXPECT_EQ(file[0xF000 + 300], 0xFF);

    // Another adapter (as in another run) sees the same chip.
    auto again = Make();
    ASSERT_TRUE(again->Open());
    EXPECT_EQ(again->VerifyMemory(0xF000, data.data(), 300), 0);
    // Programming over unerased flash ANDs: the adapter set the library's verification
    // mode, so the write itself fails with the write error, and the chip does not hold it.
    std::vector<uint8_t> other(300, 0x0F);
    EXPECT_NE(again->WriteMemory(0xF000, other.data(), 300), 0);
    EXPECT_STREQ(again->GetErrorText(again->GetErrorNumber()), "Flash programming failed");
    EXPECT_NE(again->VerifyMemory(0xF000, other.data(), 300), 0);
    EXPECT_TRUE(again->Close());
}

TEST_F(FetSimLibrary, DeviceComesFromTheEnvironmentAndMustMatchTheStateFile) {
    SetEnvValue("PYROLA_SIM_DEVICE", "MSP430FG43x");
    auto fet = Make();
    ASSERT_TRUE(fet->Open());
    EXPECT_STREQ(record_.name, "MSP430FG43x");
    EXPECT_EQ(record_.index, 42);
    EXPECT_EQ(record_.mainStart, 0x1100);
    EXPECT_EQ(record_.mainEnd, 0xFFFFu); // filled by the library for the F4xx line
    EXPECT_EQ(record_.infoEnd, 0x10FF);
    EXPECT_TRUE(fet->Close());

    SetEnvValue("PYROLA_SIM_DEVICE", "MSP430F135");
    EXPECT_FALSE(fet->Open());
    EXPECT_EQ(fet->isOpen, 0);
    EXPECT_STREQ(fet->GetErrorText(fet->GetErrorNumber()),
                 "Simulated target state file holds another device");

    SetEnvValue("PYROLA_SIM_DEVICE", "MSP430F999");
    EXPECT_FALSE(fet->Open());
    const std::string why = fet->GetErrorText(fet->GetErrorNumber());
    EXPECT_EQ(why.rfind("Unknown simulated device in PYROLA_SIM_DEVICE (known: ", 0), 0u) << why;
    EXPECT_NE(why.find(" MSP430F149 "), std::string::npos) << why; // the names it could have used

    // Without a device named, the state file's device is taken.
    SetEnvValue("PYROLA_SIM_DEVICE", "");
    ASSERT_TRUE(fet->Open());
    EXPECT_STREQ(record_.name, "MSP430FG43x");
    EXPECT_TRUE(fet->Close());
}

TEST_F(FetSimLibrary, PowerLossDuringProgrammingFailsTheWriteAndLeavesAPartialChip) {
    SetEnvValue("PYROLA_SIM_FAULTS", "powerloss-write=10");
    auto data = Pattern(256);
    data[10] = 0x00;
    auto fet = Make();
    ASSERT_TRUE(fet->Open());
    ASSERT_EQ(fet->Erase(1, 0x1100, 0xEF00), 0);
    EXPECT_NE(fet->WriteMemory(0xF000, data.data(), 256), 0);
    EXPECT_STREQ(fet->GetErrorText(fet->GetErrorNumber()), "Target lost its supply during a flash operation");
    uint8_t byte = 0;
    EXPECT_NE(fet->ReadMemory(0xF000, &byte, 1), 0); // the target is gone until reset
    EXPECT_TRUE(fet->Close());                       // the reset cycles the supply

    std::vector<uint8_t> file = StateBytes();
    ASSERT_GE(file.size(), 0x10000u);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 10, file.begin() + 0xF000));
    EXPECT_EQ(file[0xF000 + 10], 0x0F); // the byte being programmed: only half of it
    EXPECT_EQ(file[0xF000 + 11], 0xFF);

    ASSERT_TRUE(fet->Open());
    EXPECT_EQ(fet->ReadMemory(0xF000, &byte, 1), 0);
    EXPECT_EQ(byte, data[0]);
    EXPECT_TRUE(fet->Close());
}

TEST_F(FetSimLibrary, BadRequestsGetTheLibrarysErrorsAndChangeNothing) {
    auto fet = Make();
    uint8_t byte = 0x00;
    EXPECT_NE(fet->WriteMemory(0xF000, &byte, 1), 0); // before Open
    EXPECT_STREQ(fet->GetErrorText(fet->GetErrorNumber()), "Interface not initialized");
    fet->portNumber = 0;
    EXPECT_FALSE(fet->Open());
    EXPECT_STREQ(fet->GetErrorText(fet->GetErrorNumber()), "Could not open the FET port");
    fet->portNumber = 1;
    record_.supplyMillivolts = 5000;
    EXPECT_FALSE(fet->Open());
    EXPECT_STREQ(fet->GetErrorText(fet->GetErrorNumber()), "Target supply voltage out of range");
    record_.supplyMillivolts = 3600;
    ASSERT_TRUE(fet->Open());
    EXPECT_NE(fet->WriteMemory(0x0FF0, &byte, 1), 0); // identification ROM
    EXPECT_STREQ(fet->GetErrorText(fet->GetErrorNumber()), "Address range outside target memory");
    EXPECT_NE(fet->Erase(0, 0x0200, 1), 0); // RAM has no segments
    EXPECT_NE(fet->Erase(9, 0x1100, 1), 0);
    EXPECT_STREQ(fet->GetErrorText(fet->GetErrorNumber()), "Invalid parameter");
    EXPECT_NE(fet->ReadMemory(0xFFFF, &byte, 2), 0);
    EXPECT_EQ(fet->EraseCheck(0x1000, 0xF000), 0);
    EXPECT_TRUE(fet->Close());
    EXPECT_STREQ(fet->GetErrorText(999), "Unknown error");
}

TEST(SystemLibraryLoader, MissingFilesAndNamesGiveNull) {
    EXPECT_EQ(SystemLibraryLoader().Load("pyrola-no-such-library-here"), nullptr);
    EXPECT_EQ(SystemLibraryLoader().Load(""), nullptr);
    auto library = SystemLibraryLoader().Load(PYROLA_SIM_FET_LIBRARY);
    ASSERT_NE(library, nullptr);
    EXPECT_NE(library->Symbol("MSP430_VerifyMem"), nullptr);
    EXPECT_EQ(library->Symbol("MSP430_NoSuchEntry"), nullptr);
}

} // namespace
} // namespace pyrola
