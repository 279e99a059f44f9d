// Parallel-port access (platform/): the WinIo driver client, port-I/O libraries, this
// platform's choice of access; also the simulated port behind the library (sim/).
//
// Here: the WinIo driver client's sequences against a recording Windows.
#include "platform/PortIoClient.h"
#include "tests/portio/RecordingWinIoSystem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pyrola::test {
namespace {

using Strings = std::vector<std::string>;

const Strings kRemoveService = {
    "OpenManager F003F", "OpenService WINIO F01FF", "StopService",   "CloseService", "CloseManager",
    "OpenManager F003F", "OpenService WINIO F01FF", "DeleteService", "CloseService", "CloseManager"};

Strings Join(std::initializer_list<Strings> parts) {
    Strings out;
    for (const Strings& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(PortIoClient, ARunningDriverIsOnlyAskedForPortAccessButRemovedAtExit) {
    RecordingWinIoSystem system;
    system.driverRunning = true;
    system.serviceExists = true;
    {
        PortIoClient client(system);
        EXPECT_TRUE(client.OpenDriver());
        EXPECT_EQ(client.nt, 1);
        EXPECT_EQ(client.open, 1);
        EXPECT_EQ(system.log, (Strings{"OpenDevice \\\\.\\WINIO C0000000 3 80", "DeviceControl 80102048"}));
        EXPECT_EQ(client.Describe(), "WinIo port driver \\\\.\\WINIO");
        system.log.clear();
    }
    EXPECT_EQ(system.log, Join({{"DeviceControl 8010204C", "CloseDevice"}, kRemoveService}));
    EXPECT_FALSE(system.serviceExists);
}

TEST(PortIoClient, InstallsTheDriverBesideTheProgramRemovingAStaleServiceFirst) {
    RecordingWinIoSystem system;
    system.serviceExists = true; // left over from an earlier run
    system.existingFiles = {"C:\\Tools\\Pyrola\\winio.sys"};
    PortIoClient client(system);
    ASSERT_TRUE(client.OpenDriver());
    EXPECT_STREQ(client.driverPath, "C:\\Tools\\Pyrola\\winio.sys");
    EXPECT_EQ(system.log,
              Join({{"OpenDevice \\\\.\\WINIO C0000000 3 80"},
                    kRemoveService,
                    {"OpenManager F003F", "CreateService WINIO F01FF 1 3 1 C:\\Tools\\Pyrola\\winio.sys",
                     "CloseService", "CloseManager", "OpenManager F003F", "OpenService WINIO F01FF",
                     "StartService", "CloseService", "CloseManager", "OpenDevice \\\\.\\WINIO C0000000 3 80",
                     "DeviceControl 80102048"}}));
    // Port access runs the processor's instructions once granted.
    system.log.clear();
    client.WritePort(0x378, 0xA5);
    EXPECT_EQ(client.ReadPort(0x379), 0x5A);
    EXPECT_EQ(system.log, (Strings{"out 378 A5", "in 379"}));
}

TEST(PortIoClient, WithoutTheFileBesideTheProgramTheSystemDirectoryIsUsed) {
    RecordingWinIoSystem system;
    PortIoClient client(system);
    ASSERT_TRUE(client.OpenDriver());
    EXPECT_STREQ(client.driverPath, "C:\\WINDOWS\\system32\\winio.sys");
}

TEST(PortIoClient, AServiceAlreadyRunningCountsAsStarted) {
    RecordingWinIoSystem system;
    system.startResult = kWinIoErrorAlreadyRunning;
    PortIoClient client(system);
    EXPECT_TRUE(client.OpenDriver());
}

TEST(PortIoClient, AFailedStartLeavesNoServiceAndNoAccess) {
    RecordingWinIoSystem system;
    system.startResult = 2; // the driver file is missing
    PortIoClient client(system);
    EXPECT_FALSE(client.OpenDriver());
    EXPECT_FALSE(client.IsOpen());
    EXPECT_FALSE(system.serviceExists);
    EXPECT_EQ(Strings(system.log.end() - kRemoveService.size(), system.log.end()), kRemoveService);
    EXPECT_NE(client.Describe().find("C:\\WINDOWS\\system32\\winio.sys"), std::string::npos);
    // Unopened: reads give all ones, writes reach nothing.
    system.log.clear();
    EXPECT_EQ(client.ReadPort(0x379), 0xFF);
    client.WritePort(0x378, 0x00);
    EXPECT_TRUE(system.log.empty());
    client.CloseDriver();
    EXPECT_TRUE(system.log.empty());
}

TEST(PortIoClient, NoServiceManagerNoDriver) {
    RecordingWinIoSystem system;
    system.managerOpens = false;
    PortIoClient client(system);
    EXPECT_FALSE(client.OpenDriver());
    for (const std::string& line : system.log)
        EXPECT_EQ(line.find("CreateService"), std::string::npos);
    // The adapter's next Open tries again.
    system.managerOpens = true;
    EXPECT_TRUE(client.Open(1));
}

TEST(PortIoClient, AGrantRefusedByARunningDriverClosesItsHandle) {
    RecordingWinIoSystem system;
    system.driverRunning = true;
    system.grantSucceeds = false;
    PortIoClient client(system);
    EXPECT_FALSE(client.OpenDriver());
    EXPECT_EQ(system.log,
              (Strings{"OpenDevice \\\\.\\WINIO C0000000 3 80", "DeviceControl 80102048", "CloseDevice"}));
    EXPECT_EQ(client.handle, kWinIoInvalidHandle);
}

TEST(PortIoClient, Windows9xSendsEveryAccessAsAPortRecord) {
    RecordingWinIoSystem system;
    system.platformId = 1;
    system.readValue = 0x1234;
    {
        PortIoClient client(system);
        ASSERT_TRUE(client.OpenDriver());
        EXPECT_EQ(client.nt, 0);
        EXPECT_EQ(system.log, (Strings{"OpenDevice \\\\.\\WINIO.VXD 0 1 4000000"}));
        client.WritePort(0x37A, 0x0C);
        EXPECT_EQ(system.lastRecord, (std::vector<uint8_t>{0x7A, 0x03, 0x0C, 0, 0, 0, 1}));
        EXPECT_EQ(client.ReadPort(0x379), 0x34); // the low byte of the four returned
        EXPECT_EQ(system.lastRecord.size(), 7u);
        EXPECT_EQ(system.lastRecord[0], 0x79);
        EXPECT_EQ(system.lastRecord[6], 1);
        system.log.clear();
    }
    EXPECT_EQ(system.log, (Strings{"CloseDevice"})); // no service on 9x
}

} // namespace
} // namespace pyrola::test
