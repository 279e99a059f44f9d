#pragma once
// The Windows calls the WinIo driver client makes, one method each, so that the client's
// sequences (install, start, open, stop, remove) run against a recording double in
// native tests. Handles are the system's values carried as integers: device handles are
// all ones when invalid, service-manager handles zero.

#include <cstdint>
#include <string>

namespace pyrola {

using WinIoHandle = uintptr_t;
inline constexpr WinIoHandle kWinIoInvalidHandle = ~WinIoHandle{0};

// Values of the calls (the Win32 constants).
inline constexpr uint32_t kWinIoPlatformNt = 2;
inline constexpr uint32_t kWinIoAccessReadWrite = 0xC0000000;
inline constexpr uint32_t kWinIoCreateNew = 1;
inline constexpr uint32_t kWinIoOpenExisting = 3;
inline constexpr uint32_t kWinIoAttributeNormal = 0x80;
inline constexpr uint32_t kWinIoDeleteOnClose = 0x04000000;
inline constexpr uint32_t kWinIoManagerAllAccess = 0xF003F;
inline constexpr uint32_t kWinIoServiceAllAccess = 0xF01FF;
inline constexpr uint32_t kWinIoKernelDriver = 1;
inline constexpr uint32_t kWinIoDemandStart = 3;
inline constexpr uint32_t kWinIoErrorNormal = 1;
inline constexpr uint32_t kWinIoErrorAlreadyRunning = 1056;

class WinIoSystem {
public:
    virtual ~WinIoSystem() = default;

    // Platform id of the operating-system version record (2 = NT family).
    virtual uint32_t PlatformId() = 0;

    // CreateFileA on a device name; kWinIoInvalidHandle on failure.
    virtual WinIoHandle OpenDevice(const std::string& name, uint32_t access, uint32_t creation,
                                   uint32_t flags) = 0;
    // DeviceIoControl; true on success. `out` may be null when outSize is 0.
    virtual bool DeviceControl(WinIoHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                               uint32_t outSize) = 0;
    virtual void CloseDevice(WinIoHandle device) = 0;

    // Full file name of the running program; empty when unknown.
    virtual std::string ProgramFileName() = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // The system directory, without a trailing backslash.
    virtual std::string SystemDirectory() = 0;

    // Service control manager; every open and create gives 0 on failure.
    virtual WinIoHandle OpenManager(uint32_t access) = 0;
    virtual WinIoHandle OpenDriverService(WinIoHandle manager, const std::string& name, uint32_t access) = 0;
    virtual WinIoHandle CreateDriverService(WinIoHandle manager, const std::string& name, uint32_t access,
                                            uint32_t type, uint32_t start, uint32_t errorControl,
                                            const std::string& path) = 0;
    virtual bool StopDriverService(WinIoHandle service) = 0;
    virtual bool DeleteDriverService(WinIoHandle service) = 0;
    // 0 when the service started, else the system's error code.
    virtual uint32_t StartDriverService(WinIoHandle service) = 0;
    virtual void CloseService(WinIoHandle handle) = 0;

    // The processor's byte port instructions (usable once the driver granted access).
    virtual void OutByte(uint16_t port, uint8_t value) = 0;
    virtual uint8_t InByte(uint16_t port) = 0;
};

} // namespace pyrola
