// Parallel ports on Windows: the WinIo port-I/O driver for every port, or the port-I/O
// library that $PYROLA_LPTn names for port n (the simulated chip, which then replaces the
// driver). The calls the driver client makes are the Win32 ones below.

#include "platform/PortIo.h"
#include "platform/PortIoClient.h"
#include "platform/PortIoSelector.h"

#include <windows.h>

#include <cstdlib>

namespace pyrola {

namespace {

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record the driver client queries");

HANDLE AsHandle(WinIoHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
SC_HANDLE AsService(WinIoHandle handle) {
    return reinterpret_cast<SC_HANDLE>(handle);
}
WinIoHandle FromService(SC_HANDLE handle) {
    return reinterpret_cast<WinIoHandle>(handle);
}

class Win32WinIoSystem : public WinIoSystem {
public:
    uint32_t PlatformId() override {
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof version;
        if (!GetVersionExA(&version)) {
            return kWinIoPlatformNt;
        }
        return version.dwPlatformId;
    }

    WinIoHandle OpenDevice(const std::string& name, uint32_t access, uint32_t creation,
                           uint32_t flags) override {
        HANDLE handle = CreateFileA(name.c_str(), access, 0, nullptr, creation, flags, nullptr);
        return handle == INVALID_HANDLE_VALUE ? kWinIoInvalidHandle : reinterpret_cast<WinIoHandle>(handle);
    }

    bool DeviceControl(WinIoHandle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                       uint32_t outSize) override {
        DWORD returned = 0;
        return DeviceIoControl(AsHandle(device), code, const_cast<void*>(in), inSize, out, outSize, &returned,
                               nullptr) != 0;
    }

    void CloseDevice(WinIoHandle device) override { CloseHandle(AsHandle(device)); }

    std::string ProgramFileName() override {
        char path[MAX_PATH + 1] = {};
        const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
    }

    bool FileExists(const std::string& path) override {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    std::string SystemDirectory() override {
        char path[MAX_PATH + 1] = {};
        const UINT length = GetSystemDirectoryA(path, MAX_PATH);
        return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
    }

    WinIoHandle OpenManager(uint32_t access) override {
        return FromService(OpenSCManagerA(nullptr, nullptr, access));
    }

    WinIoHandle OpenDriverService(WinIoHandle manager, const std::string& name, uint32_t access) override {
        return FromService(OpenServiceA(AsService(manager), name.c_str(), access));
    }

    WinIoHandle CreateDriverService(WinIoHandle manager, const std::string& name, uint32_t access,
                                    uint32_t type, uint32_t start, uint32_t errorControl,
                                    const std::string& path) override {
        return FromService(CreateServiceA(AsService(manager), name.c_str(), name.c_str(), access, type, start,
                                          errorControl, path.c_str(), nullptr, nullptr, nullptr, nullptr,
                                          nullptr));
    }

    bool StopDriverService(WinIoHandle service) override {
        SERVICE_STATUS status{};
        return ControlService(AsService(service), SERVICE_CONTROL_STOP, &status) != 0;
    }

    bool DeleteDriverService(WinIoHandle service) override {
        return ::DeleteService(AsService(service)) != 0;
    }

    uint32_t StartDriverService(WinIoHandle service) override {
        return StartServiceA(AsService(service), 0, nullptr) ? 0 : GetLastError();
    }

    void CloseService(WinIoHandle handle) override { ::CloseServiceHandle(AsService(handle)); }

    // The driver has granted this process the I/O ports; the instructions run directly.
    void OutByte(uint16_t port, uint8_t value) override {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
        __asm__ __volatile__("outb %0, %1" : : "a"(value), "Nd"(port));
#else
        (void)port;
        (void)value;
#endif
    }

    uint8_t InByte(uint16_t port) override {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
        uint8_t value;
        __asm__ __volatile__("inb %1, %0" : "=a"(value) : "Nd"(port));
        return value;
#else
        (void)port;
        return 0xFF;
#endif
    }
};

class Win32PortIo : public PortIoSelector {
public:
    Win32PortIo() : PortIoSelector(SystemLibraryLoader()), driver_(system_) {}
    ~Win32PortIo() override { Close(); }

protected:
    Route RouteFor(uint32_t portNumber) override {
        Route route;
        const char* named = std::getenv(LptVariableName(portNumber).c_str());
        if (named != nullptr && named[0] != '\0') {
            route.libraryPath = named;
        } else {
            route.native = &driver_;
        }
        return route;
    }

private:
    Win32WinIoSystem system_;
    PortIoClient driver_;
};

} // namespace

PortIo& SystemPortIo() {
    static Win32PortIo ports;
    return ports;
}

} // namespace pyrola
