// The calls only the version-3 simulated FET library has: the list of FETs, attaching by
// MSP430_OpenDevice, the found device as the packed DEVICE_T of the vendor's header, and
// the firmware update.
#include "sim/FetDeviceList.h"
#include "sim/FetTarget.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace pyrola::sim {

namespace {

constexpr const char* kDefaultFetName = "ttyACM0";

void Put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    Put16(at, value);
    Put16(at + 2, value >> 16);
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

std::vector<std::string> FetTarget::FetNames() const {
    const char* listed = environment_("PYROLA_SIM_FET_NAMES");
    std::vector<std::string> names;
    if (listed == nullptr || listed[0] == '\0') {
        names.push_back(kDefaultFetName);
        return names;
    }
    std::stringstream list(listed);
    std::string name;
    while (std::getline(list, name, ',')) {
        if (!name.empty())
            names.push_back(name);
    }
    return names;
}

bool FetTarget::FirmwareOld() const {
    const char* path = environment_("PYROLA_SIM_FET_FIRMWARE");
    if (path == nullptr || path[0] == '\0')
        return false;
    std::ifstream in(path);
    std::string state;
    std::getline(in, state);
    return Trimmed(state) == "old";
}

bool FetTarget::CheckFirmware() {
    if (Generation3() && FirmwareOld()) {
        Fail(kFetFirmwareOld);
        return false;
    }
    return true;
}

int32_t FetTarget::GetNumberOfUsbIfs(int32_t* number) {
    if (number == nullptr)
        return Fail(kFetBadArgument);
    names_ = FetNames();
    *number = static_cast<int32_t>(names_.size());
    return 0;
}

int32_t FetTarget::GetNameOfUsbIf(int32_t index, char** name, int32_t* status) {
    if (name == nullptr || status == nullptr || index < 0 || index >= static_cast<int32_t>(names_.size()))
        return Fail(kFetBadArgument);
    // The library keeps the text; the caller gets a pointer into it.
    *name = names_[static_cast<size_t>(index)].data();
    *status = 0; // free to be used
    return 0;
}

int32_t FetTarget::OpenDevice(const char*, const char*, int32_t, int32_t, int32_t setId) {
    identified_ = false;
    if (!CheckReady(false))
        return -1;
    if (supplyMillivolts_ == 0)
        return Fail(kFetNoSupply);
    if (boardAbsent_)
        return Fail(kFetNoTarget);
    if (chip_.model->SecurityFuseBlown())
        return Fail(kFetSecured);
    const FetPartThree* part = FetPartThreeOf(chip_.model->DeviceName());
    if (part == nullptr)
        return Fail(kFetUnknownDevice);
    if (setId != 0 && setId != part->id)
        return Fail(kFetOtherDevice);
    identified_ = true;
    return 0;
}

int32_t FetTarget::GetFoundDevice(uint8_t* buffer, int32_t count) {
    if (!CheckReady(true))
        return -1;
    if (buffer == nullptr || count < kFetFoundDeviceSize)
        return Fail(kFetBadArgument);
    const FetPartThree* part = FetPartThreeOf(chip_.model->DeviceName());
    const MemoryBounds& b = chip_.model->Bounds();
    // DEVICE_T of MSP430.h, #pragma pack(1): offsets as the header's field order gives them.
    uint8_t device[kFetFoundDeviceSize] = {};
    Put16(device + 0, 0xAA55);   // endian
    Put16(device + 2, part->id); // id
    std::strncpy(reinterpret_cast<char*>(device + 4), part->name, 31);
    Put16(device + 36, b.mainStart);
    Put16(device + 38, b.infoStart);
    Put16(device + 40, b.ramEnd);
    Put16(device + 42, 2);    // nBreakpoints
    Put16(device + 52, 1800); // vccMinOp
    Put16(device + 54, 3600); // vccMaxOp
    Put16(device + 58, b.ramStart);
    Put16(device + 64, b.infoEnd);
    Put32(device + 66, b.mainEnd); // ULONG mainEnd, unaligned in the packed layout
    Put16(device + 70, 0x0C00);    // bslStart
    Put16(device + 72, 0x0FFF);    // bslEnd
    device[79] = 0x89;             // jtagId
    std::memcpy(buffer, device, sizeof device);
    return 0;
}

int32_t FetTarget::FwUpdate(const char*, void*, int32_t) {
    if (!initialized_)
        return Fail(kFetNotInitialized);
    if (const char* path = environment_("PYROLA_SIM_FET_FIRMWARE"); path != nullptr && path[0] != '\0') {
        // Persisted: the FET keeps its new firmware for every later run.
        std::ofstream out(path, std::ios::trunc);
        out << "current\n";
        if (!out)
            return Fail(kFetStateUnwritable);
    }
    return 0;
}

} // namespace pyrola::sim
