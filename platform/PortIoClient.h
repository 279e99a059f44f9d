#pragma once
// The client of the WinIo port-I/O driver. On the NT family the driver is the kernel
// driver "winio.sys", installed and started as the service "WINIO" for the time the
// program runs; once its device "\\.\WINIO" grants the process port access, the program
// runs the processor's port instructions itself. On Windows 9x the virtual device
// "\\.\WINIO.VXD" carries every port access as a request. The calls go through a
// WinIoSystem, so the sequences are the same under test as on Windows.

#include "platform/PortIo.h"
#include "platform/WinIoSystem.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace pyrola {

// Driver requests.
inline constexpr uint32_t kWinIoGrantPortAccess = 0x80102048;    // NT
inline constexpr uint32_t kWinIoWithdrawPortAccess = 0x8010204C; // NT
inline constexpr uint32_t kWinIoWritePort = 0x220007;            // 9x, port record in
inline constexpr uint32_t kWinIoReadPort = 0x22000B;             // 9x, port record in, 4 bytes out

inline constexpr const char* kWinIoServiceName = "WINIO";
inline constexpr const char* kWinIoDriverFile = "winio.sys";
inline constexpr const char* kWinIoNtDevice = "\\\\.\\WINIO";
inline constexpr const char* kWinIo9xDevice = "\\\\.\\WINIO.VXD";

#pragma pack(push, 1)
// One port access for the 9x driver.
struct WinIoPortRecord {
    uint16_t port;
    uint32_t value; // the byte to write in its low 8 bits; not filled for a read
    uint8_t size;   // always 1
};
#pragma pack(pop)
static_assert(sizeof(WinIoPortRecord) == 7);
static_assert(offsetof(WinIoPortRecord, port) == 0);
static_assert(offsetof(WinIoPortRecord, value) == 2);
static_assert(offsetof(WinIoPortRecord, size) == 6);

class PortIoClient : public PortIo {
public:
    explicit PortIoClient(WinIoSystem& system) : system_(system) {}
    ~PortIoClient() override { CloseDriver(); }

    // Installs and opens the driver; the open flag afterwards.
    bool OpenDriver();
    // Withdraws the port access and removes the service (NT); only when open.
    void CloseDriver();

    // The driver serves every port: Open opens it when it is not open yet.
    bool Open(uint32_t portNumber) override;
    bool IsOpen() const override { return open != 0; }
    void WritePort(uint16_t address, uint8_t value) override;
    uint8_t ReadPort(uint16_t address) override;
    void Close() override { CloseDriver(); }
    std::string Describe() const override;

    uint8_t nt = 0;
    WinIoHandle handle = kWinIoInvalidHandle;
    uint8_t open = 0;
    char driverPath[260] = {};

private:
    bool OpenNtDevice();
    void BuildDriverPath();
    void RemoveService();
    bool StartDriver();

    WinIoSystem& system_;
    bool tried_ = false;
};

} // namespace pyrola
