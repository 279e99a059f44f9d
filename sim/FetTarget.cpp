#include "sim/FetTarget.h"

#include "adapters/DeviceRecord.h"
#include "adapters/DeviceTable.h"
#include "sim/FaultList.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

namespace pyrola::sim {

namespace {

constexpr const char* kErrorTexts[kFetErrorCount] = {
    "No error",
    "Interface not initialized",
    "Could not open the FET port",
    "Simulated target state file is unreadable",
    "Simulated target state file could not be written",
    "Unknown simulated device",
    "Simulated target state file holds another device",
    "Invalid list of simulated faults",
    "Target supply voltage out of range",
    "Target is not powered",
    "Could not access device: security fuse is blown",
    "Device not identified",
    "Invalid parameter",
    "Address range outside target memory",
    "Flash erase failed",
    "Flash programming failed",
    "Target lost its supply during a flash operation",
    "Memory is not blank",
    "Memory differs from the data",
    "Device record buffer too small",
    "The program driving the chip crashed",
};

const char* SystemEnvironment(const char* name) {
    return std::getenv(name);
}

bool ValidPort(const char* port) {
    if (port == nullptr || port[0] < '1' || port[0] > '9') {
        return false;
    }
    char* end = nullptr;
    long number = std::strtol(port, &end, 10);
    return *end == '\0' && number >= 1 && number <= 255;
}

// Row of the device list with this name (the first, for names listed twice).
uint32_t DeviceIndexOf(const std::string& name) {
    for (uint32_t i = 1; i < kDeviceCount; ++i) {
        if (name == DeviceName(i)) {
            return i;
        }
    }
    return 0;
}

void RealSleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

constexpr uint32_t kMaxDelayMs = 10000;

// The delay setting: a plain decimal number of milliseconds; anything else means none.
uint32_t DelaySetting(const char* text) {
    if (text == nullptr || text[0] < '0' || text[0] > '9') {
        return 0;
    }
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    return (*end == '\0' && value <= kMaxDelayMs) ? static_cast<uint32_t>(value) : 0;
}

} // namespace

FetTarget::FetTarget() : FetTarget(SystemEnvironment) {}

FetTarget::FetTarget(Environment environment) : FetTarget(std::move(environment), RealSleep) {}

FetTarget::FetTarget(Environment environment, Sleeper sleeper)
    : environment_(std::move(environment)), sleeper_(std::move(sleeper)) {}

void FetTarget::Pace() {
    if (delayMs_ > 0 && sleeper_) {
        sleeper_(delayMs_);
    }
}

const char* FetTarget::ErrorString(int32_t number) {
    if (number < 0 || number >= kFetErrorCount) {
        return "Unknown error";
    }
    return kErrorTexts[number];
}

int32_t FetTarget::Fail(FetError error) {
    error_ = error;
    return -1;
}

bool FetTarget::CheckReady(bool needIdentified) {
    if (!initialized_) {
        Fail(kFetNotInitialized);
        return false;
    }
    if (needIdentified && !identified_) {
        Fail(kFetNotIdentified);
        return false;
    }
    if (model_->PowerLost()) {
        Fail(kFetPowerLost);
        return false;
    }
    return true;
}

bool FetTarget::CheckRange(int32_t address, int32_t count) {
    if (address < 0 || count < 0 || int64_t(address) + count > int64_t(kAddressSpaceSize)) {
        Fail(kFetBadAddress);
        return false;
    }
    return true;
}

int32_t FetTarget::Persist() {
    if (statePath_.empty() || model_->Save(statePath_)) {
        return 0;
    }
    return Fail(kFetStateUnwritable);
}

int32_t FetTarget::Initialize(const char* port, int32_t* version) {
    error_ = kFetNoError;
    initialized_ = false;
    identified_ = false;
    supplyMillivolts_ = 0;
    if (!ValidPort(port)) {
        return Fail(kFetBadPort);
    }
    const char* device = environment_("PYROLA_SIM_DEVICE");
    const bool deviceNamed = device != nullptr && device[0] != '\0';
    if (deviceNamed && !DeviceModel::IsDeviceName(device)) {
        return Fail(kFetUnknownDevice);
    }
    delayMs_ = DelaySetting(environment_("PYROLA_SIM_FET_DELAY"));
    const char* state = environment_("PYROLA_SIM_STATE");
    statePath_ = state != nullptr ? state : "";

    // A state file, when there is one, says what the chip holds at every start (another
    // run may have changed it); a state file not yet written means a new chip. Without
    // one the chip lives as long as the process.
    std::error_code ec;
    if (!statePath_.empty() && std::filesystem::exists(statePath_, ec)) {
        DeviceModel probe;
        if (!probe.Load(statePath_)) {
            return Fail(kFetStateUnreadable);
        }
        if (deviceNamed && probe.DeviceName() != device) {
            return Fail(kFetDeviceMismatch);
        }
        if (model_ == nullptr) {
            model_ = std::make_unique<DeviceModel>(probe.DeviceName());
            faultsApplied_ = false;
        }
        // Loading in place keeps the faults already injected into this chip.
        if (!model_->Load(statePath_)) {
            return Fail(kFetStateUnreadable);
        }
    } else if (model_ == nullptr || !statePath_.empty() || (deviceNamed && model_->DeviceName() != device)) {
        model_ = std::make_unique<DeviceModel>(deviceNamed ? device : kDefaultChip);
        faultsApplied_ = false;
    }
    if (!faultsApplied_) {
        const char* faults = environment_("PYROLA_SIM_FAULTS");
        if (faults != nullptr && !ApplyFaultList(faults, *model_, nullptr)) {
            return Fail(kFetBadFaults);
        }
        faultsApplied_ = true;
    }
    if (version != nullptr) {
        *version = kLibraryVersion;
    }
    initialized_ = true;
    return 0;
}

int32_t FetTarget::Close(int32_t) {
    if (!initialized_) {
        return Fail(kFetNotInitialized);
    }
    initialized_ = false;
    identified_ = false;
    supplyMillivolts_ = 0;
    return Persist();
}

int32_t FetTarget::Vcc(int32_t millivolts) {
    if (!initialized_) {
        return Fail(kFetNotInitialized);
    }
    if (millivolts != 0 && (millivolts < 1800 || millivolts > 3600)) {
        return Fail(kFetSupplyRange);
    }
    supplyMillivolts_ = millivolts;
    if (millivolts == 0) {
        identified_ = false;
    }
    return 0;
}

int32_t FetTarget::Identify(uint8_t* record, int32_t size, int32_t) {
    if (!CheckReady(false)) {
        return -1;
    }
    if (record == nullptr) {
        return Fail(kFetBadArgument);
    }
    if (size < static_cast<int32_t>(kDeviceRecordSize)) {
        return Fail(kFetRecordTooSmall);
    }
    if (supplyMillivolts_ == 0) {
        return Fail(kFetNoSupply);
    }
    if (model_->SecurityFuseBlown()) {
        return Fail(kFetSecured);
    }
    DeviceRecord filled;
    std::memcpy(&filled, record, sizeof filled);
    const MemoryBounds& b = model_->Bounds();
    filled.marker = kDeviceRecordMarker;
    filled.index = static_cast<uint16_t>(DeviceIndexOf(model_->DeviceName()));
    std::memset(filled.name, 0, sizeof filled.name);
    std::strncpy(filled.name, model_->DeviceName().c_str(), sizeof filled.name - 1);
    filled.mainStart = static_cast<uint16_t>(b.mainStart);
    filled.infoStart = static_cast<uint16_t>(b.infoStart);
    filled.ramEnd = static_cast<uint16_t>(b.ramEnd);
    const bool f4xx = model_->Read(kIdentificationStart) == 0xF4;
    filled.infoEnd = f4xx ? static_cast<uint16_t>(b.infoEnd) : 0;
    filled.mainEnd = f4xx ? b.mainEnd : 0;
    std::memcpy(record, &filled, sizeof filled);
    identified_ = true;
    return 0;
}

int32_t FetTarget::Device(int32_t index, uint8_t* record, int32_t size) {
    if (record == nullptr || index < 0 || index >= static_cast<int32_t>(kDeviceCount)) {
        return Fail(kFetBadArgument);
    }
    if (size < static_cast<int32_t>(kDeviceRecordSize)) {
        return Fail(kFetRecordTooSmall);
    }
    DeviceRecord filled;
    std::memcpy(&filled, record, sizeof filled);
    FillDeviceRecord(static_cast<uint32_t>(index), &filled);
    std::memcpy(record, &filled, sizeof filled);
    return 0;
}

int32_t FetTarget::Configure(int32_t mode, int32_t value) {
    if (!initialized_) {
        return Fail(kFetNotInitialized);
    }
    if (mode < 0 || value < 0) {
        return Fail(kFetBadArgument);
    }
    return 0;
}

int32_t FetTarget::Reset(int32_t method, int32_t, int32_t) {
    if (!initialized_) {
        return Fail(kFetNotInitialized);
    }
    if (method <= 0 || method > 7) {
        return Fail(kFetBadArgument);
    }
    if (method & 4) {
        model_->RestorePower();
    } else if (model_->PowerLost()) {
        return Fail(kFetPowerLost);
    }
    return 0;
}

int32_t FetTarget::Erase(int32_t mode, int32_t address, int32_t length) {
    Pace();
    if (!CheckReady(true)) {
        return -1;
    }
    if (model_->HostCrashDue()) {
        if (hostCrash_) {
            hostCrash_();
        } else {
            std::_Exit(kHostCrashExitStatus);
        }
        return Fail(kFetHostCrashed);
    }
    bool done = false;
    switch (mode) {
    case 0:
        if (address < 0 || !model_->IsFlash(static_cast<uint32_t>(address))) {
            return Fail(kFetBadAddress);
        }
        done = model_->EraseSegment(static_cast<uint32_t>(address));
        break;
    case 1:
        done = model_->EraseMain();
        break;
    case 2:
        done = model_->EraseMass();
        break;
    default:
        return Fail(kFetBadArgument);
    }
    (void)length; // the segment, main or whole flash is the unit, whatever the length
    int32_t saved = Persist();
    if (!done) {
        return Fail(model_->PowerLost() ? kFetPowerLost : kFetEraseFailed);
    }
    return saved;
}

int32_t FetTarget::Memory(int32_t address, uint8_t* buffer, int32_t count, int32_t read) {
    Pace();
    if (!CheckReady(true)) {
        return -1;
    }
    if ((buffer == nullptr && count > 0) || (read != 0 && read != 1)) {
        return Fail(kFetBadArgument);
    }
    if (!CheckRange(address, count)) {
        return -1;
    }
    const uint32_t start = static_cast<uint32_t>(address);
    const uint32_t n = static_cast<uint32_t>(count);
    if (read == 1) {
        model_->ReadBlock(start, buffer, n);
        return 0;
    }
    for (uint32_t i = 0; i < n; ++i) {
        Region region = model_->RegionOf(start + i);
        if (region == Region::LoaderRom || region == Region::Vacant) {
            return Fail(kFetBadAddress);
        }
    }
    bool written = true;
    for (uint32_t i = 0; i < n && written; ++i) {
        written = model_->Write(start + i, buffer[i]);
    }
    int32_t saved = Persist();
    if (!written) {
        return Fail(model_->PowerLost() ? kFetPowerLost : kFetWriteFailed);
    }
    return saved;
}

int32_t FetTarget::VerifyMem(int32_t address, int32_t count, const uint8_t* data) {
    Pace();
    if (!CheckReady(true)) {
        return -1;
    }
    if (data == nullptr && count > 0) {
        return Fail(kFetBadArgument);
    }
    if (!CheckRange(address, count)) {
        return -1;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (model_->Read(static_cast<uint32_t>(address + i)) != data[i]) {
            return Fail(kFetVerifyFailed);
        }
    }
    return 0;
}

int32_t FetTarget::EraseCheck(int32_t address, int32_t length) {
    Pace();
    if (!CheckReady(true)) {
        return -1;
    }
    if (!CheckRange(address, length)) {
        return -1;
    }
    if (!model_->IsBlank(static_cast<uint32_t>(address), static_cast<uint32_t>(length))) {
        return Fail(kFetNotBlank);
    }
    return 0;
}

} // namespace pyrola::sim
