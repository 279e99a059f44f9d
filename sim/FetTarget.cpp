#include "sim/FetTarget.h"

#include "adapters/DeviceRecord.h"
#include "sim/ChipCatalog.h"
#include "sim/FetDeviceList.h"
#include "sim/FetHeaderErrors.h"
#include "sim/SimChipSetup.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

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
    "No device answers on the target socket",
    "The FET's firmware must be updated first",
    "Another device than the one set was found",
};

bool ValidPort(const char* port) {
    if (port == nullptr || port[0] < '1' || port[0] > '9') {
        return false;
    }
    char* end = nullptr;
    long number = std::strtol(port, &end, 10);
    return *end == '\0' && number >= 1 && number <= 255;
}

void RealSleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

constexpr uint32_t kMaxDelayMs = 10000;
constexpr int32_t kVerificationMode = 0;

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

FetTarget::FetTarget() : FetTarget(ProcessEnvironment) {}

FetTarget::FetTarget(Environment environment) : FetTarget(std::move(environment), RealSleep) {}

FetTarget::FetTarget(Environment environment, Sleeper sleeper, FetGeneration generation)
    : environment_(std::move(environment)), sleeper_(std::move(sleeper)), generation_(generation) {}

void FetTarget::Pace() {
    if (delayMs_ > 0 && sleeper_) {
        sleeper_(delayMs_);
    }
}

const char* FetTarget::ErrorString(int32_t number) {
    if (number < 0 || number >= kFetErrorCount) {
        return "Unknown error";
    }
    if (number == kFetUnknownDevice)
        return ChipSetupErrorText(ChipSetupError::UnknownDevice);
    return kErrorTexts[number];
}

const char* FetTarget::ErrorText(int32_t number) const {
    return Generation3() ? HeaderErrorText(number) : ErrorString(number);
}

int32_t FetTarget::ErrorNumber() {
    if (!Generation3())
        return error_;
    // The version-3 header: the number is reset to NO_ERR once it was returned.
    return HeaderErrorOf(static_cast<FetError>(std::exchange(error_, kFetNoError)));
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
    if (!CheckFirmware())
        return false;
    if (needIdentified && !identified_) {
        Fail(kFetNotIdentified);
        return false;
    }
    if (chip_.model->PowerLost()) {
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
    return SaveChip(chip_) ? 0 : Fail(kFetStateUnwritable);
}

int32_t FetTarget::Initialize(const char* port, int32_t* version) {
    error_ = kFetNoError;
    initialized_ = false;
    identified_ = false;
    supplyMillivolts_ = 0;
    verifyWrites_ = false;
    std::string fet;
    if (Generation3()) {
        // Only a FET the library enumerates opens; "TIUSB" and "USB" mean the first one.
        const std::vector<std::string> names = FetNames();
        const std::string asked = port != nullptr ? port : "";
        if ((asked == "TIUSB" || asked == "USB") && !names.empty())
            fet = names.front();
        else if (std::find(names.begin(), names.end(), asked) != names.end())
            fet = asked;
        else
            return Fail(kFetBadPort);
    } else if (!ValidPort(port)) {
        return Fail(kFetBadPort);
    } else {
        fet = port;
    }
    const int32_t started = InitializeChip(fet);
    if (started != 0)
        return started;
    if (version != nullptr) {
        // Version 3: -1 says the FET's firmware does not match the library.
        *version = !Generation3() ? kLibraryVersion : FirmwareOld() ? -1 : kLibraryVersionThree;
    }
    initialized_ = true;
    return 0;
}

int32_t FetTarget::InitializeChip(const std::string& port) {
    delayMs_ = DelaySetting(environment_("PYROLA_SIM_FET_DELAY"));
    // One chip per FET port when the state file's name holds "%p".
    const SimEnvironment portEnvironment = PortEnvironment(environment_, port);
    switch (PrepareChip(portEnvironment, chip_)) {
    case ChipSetupError::None:
        break;
    case ChipSetupError::UnknownDevice:
        return Fail(kFetUnknownDevice);
    case ChipSetupError::StateUnreadable:
        return Fail(kFetStateUnreadable);
    case ChipSetupError::DeviceMismatch:
        return Fail(kFetDeviceMismatch);
    case ChipSetupError::BadFaults:
        return Fail(kFetBadFaults);
    }
    boardAbsent_ = false;
    if (const char* board = portEnvironment("PYROLA_SIM_BOARD"); board != nullptr && board[0] != '\0') {
        const std::string path = board;
        if (!socket_ || socketPath_ != path) {
            socket_ = std::make_unique<BoardSocket>(
                path, chip_.statePath.empty() ? std::string() : chip_.statePath + ".board");
            socketPath_ = path;
        }
        std::string error;
        switch (socket_->Check(*chip_.model, nullptr, !chip_.statePath.empty(), error)) {
        case BoardSocket::Look::Invalid:
            return Fail(kFetBadFaults);
        case BoardSocket::Look::Absent:
            boardAbsent_ = true;
            break;
        case BoardSocket::Look::Inserted:
            chip_.faultsApplied = true;
            if (Persist() != 0)
                return -1;
            break;
        default:
            break;
        }
    }
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
    if (!CheckFirmware())
        return -1;
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
    if (boardAbsent_) {
        return Fail(kFetNoTarget);
    }
    if (chip_.model->SecurityFuseBlown()) {
        return Fail(kFetSecured);
    }
    DeviceRecord filled;
    std::memcpy(&filled, record, sizeof filled);
    const MemoryBounds& b = chip_.model->Bounds();
    filled.marker = kDeviceRecordMarker;
    filled.index = static_cast<uint16_t>(FetDeviceRowOf(chip_.model->DeviceName()));
    std::memset(filled.name, 0, sizeof filled.name);
    std::strncpy(filled.name, chip_.model->DeviceName().c_str(), sizeof filled.name - 1);
    filled.mainStart = static_cast<uint16_t>(b.mainStart);
    filled.infoStart = static_cast<uint16_t>(b.infoStart);
    filled.ramEnd = static_cast<uint16_t>(b.ramEnd);
    const bool f4xx = chip_.model->Read(kIdentificationStart) == 0xF4;
    filled.infoEnd = f4xx ? static_cast<uint16_t>(b.infoEnd) : 0;
    filled.mainEnd = f4xx ? b.mainEnd : 0;
    std::memcpy(record, &filled, sizeof filled);
    identified_ = true;
    return 0;
}

int32_t FetTarget::Device(int32_t index, uint8_t* record, int32_t size) {
    if (record == nullptr || index < 0 || index >= static_cast<int32_t>(kFetDeviceRows)) {
        return Fail(kFetBadArgument);
    }
    if (size < static_cast<int32_t>(kDeviceRecordSize)) {
        return Fail(kFetRecordTooSmall);
    }
    // The row's chip as the catalogue describes it; the default row is the default chip,
    // row 0 no chip at all (every bound 0).
    const std::string name = FetDeviceName(static_cast<uint32_t>(index));
    const bool lastRow = static_cast<uint32_t>(index) == kFetDeviceRows - 1;
    const ChipDescription* chip = FindChip(lastRow ? kDefaultChip : name);
    const MemoryBounds b = chip ? chip->bounds : MemoryBounds{};
    DeviceRecord filled;
    std::memcpy(&filled, record, sizeof filled);
    filled.marker = kDeviceRecordMarker;
    filled.index = static_cast<uint16_t>(index);
    std::memset(filled.name, 0, sizeof filled.name);
    std::strncpy(filled.name, name.c_str(), sizeof filled.name - 1);
    filled.mainStart = static_cast<uint16_t>(b.mainStart);
    filled.infoStart = static_cast<uint16_t>(b.infoStart);
    filled.ramEnd = static_cast<uint16_t>(b.ramEnd);
    filled.infoEnd = static_cast<uint16_t>(b.infoEnd);
    filled.mainEnd = b.mainEnd;
    std::memcpy(record, &filled, sizeof filled);
    return 0;
}

int32_t FetTarget::Configure(int32_t mode, int32_t value) {
    if (!initialized_) {
        return Fail(kFetNotInitialized);
    }
    if (!CheckFirmware())
        return -1;
    if (mode < 0 || value < 0) {
        return Fail(kFetBadArgument);
    }
    // CONFIG_MODE of the version-3 header; the older library took any mode.
    static constexpr int32_t kDocumentedModes[] = {0, 1, 5, 7, 8, 9, 10, 11, 15, 16};
    if (Generation3() && std::find(std::begin(kDocumentedModes), std::end(kDocumentedModes), mode) ==
                             std::end(kDocumentedModes)) {
        return Fail(kFetBadArgument);
    }
    if (mode == kVerificationMode) {
        verifyWrites_ = value != 0;
    }
    return 0;
}

int32_t FetTarget::Reset(int32_t method, int32_t, int32_t) {
    if (!initialized_) {
        return Fail(kFetNotInitialized);
    }
    if (!CheckFirmware())
        return -1;
    if (method <= 0 || method > 7) {
        return Fail(kFetBadArgument);
    }
    if (method & 4) {
        chip_.model->RestorePower();
    } else if (chip_.model->PowerLost()) {
        return Fail(kFetPowerLost);
    }
    return 0;
}

int32_t FetTarget::Erase(int32_t mode, int32_t address, int32_t length) {
    Pace();
    if (!CheckReady(true)) {
        return -1;
    }
    if (chip_.model->HostCrashDue()) {
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
        if (address < 0 || !chip_.model->IsFlash(static_cast<uint32_t>(address))) {
            return Fail(kFetBadAddress);
        }
        done = chip_.model->EraseSegment(static_cast<uint32_t>(address));
        break;
    case 1:
        done = chip_.model->EraseMain();
        break;
    case 2:
        done = chip_.model->EraseMass();
        break;
    default:
        return Fail(kFetBadArgument);
    }
    (void)length; // the segment, main or whole flash is the unit, whatever the length
    int32_t saved = Persist();
    if (!done) {
        // Version 3's header has no text of its own for a supply lost mid-operation.
        return Fail(chip_.model->PowerLost() && !Generation3() ? kFetPowerLost : kFetEraseFailed);
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
        chip_.model->ReadBlock(start, buffer, n);
        return 0;
    }
    for (uint32_t i = 0; i < n; ++i) {
        Region region = chip_.model->RegionOf(start + i);
        if (region == Region::LoaderRom || region == Region::Vacant) {
            return Fail(kFetBadAddress);
        }
    }
    bool written = true;
    for (uint32_t i = 0; i < n && written; ++i) {
        written = chip_.model->Write(start + i, buffer[i]);
        // Verification mode: flash programming only clears bits, so a byte over one that
        // was not erased may not take; the library reads each one back.
        if (written && verifyWrites_ && chip_.model->Read(start + i) != buffer[i])
            written = false;
    }
    int32_t saved = Persist();
    if (!written) {
        return Fail(chip_.model->PowerLost() && !Generation3() ? kFetPowerLost : kFetWriteFailed);
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
        if (chip_.model->Read(static_cast<uint32_t>(address + i)) != data[i]) {
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
    if (!chip_.model->IsBlank(static_cast<uint32_t>(address), static_cast<uint32_t>(length))) {
        return Fail(kFetNotBlank);
    }
    return 0;
}

} // namespace pyrola::sim
