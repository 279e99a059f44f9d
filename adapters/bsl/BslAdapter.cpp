#include "adapters/bsl/BslAdapter.h"

#include "adapters/DeviceTable.h"
#include "adapters/bsl/BslBaudRate.h"
#include "base/TextFormat.h"

#include <algorithm>
#include <string>
#include <utility>

namespace pyrola {

namespace {
constexpr uint32_t kIdentificationBlock = 16;
constexpr uint8_t kParityEvenCode = kParityEven;
constexpr uint32_t kOpenQueueSize = 512;
constexpr uint32_t kLinkBaudRate = kBslBaseBaudRate;
// A read job's piece: four frames.
constexpr uint32_t kBslBlankCheckPiece = 4 * kBslMaxBlock;
} // namespace

BslAdapter::BslAdapter(SerialPortFactory& ports, Clock& clock) : link_(ports, clock), protocol_(link_) {
    protocol_.onRetry = [this](const std::string& text) { AddDetail(text); };
    writesWholeWords = true; // the loader takes write frames in whole words only
}

void BslAdapter::FillRecord(uint32_t index) {
    if (deviceRecord != nullptr)
        FillDeviceRecord(index < kDeviceCount ? index : 0, deviceRecord);
}

void BslAdapter::ForgetTarget() {
    blankCheckPiece = 0;
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
    speedNoteGiven_ = false;
    lockedNoted_ = false;
    oldLoaderWarned_ = false;
    blankWayNoted_ = false;
    goneNoted_ = false;
    if (!OpenLink())
        return false;
    link_.InvokeBsl();
    ForgetTarget();
    if (Unlock() && needIdentification && Identify())
        FinishIdentification();
    if (protocol_.errorNumber == kBslSyncFailed) {
        // Nothing answered the synchronisation: no later step can succeed, so the run ends
        // here, naming the port and what usually keeps a chip silent.
        AddNote("No chip answers on " + link_.portName +
                ": check the cable, the target's power and its reset and test wiring (the cable "
                "options --reset-inverted, --test-inverted and --swap-reset-test serve other cables).");
        link_.ClosePort();
        return false;
    }
    isOpen = 1;
    return true;
}

bool BslAdapter::OpenLink() {
    link_.portName = "COM" + std::to_string(portNumber);
    link_.wiring = lineOptions.wiring;
    link_.baudRate = kLinkBaudRate;
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
    return true;
}

bool BslAdapter::Answers() {
    isOpen = 0;
    if (!OpenLink())
        return false;
    link_.InvokeBsl();
    ForgetTarget();
    const bool answered = protocol_.Sync();
    link_.ClosePort();
    protocol_.errorNumber = kBslNoError;
    return answered;
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
    if (link_.gone && !goneNoted_) {
        goneNoted_ = true;
        AddNote("Port " + link_.portName +
                " is gone: the system no longer reaches it (a USB serial adapter unplugged?).");
    }
    protocol_.errorNumber = kBslNoError;
    return number;
}

bool BslAdapter::TryPassword(const BslPassword& candidate) {
    // The loader acknowledges every well-formed password frame; only a protected command
    // after it tells whether the password matched. Reading two identification bytes is
    // the cheapest one.
    uint8_t probe[2] = {};
    return protocol_.SendCommand(kBslRxPassword, kBslPasswordAddress, kBslPasswordLength, candidate.data(),
                                 nullptr) &&
           protocol_.ReadBlocks(kIdentificationAddress, probe, sizeof(probe));
}

bool BslAdapter::Unlock() {
    if (!needPassword)
        return true;
    protocol_.errorNumber = kBslNoError;
    if (!TryPassword(password) && protocol_.errorNumber != kBslSyncFailed && password != kBslErasedPassword) {
        // A device erased since its image was built has the blank vector table.
        protocol_.errorNumber = kBslNoError;
        if (TryPassword(kBslErasedPassword)) {
            password = kBslErasedPassword;
            // Said out loud: a read job must not pass such a chip off as the board's contents.
            AddNote("The loader took the erased-device password, not the image's: the chip's vectors are "
                    "erased");
        }
    }
    if (protocol_.errorNumber == kBslNoError) {
        needPassword = 0;
        return true;
    }
    if (protocol_.errorNumber == kBslNakReceived) {
        protocol_.errorNumber = kBslPasswordRefused;
        if (!lockedNoted_) {
            // The fixed text names no way out: a read or dump without the right image stops here.
            lockedNoted_ = true;
            AddNote(
                "The loader's password is the chip's interrupt vectors (0xFFE0-0xFFFF): name the image "
                "the chip holds, whose vectors it has (pyrola -bsl --dump ram app.txt), or erase the chip.");
        }
    }
    return false;
}

bool BslAdapter::Identify() {
    uint8_t block[kIdentificationBlock] = {};
    if (!protocol_.ReadBlocks(kIdentificationAddress, block, kIdentificationBlock))
        return false;
    // The loader cannot read the fuses: every row the identification allows stays possible.
    candidates = DeviceCandidates(block, std::nullopt);
    if (candidates.size() == 1)
        identifiedDevice = candidates.front();
    else if (const uint32_t named = DeviceAmong(candidates, requestedDevice); named != 0)
        identifiedDevice = named;
    else
        identifiedDevice = DeviceSharedRow(candidates);
    identificationHigh = block[0];
    loaderVersion = static_cast<uint32_t>(block[10]) * 256 + block[11];
    return true;
}

void BslAdapter::FinishIdentification() {
    needIdentification = 0;
    const std::string identity = candidates.empty()       ? std::string("not in the device table")
                                 : candidates.size() == 1 ? std::string(DevicePartName(identifiedDevice))
                                                          : "one of " + DeviceListText(candidates);
    AddDetail(Format("Loader version %X.%02X, identification 0x%02X, %s", loaderVersion >> 8,
                     loaderVersion & 0xFF, identificationHigh, identity.c_str()));
    if (identifiedDevice == 0)
        identifiedDevice = requestedDevice;
    FillRecord(identifiedDevice);
    if (IsOldLoader()) {
        if (patchEnabled)
            LoadPatch();
        else
            patchProblem_ = "the \"BslPatch\" setting is off (patch file " + patchFilePath + ")";
    }
    // Loaders before 1.40 program without reading back what they wrote.
    checksWrites = loaderVersion >= kBslOnlineVerifyVersion;
    // Read back, a blank check moves every byte: in pieces, as a read is.
    blankCheckPiece = HasEraseCheck() ? 0 : kBslBlankCheckPiece;
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
        const int32_t failure = protocol_.errorNumber;
        if (failure == kBslNakReceived || failure == kBslCommandFailed || failure == kBslSyncFailed) {
            // Refused, or never sent: the loader is still at 9600 baud.
            AddNote(Format("The loader did not take %s (%s): staying at 9600 baud.", rate.c_str(),
                           BslProtocol::ErrorText(failure)));
            protocol_.errorNumber = before;
            return;
        }
        // The acknowledge was lost or damaged: the loader may have switched. Whichever rate
        // it answers at is the one the port keeps.
        link_.clock().Sleep(kBslBaudSettleMs);
        if (link_.SetBaudRate(wanted) && protocol_.Sync()) {
            AddNote(Format("The loader's acknowledge of %s was lost (%s); it answers at %s.", rate.c_str(),
                           BslProtocol::ErrorText(failure), rate.c_str()));
            protocol_.errorNumber = before;
            return;
        }
        if (link_.SetBaudRate(kLinkBaudRate) && protocol_.Sync()) {
            AddNote(Format("The loader's answer to %s was lost (%s); it still answers at 9600 baud.",
                           rate.c_str(), BslProtocol::ErrorText(failure)));
            protocol_.errorNumber = before;
            return;
        }
        AddNote(Format("After asking for %s the loader answers neither at %s nor at 9600 baud.", rate.c_str(),
                       rate.c_str()));
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

void BslAdapter::WarnOldLoader() {
    if (oldLoaderWarned_ || loaderVersion == 0 || !IsOldLoader() || patchStart != 0)
        return;
    oldLoaderWarned_ = true;
    std::string why = patchProblem_.empty() ? "no patch is running" : patchProblem_;
    AddNote(
        Format("Warning: loader %X.%02X runs without the chip vendor's patch, which its guide calls "
               "mandatory for this version: erasing and programming may leave flash incompletely erased "
               "or wrongly written (%s). Put the vendor's PATCH.TXT from the loader guide's files (not the "
               "loadable loader BL_150S_14x.txt) as %s beside the program and set \"BslPatch\" to 1.",
               loaderVersion >> 8, loaderVersion & 0xFF, why.c_str(), kBslPatchFileName));
}

int32_t BslAdapter::Erase(uint32_t mode, uint32_t address, uint32_t length) {
    if (mode == kEraseSegment) {
        // The segment key: the main-memory key would erase all main memory wherever the
        // address lies, as the flash controller does.
        if (protocol_.SendCommand(kBslEraseArea, address, kBslKeySegment, nullptr, nullptr))
            return 0;
        // From 1.60 on the loader checks all information memory after erasing one of its
        // segments and refuses while another segment holds data: the segment itself is
        // checked instead.
        const bool information =
            deviceRecord != nullptr && address >= deviceRecord->infoStart && address <= deviceRecord->infoEnd;
        if (protocol_.errorNumber != kBslNakReceived || !information || length == 0 ||
            loaderVersion < kBslWholeInfoCheckVersion || loaderVersion >= 0x0200)
            return -1;
        protocol_.errorNumber = kBslNoError;
        return protocol_.CheckBlank(address, length) ? 0 : -1;
    }
    const bool keepInformation = mode == kEraseMain;
    if (keepInformation && !candidates.empty()) {
        // The key erases all main memory wherever in it the address lies, but an address
        // outside flash erases nothing and is still acknowledged: take one inside the flash
        // of every part the chip may be.
        address = std::max<uint32_t>(address, DeviceBounds(DeviceSharedRow(candidates)).mainStart);
    }
    if (keepInformation) {
        // Main memory alone is erased by a protected command: the loader must be unlocked.
        // A chip whose password is unknown is left as it is rather than mass erased.
        if (!Prepared()) {
            AddNote("With the information memory protected only main memory is erased, which needs the "
                    "chip's password; erase without protecting the information memory to mass erase.");
            return -1;
        }
    }
    WarnOldLoader();
    // A ROM loader's mass erase before 1.61 (the F14x loader update note is the first to
    // say one frame erases completely), and the main-memory erase of every ROM loader, erase
    // for only a fraction of the cumulative erase time per frame.
    const bool pulses = patchStart == 0 && (loaderVersion < kBslOneFrameMassEraseVersion || keepInformation);
    const uint32_t repeats = pulses ? kBslOldMassEraseRepeats : 1;
    for (uint32_t i = 0; i < repeats; ++i) {
        const bool sent =
            keepInformation
                ? protocol_.SendCommand(kBslEraseArea, address, kBslKeyMainOrInfo, nullptr, nullptr)
                : protocol_.SendCommand(kBslMassErase, 0xFF00, kBslKeyMass, nullptr, nullptr);
        if (!sent)
            return -1;
    }
    password = kBslErasedPassword;
    if (patchStart == 0)
        protocol_.SendCommand(kBslRxPassword, kBslPasswordAddress, kBslPasswordLength, password.data(),
                              nullptr);
    return 0;
}

bool BslAdapter::HasEraseCheck() const {
    // The ROM loaders from 1.50 on carry the command; older ones only with the patch.
    return patchStart != 0 || loaderVersion >= kBslEraseCheckVersion;
}

int32_t BslAdapter::EraseCheck(uint32_t address, uint32_t length) {
    if (!Prepared())
        return -1;
    // Which way the chip is checked is said once a session.
    if (HasEraseCheck()) {
        if (!blankWayNoted_)
            AddNote("Blank check by the loader's erase check.");
        blankWayNoted_ = true;
        return protocol_.CheckBlank(address, length) ? 0 : -1;
    }
    if (!blankWayNoted_) {
        const std::string why =
            IsOldLoader()
                ? " without the patch: " + (patchProblem_.empty() ? "no patch is running" : patchProblem_)
                : "";
        AddNote(Format("Blank check by reading back (loader %X.%02X has no erase check%s).",
                       loaderVersion >> 8, loaderVersion & 0xFF, why.c_str()));
    }
    blankWayNoted_ = true;
    std::vector<uint8_t> back(length);
    if (length > 0 && !protocol_.ReadBlocks(address, back.data(), length))
        return -1;
    const auto dirty = std::find_if(back.begin(), back.end(), [](uint8_t b) { return b != 0xFF; });
    if (dirty != back.end()) {
        AddNote(Format("Not blank at 0x%04X (0x%02X).", address + static_cast<uint32_t>(dirty - back.begin()),
                       *dirty));
        // As the loader's erase check refuses a range that is not blank.
        protocol_.errorNumber = kBslNakReceived;
        return -1;
    }
    return 0;
}

int32_t BslAdapter::WriteMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    if (!Prepared())
        return -1;
    WarnOldLoader();
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
    // The patch must fit the identified chip's RAM, not merely the largest RAM of the old
    // loaders' chips: written past the end it would land nowhere.
    const uint32_t ramEnd = deviceRecord != nullptr ? deviceRecord->ramEnd : 0;
    if (ramEnd >= kBslPatchAddress && kBslPatchAddress + size - 1 > ramEnd)
        return PatchFailed(Format("the patch from %s (%u bytes) does not fit the chip's RAM (0x0220-0x%04X)",
                                  file.c_str(), size, ramEnd));
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
