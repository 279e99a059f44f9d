#include "adapters/bsl/BslAdapter.h"

#include "adapters/DeviceTable.h"
#include "adapters/bsl/BslBaudRate.h"
#include "ui/TextFormat.h"

#include <string>
#include <utility>

namespace pyrola {

namespace {
constexpr uint32_t kIdentificationBlock = 16;
constexpr uint8_t kParityEvenCode = kParityEven;
constexpr uint32_t kOpenQueueSize = 512;
constexpr uint32_t kLinkBaudRate = kBslBaseBaudRate;
} // namespace

BslAdapter::BslAdapter(SerialPortFactory& ports, Clock& clock) : link_(ports, clock), protocol_(link_) {
    protocol_.onRetry = [this](const std::string& text) { AddDetail(text); };
}

void BslAdapter::FillRecord(uint32_t index) {
    if (deviceRecord != nullptr)
        FillDeviceRecord(index < kDeviceCount ? index : 0, deviceRecord);
}

void BslAdapter::ForgetTarget() {
    needPassword = 1;
    needIdentification = 1;
    patchStart = 0;
    loaderVersion = 0;
    patchProblem_.clear();
}

bool BslAdapter::Open() {
    isOpen = 0;
    if (requestedDevice == 0)
        requestedDevice = kBslDefaultDevice;
    FillRecord(requestedDevice);
    link_.portName = "COM" + std::to_string(portNumber);
    link_.wiring = lineOptions.wiring;
    link_.baudRate = kLinkBaudRate;
    speedNoteGiven_ = false;
    link_.parity = kParityEvenCode;
    link_.queueSize = kOpenQueueSize;
    if (!link_.OpenPort()) {
        protocol_.errorNumber = kBslOpenFailed;
        const SerialOpenError& failure = link_.lastOpenError;
        const std::string device = failure.device.empty() || failure.device == link_.portName
                                       ? std::string()
                                       : " (" + failure.device + ")";
        AddNote("Port " + link_.portName + device + ": " + failure.reason);
        return false;
    }
    protocol_.errorNumber = kBslNoError;
    link_.InvokeBsl();
    ForgetTarget();
    if (Unlock() && needIdentification && Identify())
        FinishIdentification();
    isOpen = 1;
    return true;
}

bool BslAdapter::Close() {
    isOpen = 0;
    if (!link_.ClosePort()) {
        protocol_.errorNumber = kBslCloseFailed;
        return false;
    }
    protocol_.errorNumber = kBslNoError;
    return true;
}

int32_t BslAdapter::GetErrorNumber() {
    const int32_t number = protocol_.errorNumber;
    protocol_.errorNumber = kBslNoError;
    return number;
}

bool BslAdapter::Unlock() {
    if (!needPassword)
        return true;
    protocol_.errorNumber = kBslNoError;
    if (!protocol_.SendCommand(kBslRxPassword, kBslPasswordAddress, kBslPasswordLength, password.data(),
                               nullptr)) {
        // A device erased since its image was built has the blank vector table.
        if (protocol_.SendCommand(kBslRxPassword, kBslPasswordAddress, kBslPasswordLength,
                                  kBslErasedPassword.data(), nullptr)) {
            password = kBslErasedPassword;
            // Said out loud: some loaders erase the whole chip on a wrong password, and a
            // read job must not pass such a chip off as the board's contents.
            AddNote("The loader refused the image's password and took the erased-device one: "
                    "the chip is blank (some loaders erase it on a wrong password)");
        }
    }
    if (protocol_.errorNumber == kBslNoError) {
        needPassword = 0;
        return true;
    }
    if (protocol_.errorNumber == kBslNakReceived)
        protocol_.errorNumber = kBslPasswordRefused;
    return false;
}

bool BslAdapter::Identify() {
    uint8_t block[kIdentificationBlock] = {};
    if (!protocol_.ReadBlocks(kIdentificationAddress, block, kIdentificationBlock))
        return false;
    identifiedDevice = LookupDevice(block, 0xFFFF);
    identificationHigh = block[0];
    loaderVersion = static_cast<uint32_t>(block[10]) * 256 + block[11];
    return true;
}

void BslAdapter::FinishIdentification() {
    needIdentification = 0;
    AddDetail(Format("Loader version %X.%02X, identification 0x%02X, %s", loaderVersion >> 8,
                     loaderVersion & 0xFF, identificationHigh,
                     identifiedDevice ? DeviceName(identifiedDevice) : "not in the device table"));
    if (identifiedDevice == 0)
        identifiedDevice = requestedDevice;
    FillRecord(identifiedDevice);
    if (IsOldLoader()) {
        if (patchEnabled)
            LoadPatch();
        else
            patchProblem_ = "the \"BslPatch\" setting is off (patch file " + patchFilePath + ")";
    }
    ChangeSpeed();
}

void BslAdapter::ChangeSpeed() {
    const uint32_t wanted = lineOptions.baudRate;
    if (wanted == link_.baudRate || !IsBslBaudRate(wanted))
        return;
    const std::optional<BslBaudSetting> setting = BslBaudSettingFor(BslFamilyOf(identificationHigh), wanted);
    const std::string rate = std::to_string(wanted) + " baud";
    if (loaderVersion < kBslChangeBaudVersion || !setting) {
        if (!speedNoteGiven_) {
            speedNoteGiven_ = true;
            AddNote(
                loaderVersion < kBslChangeBaudVersion
                    ? Format(
                          "Loader version %X.%02X cannot change its speed (1.60 and later can): staying at "
                          "9600 baud instead of %s.",
                          loaderVersion >> 8, loaderVersion & 0xFF, rate.c_str())
                    : Format("No speed setting is known for a chip of family 0x%02X: staying at 9600 baud "
                             "instead of %s.",
                             identificationHigh, rate.c_str()));
        }
        return;
    }
    const int32_t before = protocol_.errorNumber;
    if (!protocol_.SendCommand(kBslChangeBaud, setting->d1 | (setting->d2 << 8), setting->d3, nullptr,
                               nullptr)) {
        AddNote(Format("The loader did not take %s (%s): staying at 9600 baud.", rate.c_str(),
                       BslProtocol::ErrorText(protocol_.errorNumber)));
        protocol_.errorNumber = before;
        return;
    }
    AddDetail(Format("Loader speed %s with clock setting D1=0x%02X D2=0x%02X D3=%u", rate.c_str(),
                     unsigned(setting->d1), unsigned(setting->d2), unsigned(setting->d3)));
    // The chip now listens at the new rate: the port follows, then the chip's clock settles.
    if (!link_.SetBaudRate(wanted))
        AddNote("The port could not be switched to " + rate + "; the loader already was.");
    link_.clock().Sleep(kBslBaudSettleMs);
}

bool BslAdapter::Prepared() {
    if (needPassword && !Unlock())
        return false;
    if (needIdentification) {
        protocol_.errorNumber = kBslNoError;
        if (Identify())
            FinishIdentification();
    }
    return true;
}

int32_t BslAdapter::Erase(uint32_t mode, uint32_t address, uint32_t /*length*/) {
    if (mode == kEraseSegment) {
        return protocol_.SendCommand(kBslEraseArea, address, kBslKeyMainOrInfo, nullptr, nullptr) ? 0 : -1;
    }
    // An unpatched old loader erases for only a fraction of the cumulative mass-erase
    // time per frame.
    const uint32_t repeats = IsOldLoader() && patchStart == 0 ? kBslOldMassEraseRepeats : 1;
    for (uint32_t i = 0; i < repeats; ++i) {
        if (!protocol_.SendCommand(kBslMassErase, 0xFF00, kBslKeyMass, nullptr, nullptr))
            return -1;
    }
    password = kBslErasedPassword;
    if (patchStart == 0)
        protocol_.SendCommand(kBslRxPassword, kBslPasswordAddress, kBslPasswordLength, password.data(),
                              nullptr);
    return 0;
}

int32_t BslAdapter::EraseCheck(uint32_t address, uint32_t length) {
    if (!Prepared())
        return -1;
    if (IsOldLoader() && patchStart == 0) {
        protocol_.errorNumber = kBslOldVersion;
        std::string why = patchProblem_;
        if (why.empty())
            why = loaderVersion == 0 ? "the loader's version could not be read" : "no patch is running";
        AddNote("A loader of version 1.10 or older checks for blank flash only with the chip vendor's "
                "patch, read from bslpatch.txt beside the program: " +
                why + ".");
        return -1;
    }
    return protocol_.CheckBlank(address, length) ? 0 : -1;
}

int32_t BslAdapter::WriteMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    if (!Prepared())
        return -1;
    return protocol_.WriteBlocks(address, data, count) ? 0 : -1;
}

int32_t BslAdapter::ReadMemory(uint32_t address, uint8_t* data, uint32_t count) {
    if (!Prepared())
        return -1;
    return protocol_.ReadBlocks(address, data, count) ? 0 : -1;
}

int32_t BslAdapter::VerifyMemory(uint32_t /*address*/, const uint8_t* /*data*/, uint32_t /*count*/) {
    protocol_.errorNumber = kBslNotImplemented;
    return -1;
}

int32_t BslAdapter::Reset(uint32_t /*method*/, uint32_t /*execute*/, uint32_t releaseJtag) {
    // Every restart puts the loader back to 9600 baud; so does the port, before the lines move.
    if (link_.baudRate != kLinkBaudRate)
        link_.SetBaudRate(kLinkBaudRate);
    if (releaseJtag != 0)
        link_.RestartTarget();
    else
        link_.InvokeBsl();
    ForgetTarget();
    return 0;
}

int32_t BslAdapter::DebugOneWire() {
    protocol_.errorNumber = kBslNotImplemented;
    return -1;
}

bool BslAdapter::PatchFailed(std::string problem) {
    patchProblem_ = std::move(problem);
    protocol_.errorNumber = kBslPatchFailed;
    AddNote("Loader patch not loaded: " + patchProblem_ + ".");
    return false;
}

bool BslAdapter::LoadPatch() {
    patchStart = 0;
    protocol_.errorNumber = kBslNoError;
    const std::string file = patchFilePath.empty()
                                 ? std::string(kBslPatchFileName) + " (the program's folder is unknown)"
                                 : patchFilePath;
    std::vector<uint8_t> patch;
    std::string reason;
    switch (ReadBslPatchFile(patchFilePath, patch, reason)) {
    case BslPatchFile::Missing:
        // Nothing to load is no failure: the loader is used as the ROM loader it is.
        patchProblem_ = "no patch file " + file;
        return false;
    case BslPatchFile::Unusable:
        return PatchFailed("the patch file " + file + " is not usable: " + reason);
    case BslPatchFile::Read:
        break;
    }
    const uint32_t size = static_cast<uint32_t>(patch.size());
    bool ok = protocol_.SendCommand(kBslLoadPc, kBslLoaderReentry, 0, nullptr, nullptr) &&
              protocol_.SendCommand(kBslRxPassword, kBslPasswordAddress, kBslPasswordLength, password.data(),
                                    nullptr) &&
              protocol_.WriteBlocks(kBslPatchAddress, patch.data(), size);
    if (ok) {
        patchReadBack_.assign(patch.size(), 0);
        ok = protocol_.ReadBlocks(kBslPatchAddress, patchReadBack_.data(), size);
        if (ok && patchReadBack_ != patch)
            return PatchFailed("the patch from " + file + " reads back changed");
    }
    if (ok) {
        uint8_t start[2] = {};
        if (protocol_.ReadBlocks(kBslPatchAddress, start, 2)) {
            patchStart = start[0] + 256u * start[1];
            if (patchStart != 0 && protocol_.SendCommand(kBslLoadPc, patchStart, 0, nullptr, nullptr))
                protocol_.errorNumber = kBslNoError;
        }
    }
    if (ok && protocol_.errorNumber == kBslNoError && patchStart != 0) {
        patchProblem_.clear();
        return true;
    }
    return PatchFailed("loading the patch from " + file + " failed (" +
                       BslProtocol::ErrorText(protocol_.errorNumber) + ")");
}

} // namespace pyrola
