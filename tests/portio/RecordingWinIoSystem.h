#pragma once
// A WinIoSystem that writes every call into a log and plays a small service manager: a
// service exists once created until deleted, starts with a chosen result, and the
// driver's device opens only while the driver runs.

#include "platform/WinIoSystem.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace pyrola::test {

class RecordingWinIoSystem : public WinIoSystem {
public:
    std::vector<std::string> log;
    uint32_t platformId = kWinIoPlatformNt;
    bool driverRunning = false;
    bool serviceExists = false;
    bool grantSucceeds = true;
    bool managerOpens = true;
    uint32_t startResult = 0;
    std::string programFile = "C:\\Tools\\Pyrola\\pyrola.exe";
    std::vector<std::string> existingFiles;
    std::string systemDirectory = "C:\\WINDOWS\\system32";
    uint32_t readValue = 0x5A;
    std::vector<uint8_t> lastRecord;

    uint32_t PlatformId() override { return platformId; }
    WinIoHandle OpenDevice(const std::string& name, uint32_t access, uint32_t creation,
                           uint32_t flags) override {
        Log("OpenDevice %s %X %u %X", name.c_str(), access, creation, flags);
        const bool vxd = name.find(".VXD") != std::string::npos;
        return (vxd ? platformId != kWinIoPlatformNt : driverRunning) ? kDevice : kWinIoInvalidHandle;
    }
    bool DeviceControl(WinIoHandle, uint32_t code, const void* in, uint32_t inSize, void* out,
                       uint32_t outSize) override {
        Log("DeviceControl %X", code);
        lastRecord.assign(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + inSize);
        if (out != nullptr && outSize == 4)
            std::memcpy(out, &readValue, 4);
        return code != 0x80102048 || grantSucceeds;
    }
    void CloseDevice(WinIoHandle) override { Log("%s", "CloseDevice"); }
    std::string ProgramFileName() override { return programFile; }
    bool FileExists(const std::string& path) override {
        for (const std::string& f : existingFiles)
            if (f == path)
                return true;
        return false;
    }
    std::string SystemDirectory() override { return systemDirectory; }
    WinIoHandle OpenManager(uint32_t access) override {
        Log("OpenManager %X", access);
        return managerOpens ? kManager : 0;
    }
    WinIoHandle OpenDriverService(WinIoHandle, const std::string& name, uint32_t access) override {
        Log("OpenService %s %X", name.c_str(), access);
        return serviceExists ? kService : 0;
    }
    WinIoHandle CreateDriverService(WinIoHandle, const std::string& name, uint32_t access, uint32_t type,
                                    uint32_t start, uint32_t errorControl, const std::string& path) override {
        Log("CreateService %s %X %u %u %u %s", name.c_str(), access, type, start, errorControl, path.c_str());
        serviceExists = true;
        return kService;
    }
    bool StopDriverService(WinIoHandle) override {
        Log("%s", "StopService");
        driverRunning = false;
        return true;
    }
    bool DeleteDriverService(WinIoHandle) override {
        Log("%s", "DeleteService");
        serviceExists = false;
        return true;
    }
    uint32_t StartDriverService(WinIoHandle) override {
        Log("%s", "StartService");
        if (startResult == 0 || startResult == kWinIoErrorAlreadyRunning)
            driverRunning = true;
        return startResult;
    }
    void CloseService(WinIoHandle handle) override {
        Log("%s", handle == kManager ? "CloseManager" : "CloseService");
    }
    void OutByte(uint16_t port, uint8_t value) override { Log("out %X %02X", port, value); }
    uint8_t InByte(uint16_t port) override {
        Log("in %X", port);
        return static_cast<uint8_t>(readValue);
    }

private:
    static constexpr WinIoHandle kDevice = 0x44;
    static constexpr WinIoHandle kManager = 0x55;
    static constexpr WinIoHandle kService = 0x66;

    template <typename... Args> void Log(const char* format, Args... args) {
        char text[200];
        std::snprintf(text, sizeof text, format, args...);
        log.push_back(text);
    }
};

} // namespace pyrola::test
