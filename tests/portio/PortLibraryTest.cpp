// Port-I/O libraries: the simulated port library loaded by file name through the system
// loader, files that are no port library, this platform's choice of access per port
// number, and the simulated port behind the library (its chip and state file).
#include "adapters/raw/RawJtagAdapter.h"
#include "platform/DynamicLibrary.h"
#include "platform/LibraryPortIo.h"
#include "platform/PortIo.h"
#include "platform/VirtualClock.h"
#include "sim/SimEnvironment.h"
#include "sim/SimPortSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

namespace pyrola::test {
namespace {

namespace fs = std::filesystem;
using sim::SetEnvValue;

std::string TempPath(const std::string& tag) {
    return (fs::temp_directory_path() /
            ("pyrola_portio_" + tag + "_" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
             std::to_string(std::random_device{}())))
        .string();
}

TEST(LibraryPortIo, TheSimulatedPortLibraryCarriesAccessesToItsChip) {
    const std::string state = TempPath("state");
    SetEnvValue("PYROLA_SIM_STATE", state);
    {
        LibraryPortIo port(SystemLibraryLoader(), PYROLA_SIM_PORT_LIBRARY);
        EXPECT_EQ(port.ReadPort(0x379), 0xFF); // not open yet
        ASSERT_TRUE(port.Open(1)) << port.Describe();
        EXPECT_EQ(port.Describe(), std::string("simulated port library ") + PYROLA_SIM_PORT_LIBRARY);
        EXPECT_TRUE(port.Open(1));             // kept as it is
        EXPECT_EQ(port.ReadPort(0x379), 0x20); // unpowered chip: TDO reads high
        port.WritePort(0x378, 0xF0);           // supply on
        EXPECT_EQ(port.ReadPort(0x379), 0x20);
        EXPECT_EQ(port.ReadPort(0x37A), 0xFF); // the control register is write-only
        port.Close();
        EXPECT_FALSE(port.IsOpen());
    }
    SetEnvValue("PYROLA_SIM_STATE", "");
    fs::remove(state);
}

TEST(LibraryPortIo, FilesThatAreNoPortLibraryAreNamedInTheReason) {
    LibraryPortIo missing(SystemLibraryLoader(), TempPath("missing"));
    EXPECT_FALSE(missing.Open(1));
    EXPECT_EQ(missing.Describe().find("could not load the port library"), 0u);
    LibraryPortIo other(SystemLibraryLoader(), PYROLA_SIM_FET_LIBRARY);
    EXPECT_FALSE(other.Open(1));
    EXPECT_NE(other.Describe().find("is no port library"), std::string::npos);
    EXPECT_EQ(other.ReadPort(0x379), 0xFF);

    SetEnvValue("PYROLA_SIM_DEVICE", "MSP430F999");
    LibraryPortIo refused(SystemLibraryLoader(), PYROLA_SIM_PORT_LIBRARY);
    EXPECT_FALSE(refused.Open(2));
    EXPECT_NE(refused.Describe().find("refused LPT2: Unknown simulated device"), std::string::npos);
    SetEnvValue("PYROLA_SIM_DEVICE", "");
}

TEST(SystemPortIo, PyrolaLptNamesTheLibraryOrTheDeviceOfItsPort) {
    PortIo& ports = SystemPortIo();
    SetEnvValue("PYROLA_LPT7", PYROLA_SIM_PORT_LIBRARY);
    ASSERT_TRUE(ports.Open(7)) << ports.Describe();
    EXPECT_NE(ports.Describe().find("simulated port library"), std::string::npos);
    EXPECT_EQ(ports.ReadPort(LptBaseAddress(7) + 1), 0x20);
    const std::string missing = TempPath("nothing");
    SetEnvValue("PYROLA_LPT7", missing);
    EXPECT_FALSE(ports.Open(7));
    EXPECT_FALSE(ports.IsOpen());
    EXPECT_NE(ports.Describe().find(missing), std::string::npos) << ports.Describe();
    EXPECT_EQ(ports.ReadPort(0x379), 0xFF);
    SetEnvValue("PYROLA_LPT7", "");
    ports.Close();
}

// The simulated port in this process, on a virtual clock, driven by the RAW adapter.
class SimulatedPort : public ::testing::Test {
protected:
    class SessionPort : public PortIo {
    public:
        explicit SessionPort(sim::SimPortSession& session) : session_(session) {}
        bool Open(uint32_t n) override { return session_.IsOpen() || session_.Open(n) == 0; }
        bool IsOpen() const override { return session_.IsOpen(); }
        void WritePort(uint16_t a, uint8_t v) override { session_.Write(a, v); }
        uint8_t ReadPort(uint16_t a) override { return static_cast<uint8_t>(session_.Read(a)); }
        void Close() override { session_.Close(); }
        std::string Describe() const override { return session_.Error(); }
        // The session's time already holds the test clock's sleeps.
        bool ModelledNanoseconds(uint64_t* ns) override {
            *ns = session_.NowNs();
            return true;
        }
        void SpinUntil(uint64_t ns) override { session_.SpinUntil(ns); }

    private:
        sim::SimPortSession& session_;
    };

    void SetUp() override {
        env["PYROLA_SIM_STATE"] = TempPath("chip");
        record.supplyMillivolts = 3600;
    }
    void TearDown() override { fs::remove(env["PYROLA_SIM_STATE"]); }
    sim::SimEnvironment Environment() {
        return [this](const char* name) -> const char* {
            auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        };
    }
    std::unique_ptr<sim::SimPortSession> NewSession() {
        return std::make_unique<sim::SimPortSession>(Environment(), [this] { return clock.Nanoseconds(); });
    }

    std::map<std::string, std::string> env;
    VirtualClock clock;
    DeviceRecord record{};
};

TEST_F(SimulatedPort, TheStateFileCarriesTheChipFromOneSessionToTheNext) {
    const uint8_t data[6] = {1, 2, 3, 4, 5, 6};
    {
        auto session = NewSession();
        SessionPort port(*session);
        RawJtagAdapter raw(port, clock);
        raw.deviceRecord = &record;
        ASSERT_TRUE(raw.Open()) << raw.GetErrorText(raw.GetErrorNumber());
        ASSERT_EQ(raw.WriteMemory(0xC000, data, 6), 0);
        raw.Close(); // releasing the lines saves the changed chip
        EXPECT_TRUE(fs::exists(env["PYROLA_SIM_STATE"]));
        EXPECT_EQ(session->Model()->Read(0xC005), 6);
    }
    auto session = NewSession();
    SessionPort port(*session);
    RawJtagAdapter raw(port, clock);
    raw.deviceRecord = &record;
    ASSERT_TRUE(raw.Open());
    EXPECT_EQ(raw.VerifyMemory(0xC000, data, 6), 0);
    EXPECT_EQ(session->Model()->Read(0xC000), 1);
}

TEST_F(SimulatedPort, TheEnvironmentChoosesTheChipAndItsFaults) {
    env["PYROLA_SIM_DEVICE"] = "MSP430F135";
    {
        auto session = NewSession();
        SessionPort port(*session);
        RawJtagAdapter raw(port, clock);
        raw.deviceRecord = &record;
        ASSERT_TRUE(raw.Open());
        EXPECT_STREQ(record.name, "MSP430F135");
        ASSERT_EQ(raw.Erase(kEraseMain, 0xC000, 0x4000), 0);
        raw.Close();
    }
    env["PYROLA_SIM_DEVICE"] = "MSP430F149"; // the state file holds another chip
    auto mismatch = NewSession();
    EXPECT_EQ(mismatch->Open(1), -1);
    EXPECT_STREQ(mismatch->Error(), "Simulated target state file holds another device");

    env.erase("PYROLA_SIM_DEVICE");
    fs::remove(env["PYROLA_SIM_STATE"]);
    env["PYROLA_SIM_FAULTS"] = "bogus=1";
    auto bad = NewSession();
    EXPECT_EQ(bad->Open(1), -1);
    EXPECT_STREQ(bad->Error(), "Invalid list of simulated faults");

    env["PYROLA_SIM_FAULTS"] = "nocable";
    auto unplugged = NewSession();
    ASSERT_EQ(unplugged->Open(1), 0);
    unplugged->Write(0x378, 0xF0);
    EXPECT_EQ(unplugged->Read(0x379), 0xFFu);
    EXPECT_EQ(unplugged->Close(), 0);
}

TEST_F(SimulatedPort, TheAccessTimeComesFromTheEnvironmentAndWaitsAddToTheModelledTime) {
    env["PYROLA_SIM_PORT_NS"] = "300";
    sim::SimPortSession session(Environment()); // no clock: only accesses and waits count
    ASSERT_EQ(session.Open(1), 0);
    const uint64_t start = session.NowNs();
    for (int i = 0; i < 10; ++i)
        session.Read(0x379);
    EXPECT_EQ(session.NowNs() - start, 3000u);
    session.Wait(2);
    EXPECT_EQ(session.NowNs() - start, 2003000u);
    session.Close();
    for (const char* bad : {"0", "-5", "1000001", "fast", "300ns"}) {
        env["PYROLA_SIM_PORT_NS"] = bad;
        sim::SimPortSession refused(Environment());
        EXPECT_EQ(refused.Open(1), -1) << bad;
        EXPECT_STREQ(refused.Error(),
                     "Invalid simulated port access time (PYROLA_SIM_PORT_NS: 1 to 1000000 ns)");
    }
}

TEST_F(SimulatedPort, AStateFileThatCannotBeWrittenFailsTheClose) {
    const std::string file = TempPath("plainfile");
    std::ofstream(file) << "x"; // a file where the state file's folder would have to be
    env["PYROLA_SIM_STATE"] = (fs::path(file) / "chip").string();
    auto session = NewSession();
    SessionPort port(*session);
    RawJtagAdapter raw(port, clock);
    raw.deviceRecord = &record;
    ASSERT_TRUE(raw.Open());
    const uint8_t data[2] = {0, 0};
    ASSERT_EQ(raw.WriteMemory(0xC000, data, 2), 0);
    session->Write(0x37A, 0x00);
    EXPECT_EQ(session->Close(), -1);
    EXPECT_STREQ(session->Error(), "Simulated target state file could not be written");
    fs::remove(file);
}

} // namespace
} // namespace pyrola::test
