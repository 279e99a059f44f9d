#include "sim/FetTarget.h"
#include "adapters/DeviceRecord.h"
#include "adapters/DeviceTable.h"
#include "sim/FaultList.h"
#include "sim/FetDeviceList.h"
#include "sim/FetEntryPoints.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace pyrola::sim {
namespace {

// A FetTarget whose environment is a map the test fills.
class FetTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = (std::filesystem::temp_directory_path() /
                  ("pyrola_fettarget_" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
                   std::to_string(std::random_device{}())))
                     .string();
        std::filesystem::remove(state_);
    }
    void TearDown() override { std::filesystem::remove(state_); }
    FetTarget::Environment Env() {
        return [this](const char* name) -> const char* {
            auto it = env_.find(name);
            return it == env_.end() ? nullptr : it->second.c_str();
        };
    }
    // Initialise, supply, identify.
    void Attach(FetTarget& target) {
        int32_t version = 0;
        ASSERT_EQ(target.Initialize("1", &version), 0) << FetTarget::ErrorString(target.ErrorNumber());
        EXPECT_EQ(version, FetTarget::kLibraryVersion);
        ASSERT_EQ(target.Vcc(3000), 0);
        ASSERT_EQ(target.Identify(reinterpret_cast<uint8_t*>(&record_), sizeof record_, 0), 0)
            << FetTarget::ErrorString(target.ErrorNumber());
    }
    std::map<std::string, std::string> env_;
    std::string state_;
    DeviceRecord record_;
};

TEST_F(FetTargetTest, CallsNeedTheStartUpOrder) {
    FetTarget target(Env());
    uint8_t byte = 0;
    EXPECT_EQ(target.Memory(0xF000, &byte, 1, 1), -1);
    EXPECT_EQ(target.ErrorNumber(), kFetNotInitialized);
    ASSERT_EQ(target.Initialize("1", nullptr), 0);
    EXPECT_EQ(target.Memory(0xF000, &byte, 1, 1), -1);
    EXPECT_EQ(target.ErrorNumber(), kFetNotIdentified);
    EXPECT_EQ(target.Identify(reinterpret_cast<uint8_t*>(&record_), sizeof record_, 0), -1);
    EXPECT_EQ(target.ErrorNumber(), kFetNoSupply);
    EXPECT_EQ(target.Identify(reinterpret_cast<uint8_t*>(&record_), 100, 0), -1);
    EXPECT_EQ(target.ErrorNumber(), kFetRecordTooSmall);
    ASSERT_EQ(target.Vcc(3600), 0);
    ASSERT_EQ(target.Identify(reinterpret_cast<uint8_t*>(&record_), sizeof record_, 0), 0);
    EXPECT_EQ(target.Memory(0xF000, &byte, 1, 1), 0);
    EXPECT_EQ(byte, 0xFF);
    ASSERT_EQ(target.Close(0), 0);
    EXPECT_EQ(target.Memory(0xF000, &byte, 1, 1), -1);
    EXPECT_EQ(target.ErrorNumber(), kFetNotInitialized);
}

TEST_F(FetTargetTest, IdentifyWritesOnlyItsFieldsAndLeavesF1xxEndsEmpty) {
    std::memset(static_cast<void*>(&record_), 0x5A, sizeof record_);
    record_.supplyMillivolts = 3600;
    env_["PYROLA_SIM_DEVICE"] = "MSP430F1612";
    FetTarget target(Env());
    Attach(target);
    EXPECT_EQ(record_.marker, kDeviceRecordMarker);
    EXPECT_EQ(record_.index, 40);
    EXPECT_STREQ(record_.name, "MSP430F1612");
    EXPECT_EQ(record_.name[31], 0);
    EXPECT_EQ(record_.mainStart, 0x2500);
    EXPECT_EQ(record_.infoStart, 0x1000);
    EXPECT_EQ(record_.ramEnd, 0x24FF); // 5 KB of RAM from 0x1100
    EXPECT_EQ(record_.infoEnd, 0);
    EXPECT_EQ(record_.mainEnd, 0u);
    EXPECT_EQ(record_.supplyMillivolts, 3600);
    EXPECT_EQ(record_.reserved42[0], 0x5A);
    EXPECT_EQ(record_.reserved72[31], 0x5A);
}

// The simulated library's device list and memory maps are its own, written from the data
// sheets; the programmer's device table was written apart from them. Every row must agree.
TEST_F(FetTargetTest, DeviceListAgreesWithTheProgrammersTable) {
    FetTarget target(Env());
    // The library lists the rows it knows; the table goes on with the smaller members of
    // lines the library names as one.
    ASSERT_LE(kFetDeviceRows, kDeviceCount);
    for (uint32_t row = 0; row < kFetDeviceRows; ++row) {
        DeviceRecord simulated;
        std::memset(static_cast<void*>(&simulated), 0x5A, sizeof simulated);
        ASSERT_EQ(target.Device(static_cast<int32_t>(row), reinterpret_cast<uint8_t*>(&simulated),
                                sizeof simulated),
                  0);
        DeviceRecord expected;
        FillDeviceRecord(row, &expected);
        EXPECT_EQ(simulated.marker, kDeviceRecordMarker);
        EXPECT_EQ(simulated.index, row);
        EXPECT_STREQ(simulated.name, expected.name) << row;
        EXPECT_EQ(simulated.mainStart, expected.mainStart) << expected.name;
        EXPECT_EQ(simulated.mainEnd, expected.mainEnd) << expected.name;
        EXPECT_EQ(simulated.infoStart, expected.infoStart) << expected.name;
        EXPECT_EQ(simulated.infoEnd, expected.infoEnd) << expected.name;
        EXPECT_EQ(simulated.ramEnd, expected.ramEnd) << expected.name;
        EXPECT_EQ(simulated.reserved72[0], 0x5A); // the library's fields only
    }
    uint8_t record[kDeviceRecordSize] = {};
    EXPECT_EQ(target.Device(static_cast<int32_t>(kFetDeviceRows), record, sizeof record), -1);
    EXPECT_EQ(target.ErrorNumber(), kFetBadArgument);
}

TEST_F(FetTargetTest, SecuredChipCannotBeIdentified) {
    env_["PYROLA_SIM_FAULTS"] = "securityfuse";
    FetTarget target(Env());
    ASSERT_EQ(target.Initialize("1", nullptr), 0);
    ASSERT_EQ(target.Vcc(3600), 0);
    EXPECT_EQ(target.Identify(reinterpret_cast<uint8_t*>(&record_), sizeof record_, 0), -1);
    EXPECT_EQ(target.ErrorNumber(), kFetSecured);
    EXPECT_STREQ(FetTarget::ErrorString(kFetSecured), "Could not access device: security fuse is blown");
}

TEST_F(FetTargetTest, EraseModesMapToSegmentMainAndMass) {
    FetTarget target(Env());
    Attach(target);
    DeviceModel& chip = *target.Model();
    auto fill = [&] {
        chip.Poke(0x1000, 0);
        chip.Poke(0x1080, 0);
        chip.Poke(0xF000, 0);
        chip.Poke(0xF200, 0);
    };
    fill();
    ASSERT_EQ(target.Erase(0, 0xF010, 512), 0);
    EXPECT_EQ(chip.Read(0xF000), 0xFF);
    EXPECT_EQ(chip.Read(0xF200), 0x00);
    fill();
    ASSERT_EQ(target.Erase(1, 0x1100, 0xEF00), 0);
    EXPECT_EQ(chip.Read(0xF000) & chip.Read(0xF200), 0xFF);
    EXPECT_EQ(chip.Read(0x1000), 0x00);
    fill();
    ASSERT_EQ(target.Erase(2, 0x1100, 0xEF00), 0);
    EXPECT_TRUE(chip.IsBlank(0x1000, 0xF000));
    EXPECT_EQ(target.Erase(3, 0x1100, 0), -1);
    EXPECT_EQ(target.ErrorNumber(), kFetBadArgument);
}

TEST_F(FetTargetTest, StateFileIsReadAtInitializeAndWrittenAfterChanges) {
    env_["PYROLA_SIM_STATE"] = state_;
    {
        FetTarget first(Env());
        Attach(first);
        uint8_t data[2] = {0x12, 0x34};
        ASSERT_EQ(first.Memory(0xFFFE, data, 2, 0), 0);
        EXPECT_TRUE(std::filesystem::exists(state_)); // saved without waiting for Close
    }
    FetTarget second(Env());
    Attach(second);
    uint8_t data[2] = {0x12, 0x34};
    EXPECT_EQ(second.VerifyMem(0xFFFE, 2, data), 0);
    // Unreadable state: Initialize refuses rather than start from a blank chip.
    std::filesystem::resize_file(state_, 100);
    FetTarget third(Env());
    EXPECT_EQ(third.Initialize("1", nullptr), -1);
    EXPECT_EQ(third.ErrorNumber(), kFetStateUnreadable);
}

TEST_F(FetTargetTest, UnwritableStateIsReportedAfterTheChange) {
    std::filesystem::create_directory(state_);
    env_["PYROLA_SIM_STATE"] = state_ + "/x";
    FetTarget target(Env());
    Attach(target);
    std::filesystem::remove_all(state_);
    std::filesystem::create_directories(state_ + "/x"); // a folder where the file should go
    uint8_t byte = 0;
    EXPECT_EQ(target.Memory(0xF000, &byte, 1, 0), -1);
    EXPECT_EQ(target.ErrorNumber(), kFetStateUnwritable);
    EXPECT_EQ(target.Model()->Read(0xF000), 0x00); // the chip itself took the write
    std::filesystem::remove_all(state_);
}

TEST_F(FetTargetTest, WithoutStateFileTheChipOutlivesClose) {
    FetTarget target(Env());
    Attach(target);
    uint8_t byte = 0x42;
    ASSERT_EQ(target.Memory(0xF000, &byte, 1, 0), 0);
    ASSERT_EQ(target.Close(0), 0);
    Attach(target);
    EXPECT_EQ(target.VerifyMem(0xF000, 1, &byte), 0);
}

// Several programs, one per FET port, each with a chip of its own; a test's board socket
// pulls the board out, puts a blank one in, one with a stuck bit, each seen by the next
// program as a real socket would be.
TEST_F(FetTargetTest, PortsKeepTheirOwnChipsAndTheSocketSwapsBoards) {
    std::filesystem::create_directory(state_);
    env_["PYROLA_SIM_STATE"] = state_ + "/chip%p.state";
    env_["PYROLA_SIM_BOARD"] = state_ + "/socket%p";
    auto socket = [&](const char* text) { std::ofstream(state_ + "/socket2") << text; };
    auto open = [&](const char* port) {
        auto target = std::make_unique<FetTarget>(Env());
        EXPECT_EQ(target->Initialize(port, nullptr), 0) << FetTarget::ErrorString(target->ErrorNumber());
        EXPECT_EQ(target->Vcc(3000), 0);
        return target;
    };
    auto identify = [&](FetTarget& target) {
        return target.Identify(reinterpret_cast<uint8_t*>(&record_), sizeof record_, 0);
    };
    const uint8_t word[2] = {0x31, 0x40};
    {
        auto two = open("2");
        ASSERT_EQ(identify(*two), 0);
        ASSERT_EQ(two->Memory(0xF000, const_cast<uint8_t*>(word), 2, 0), 0);
    }
    EXPECT_TRUE(std::filesystem::exists(state_ + "/chip2.state"));
    EXPECT_FALSE(std::filesystem::exists(state_ + "/chip1.state"));
    {
        auto one = open("1");
        ASSERT_EQ(identify(*one), 0);
        EXPECT_EQ(one->EraseCheck(0xF000, 2), 0); // port 1's chip is another one
    }
    socket("none\n");
    {
        auto two = open("2");
        EXPECT_EQ(identify(*two), -1);
        EXPECT_EQ(two->ErrorNumber(), kFetNoTarget);
    }
    socket("board A\n");
    {
        auto two = open("2");
        ASSERT_EQ(identify(*two), 0);
        EXPECT_EQ(two->EraseCheck(0xF000, 2), 0); // a new board is blank
        ASSERT_EQ(two->Memory(0xF000, const_cast<uint8_t*>(word), 2, 0), 0);
    }
    {
        auto two = open("2"); // the same board still in the socket keeps what it holds
        ASSERT_EQ(identify(*two), 0);
        EXPECT_EQ(two->VerifyMem(0xF000, 2, word), 0);
    }
    socket("board B stuck=0xF000:0x01:0\n");
    for (int program = 0; program < 2; ++program) {
        // Each program reloads the chip from its state file: the stuck bit stays stuck.
        auto two = open("2");
        ASSERT_EQ(identify(*two), 0);
        EXPECT_EQ(two->Memory(0xF000, const_cast<uint8_t*>(word), 2, 0), 0);
        EXPECT_EQ(two->VerifyMem(0xF000, 2, word), -1);
        EXPECT_EQ(two->Model()->Read(0xF000), 0x30);
    }
    socket("tray 3\n");
    FetTarget bad(Env());
    EXPECT_EQ(bad.Initialize("2", nullptr), -1);
    EXPECT_EQ(bad.ErrorNumber(), kFetBadFaults);
    std::filesystem::remove_all(state_);
}

TEST_F(FetTargetTest, BadFaultListRefusesToStart) {
    env_["PYROLA_SIM_FAULTS"] = "powerloss=abc";
    FetTarget target(Env());
    EXPECT_EQ(target.Initialize("1", nullptr), -1);
    EXPECT_EQ(target.ErrorNumber(), kFetBadFaults);
}

TEST_F(FetTargetTest, CableDelayPacesEveryTransferCallOnly) {
    std::vector<uint32_t> waits;
    env_["PYROLA_SIM_FET_DELAY"] = "25";
    FetTarget target(Env(), [&](uint32_t ms) { waits.push_back(ms); });
    Attach(target);
    EXPECT_TRUE(waits.empty()); // start-up calls are not paced
    uint8_t bytes[4] = {1, 2, 3, 4};
    ASSERT_EQ(target.Erase(1, 0xF000, 2), 0);
    ASSERT_EQ(target.EraseCheck(0xF000, 4), 0);
    ASSERT_EQ(target.Memory(0xF000, bytes, 4, 0), 0);
    ASSERT_EQ(target.VerifyMem(0xF000, 4, bytes), 0);
    ASSERT_EQ(target.Memory(0xF000, bytes, 4, 1), 0);
    EXPECT_EQ(waits, (std::vector<uint32_t>{25, 25, 25, 25, 25}));

    // Anything but a plain number of at most ten seconds means no delay.
    for (const char* bad : {"-5", "x", "10001", "5ms", ""}) {
        waits.clear();
        env_["PYROLA_SIM_FET_DELAY"] = bad;
        FetTarget other(Env(), [&](uint32_t ms) { waits.push_back(ms); });
        Attach(other);
        ASSERT_EQ(other.Memory(0xF000, bytes, 4, 1), 0);
        EXPECT_TRUE(waits.empty()) << bad;
    }
}

// A crash of the program driving the chip, at a chosen erase command: the program ends
// before the chip sees the command (here a recorder stands in for the process's end).
TEST_F(FetTargetTest, HostCrashFaultEndsTheProgramAtTheChosenErase) {
    env_["PYROLA_SIM_FAULTS"] = "crash-erase=1";
    env_["PYROLA_SIM_STATE"] = state_;
    FetTarget target(Env());
    int crashes = 0;
    target.SetHostCrash([&] { ++crashes; });
    Attach(target);
    DeviceModel& chip = *target.Model();
    chip.Poke(0xF000, 0x00);
    ASSERT_EQ(target.Erase(0, 0xF000, 512), 0);
    EXPECT_EQ(crashes, 0);
    chip.Poke(0xF000, 0x00);
    EXPECT_EQ(target.Erase(0, 0xF000, 512), -1);
    EXPECT_EQ(crashes, 1);
    EXPECT_EQ(target.ErrorNumber(), kFetHostCrashed);
    EXPECT_EQ(chip.Read(0xF000), 0x00); // the chip never saw the command
    // Writes are not counted, and the fault strikes once.
    uint8_t byte = 0x12;
    EXPECT_EQ(target.Memory(0xF002, &byte, 1, 0), 0);
    EXPECT_EQ(target.Erase(0, 0xF000, 512), 0);
    EXPECT_EQ(crashes, 1);
    env_["PYROLA_SIM_FAULTS"] = "crash-erase=x";
    FetTarget bad(Env());
    EXPECT_EQ(bad.Initialize("1", nullptr), -1);
    EXPECT_EQ(bad.ErrorNumber(), kFetBadFaults);
}

TEST(FaultList, ParsesEveryItemAndRejectsMalformedListsWhole) {
    DeviceModel chip;
    std::string error;
    ASSERT_TRUE(ApplyFaultList("stuck=0xF000:0x80:0, securityfuse;powerloss-erase=1", chip, &error));
    EXPECT_EQ(chip.Read(0xF000), 0x7F);
    EXPECT_TRUE(chip.SecurityFuseBlown());
    // Erases are counted, programming is not.
    EXPECT_TRUE(chip.Write(0xF100, 0x00));
    EXPECT_TRUE(chip.Write(0xF101, 0x00));
    EXPECT_TRUE(chip.EraseSegment(0xF100));
    EXPECT_FALSE(chip.EraseSegment(0xF100));
    EXPECT_TRUE(chip.PowerLost());

    DeviceModel other;
    for (const char* bad : {"stuck=0x10000:1:1", "stuck=1:0x100:0", "stuck=1:2", "powerloss=-1",
                            "powerloss=", "melt", "locked=1", "securityfuse,frobnicate"}) {
        SCOPED_TRACE(bad);
        error.clear();
        EXPECT_FALSE(ApplyFaultList(bad, other, &error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(other.SecurityFuseBlown()); // nothing of a rejected list was applied
    ASSERT_TRUE(ApplyFaultList("locked powerloss=0", other, nullptr));
    EXPECT_TRUE(other.FlashLocked());
    EXPECT_TRUE(ApplyFaultList("", other, nullptr));

    // A leading zero is still decimal: "010" is address 10, and "09" is a number too.
    DeviceModel zeros;
    ASSERT_TRUE(ApplyFaultList("stuck=010:0xFF:0x5A stuck=09:0x0F:0", zeros, &error)) << error;
    EXPECT_EQ(zeros.Read(10), 0x5A);
    EXPECT_EQ(zeros.Read(8), 0x00);
    zeros.Poke(9, 0xFF);
    EXPECT_EQ(zeros.Read(9), 0xF0);
}

TEST(InProcessFetLibrary, ResolvesAllNamesToOneSharedTarget) {
    fetlib::ResetTarget([](const char*) -> const char* { return nullptr; });
    auto library = fetlib::InProcessFetLoader().Load("anything");
    ASSERT_NE(library, nullptr);
    for (const char* name :
         {"MSP430_Initialize", "MSP430_Close", "MSP430_Identify", "MSP430_Device", "MSP430_Configure",
          "MSP430_VCC", "MSP430_Reset", "MSP430_Erase", "MSP430_Memory", "MSP430_VerifyMem",
          "MSP430_EraseCheck", "MSP430_Error_Number", "MSP430_Error_String"}) {
        EXPECT_NE(library->Symbol(name), nullptr) << name;
    }
    EXPECT_EQ(library->Symbol("MSP430_Other"), nullptr);
    auto initialize =
        reinterpret_cast<int32_t (*)(const char*, int32_t*)>(library->Symbol("MSP430_Initialize"));
    ASSERT_EQ(initialize("2", nullptr), 0);
    bool seen = false;
    fetlib::WithModel(
        [&](DeviceModel* model) { seen = model != nullptr && model->DeviceName() == "MSP430F149"; });
    EXPECT_TRUE(seen);
    fetlib::ResetTarget([](const char*) -> const char* { return nullptr; });
}

} // namespace
} // namespace pyrola::sim
