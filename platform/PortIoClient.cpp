#include "platform/PortIoClient.h"

#include <cstring>

namespace pyrola {

namespace {

// Opens the manager and the named service, runs `use` on the service, closes both.
// False when either could not be opened.
template <typename Use> bool WithService(WinIoSystem& system, Use use) {
    WinIoHandle manager = system.OpenManager(kWinIoManagerAllAccess);
    if (manager == 0) {
        return false;
    }
    WinIoHandle service = system.OpenDriverService(manager, kWinIoServiceName, kWinIoServiceAllAccess);
    if (service != 0) {
        use(service);
        system.CloseService(service);
    }
    system.CloseService(manager);
    return service != 0;
}

} // namespace

bool PortIoClient::OpenNtDevice() {
    handle =
        system_.OpenDevice(kWinIoNtDevice, kWinIoAccessReadWrite, kWinIoOpenExisting, kWinIoAttributeNormal);
    if (handle == kWinIoInvalidHandle) {
        return false;
    }
    if (system_.DeviceControl(handle, kWinIoGrantPortAccess, nullptr, 0, nullptr, 0)) {
        open = 1;
    } else {
        // A device that refuses the grant is of no use; keep no handle to it.
        system_.CloseDevice(handle);
        handle = kWinIoInvalidHandle;
    }
    return true;
}

void PortIoClient::BuildDriverPath() {
    std::string path = system_.ProgramFileName();
    const size_t slash = path.find_last_of('\\');
    path = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    path += kWinIoDriverFile;
    if (!system_.FileExists(path)) {
        path = system_.SystemDirectory() + "\\" + kWinIoDriverFile;
    }
    std::memset(driverPath, 0, sizeof driverPath);
    std::strncpy(driverPath, path.c_str(), sizeof driverPath - 1);
}

void PortIoClient::RemoveService() {
    WithService(system_, [this](WinIoHandle service) { system_.StopDriverService(service); });
    WithService(system_, [this](WinIoHandle service) { system_.DeleteDriverService(service); });
}

bool PortIoClient::StartDriver() {
    uint32_t error = 0;
    if (!WithService(system_, [&](WinIoHandle service) { error = system_.StartDriverService(service); })) {
        return false;
    }
    return error == 0 || error == kWinIoErrorAlreadyRunning;
}

bool PortIoClient::OpenDriver() {
    if (open) {
        return true;
    }
    tried_ = true;
    nt = system_.PlatformId() == kWinIoPlatformNt ? 1 : 0;
    if (!nt) {
        handle = system_.OpenDevice(kWinIo9xDevice, 0, kWinIoCreateNew, kWinIoDeleteOnClose);
        open = handle != kWinIoInvalidHandle ? 1 : 0;
        return open != 0;
    }
    if (OpenNtDevice()) {
        return open != 0; // the driver was running already
    }
    BuildDriverPath();
    RemoveService();

    WinIoHandle manager = system_.OpenManager(kWinIoManagerAllAccess);
    if (manager == 0) {
        return false;
    }
    WinIoHandle service =
        system_.CreateDriverService(manager, kWinIoServiceName, kWinIoServiceAllAccess, kWinIoKernelDriver,
                                    kWinIoDemandStart, kWinIoErrorNormal, driverPath);
    if (service != 0) {
        system_.CloseService(service);
    }
    system_.CloseService(manager);
    if (service == 0) {
        return false;
    }
    if (!StartDriver()) {
        // Leave no service behind that this program installed and could not use.
        RemoveService();
        return false;
    }
    OpenNtDevice();
    return open != 0;
}

void PortIoClient::CloseDriver() {
    if (!open) {
        return;
    }
    if (nt) {
        if (handle != kWinIoInvalidHandle) {
            system_.DeviceControl(handle, kWinIoWithdrawPortAccess, nullptr, 0, nullptr, 0);
            system_.CloseDevice(handle);
            handle = kWinIoInvalidHandle;
        }
        RemoveService();
    } else {
        system_.CloseDevice(handle);
        handle = kWinIoInvalidHandle;
    }
    open = 0;
}

bool PortIoClient::Open(uint32_t) {
    return OpenDriver();
}

void PortIoClient::WritePort(uint16_t address, uint8_t value) {
    if (!open) {
        return;
    }
    if (nt) {
        system_.OutByte(address, value);
        return;
    }
    WinIoPortRecord record{address, value, 1};
    system_.DeviceControl(handle, kWinIoWritePort, &record, sizeof record, nullptr, 0);
}

uint8_t PortIoClient::ReadPort(uint16_t address) {
    if (!open) {
        return 0xFF;
    }
    if (nt) {
        return system_.InByte(address);
    }
    WinIoPortRecord record{address, 0, 1};
    uint32_t value = 0xFF;
    if (!system_.DeviceControl(handle, kWinIoReadPort, &record, sizeof record, &value, sizeof value)) {
        return 0xFF;
    }
    return static_cast<uint8_t>(value & 0xFF);
}

std::string PortIoClient::Describe() const {
    if (!tried_) {
        return "";
    }
    if (open) {
        return std::string("WinIo port driver ") + (nt ? kWinIoNtDevice : kWinIo9xDevice);
    }
    if (!nt) {
        return std::string("the WinIo port driver ") + kWinIo9xDevice + " could not be opened";
    }
    return std::string("the WinIo port driver could not be installed and opened (driver file ") + driverPath +
           ")";
}

} // namespace pyrola
