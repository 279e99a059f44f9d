#include "sim/BslTarget.h"

#include <algorithm>

namespace pyrola::sim {

namespace {

constexpr uint8_t kSync = 0x80;
constexpr uint8_t kAck = 0x90;
constexpr uint8_t kNak = 0xA0;
constexpr uint8_t kDataFrame = 0x80;

constexpr uint8_t kCmdPassword = 0x10;
constexpr uint8_t kCmdWrite = 0x12;
constexpr uint8_t kCmdRead = 0x14;
constexpr uint8_t kCmdErase = 0x16;
constexpr uint8_t kCmdMassErase = 0x18;
constexpr uint8_t kCmdLoadPc = 0x1A;
constexpr uint8_t kCmdEraseCheck = 0x1C;
constexpr uint8_t kCmdTxVersion = 0x1E;
constexpr uint8_t kCmdChangeBaud = 0x20;

constexpr uint16_t kKeySegment = 0xA502;
constexpr uint16_t kKeyMainOrInfo = 0xA504;
constexpr uint16_t kKeyMass = 0xA506;

constexpr uint32_t kHeadLength = 8;
constexpr uint32_t kMaxData = 250;
constexpr uint32_t kPatchBase = 0x0220;
constexpr uint16_t kLoaderReentry = 0x0C22;
// From this version on the loader reads back what it has programmed or erased.
constexpr uint16_t kCheckingVersion = 0x0140;
// From this version on the loader knows the erase check and the transmit-version command
// (the 2.x loaders of other families aside).
constexpr uint16_t kEraseCheckVersion = 0x0150;
// The first loader documented to mass erase completely with one frame (the F14x loader
// update note for 1.61); earlier ROM loaders time one pulse per frame.
constexpr uint16_t kOneFrameMassEraseVersion = 0x0161;
// From this version on the loader knows the change-baud-rate command.
constexpr uint16_t kChangeBaudVersion = 0x0160;
// From this version on a segment erase in information memory is checked over all of it:
// with another information segment holding data the erase is refused though it was done.
constexpr uint16_t kWholeInfoCheckVersion = 0x0160;
constexpr uint32_t kVersionBlock = 16;
constexpr uint32_t kIdentificationAddress = 0x0FF0;

// The clock settings the chip's vendor documents for each rate (D3 = 0, 1, 2): on F1xx
// DCOCTL and BCSCTL1, on F4xx SCFI0 and SCFI1.
struct RateSetting {
    uint32_t rate;
    uint8_t f1xx[2];
    uint8_t f4xx[2];
};
constexpr RateSetting kRateSettings[] = {
    {9600, {0x80, 0x85}, {0x00, 0x98}},
    {19200, {0xE0, 0x86}, {0x00, 0xB0}},
    {38400, {0xE0, 0x87}, {0x00, 0xC8}},
};

// The loader's frame check: the bytes as little-endian words, XORed, inverted; an odd
// last byte takes no part.
uint16_t FrameCheck(const uint8_t* bytes, uint32_t count) {
    uint16_t sum = 0;
    for (uint32_t i = 0; i + 1 < count; i += 2)
        sum ^= static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
    return static_cast<uint16_t>(~sum);
}

// Commands whose address and length must both be even. The loader's guide asks this of
// the write command; reads are refused here too (the loader reads in word mode from 1.30
// on), so that no programmer can come to rely on an odd one. The erase check is
// documented to take odd ranges and does.
bool WordAligned(uint8_t command) {
    return command == kCmdWrite || command == kCmdRead;
}

} // namespace

BslTarget::BslTarget(DeviceModel& device, BslTargetTiming timing) : device_(device), timing_(timing) {}

uint32_t BslTarget::FrameCount(uint8_t command) const {
    return static_cast<uint32_t>(std::count_if(
        frames_.begin(), frames_.end(), [command](const BslFrameRecord& f) { return f.command == command; }));
}

void BslTarget::RefuseNextFrame(uint8_t command, uint32_t afterBytes, uint8_t answer) {
    refusePending_ = true;
    refuseCommand_ = command;
    refuseAfter_ = std::max<uint32_t>(afterBytes, 1);
    refuseAnswer_ = answer;
}

void BslTarget::SetAnswerOverride(uint8_t command, uint8_t answer) {
    overrideCommand_ = answer != 0 ? command : 0;
    overrideAnswer_ = answer;
}

uint64_t BslTarget::ByteNs() const {
    return baudRate_ == kBslGarbledRate ? timing_.byteNs : timing_.byteNs * kBslBaudRate / baudRate_;
}

uint32_t BslTarget::RateFor(uint8_t d1, uint8_t d2, uint8_t d3) const {
    if (d3 >= sizeof(kRateSettings) / sizeof(kRateSettings[0]))
        return 0;
    const RateSetting& setting = kRateSettings[d3];
    const bool f4xx = device_.Identification()[0] == 0xF4;
    const uint8_t* expected = f4xx ? setting.f4xx : setting.f1xx;
    // A clock set for another rate or another family runs the UART at no usable rate.
    return d1 == expected[0] && d2 == expected[1] ? setting.rate : kBslGarbledRate;
}

void BslTarget::SetPins(bool reset, bool test, uint64_t nowNs) {
    SetEntryPins(reset, test, !test, nowNs);
}

bool BslTarget::HasTestPin() const {
    const auto& id = device_.Identification();
    return (id[0] == 0xF1 && (id[1] == 0x12 || id[1] == 0x23)) ||
           ((id[0] == 0x11 || id[0] == 0x12) && id[1] == 0x32);
}

void BslTarget::SetEntryPins(bool reset, bool testPin, bool tckPin, uint64_t nowNs) {
    // The level the entry sequence is read from: TEST, or TCK inverted.
    const bool test = HasTestPin() ? testPin : !tckPin;
    const bool wasReset = resetPin_;
    const bool wasTest = testPin_;
    // How long the levels before this change were held.
    const uint64_t resetHeld = nowNs - resetChangeNs_;
    const uint64_t testHeld = nowNs - testChangeNs_;
    if (reset != wasReset)
        resetChangeNs_ = nowNs;
    if (test != wasTest)
        testChangeNs_ = nowNs;
    resetPin_ = reset;
    testPin_ = test;
    const uint64_t minimum = timing_.minPinLevelNs;
    if (!reset) {
        if (wasReset) {
            ++resetCount_;
            modeBeforeReset_ = mode_;
            mode_ = BslTargetMode::Reset;
            testEdges_ = 0;
            output_.clear();
        } else if (test && !wasTest) {
            // A rising edge out of a low too short to be seen is no edge.
            if (testHeld >= minimum)
                ++testEdges_;
            else
                ++shortLevels_;
        } else if (!test && wasTest && testHeld < minimum && testEdges_ > 0) {
            // A high too short to be seen: its rising edge never happened.
            --testEdges_;
            ++shortLevels_;
        }
        return;
    }
    if (!wasReset) {
        if (resetHeld < minimum) {
            // The filtered pin never went low: the chip goes on as it was.
            mode_ = modeBeforeReset_;
            ++shortLevels_;
            return;
        }
        if (test && testEdges_ >= 2 && testHeld >= minimum)
            EnterLoader(nowNs);
        else
            mode_ = BslTargetMode::UserProgram;
    }
}

void BslTarget::StartLoader(uint64_t nowNs) {
    EnterLoader(nowNs);
}

void BslTarget::EnterLoader(uint64_t nowNs) {
    mode_ = BslTargetMode::Loader;
    baudRate_ = kBslBaudRate;
    pendingRate_ = 0;
    rateSettledNs_ = 0;
    rx_ = RxState::Idle;
    frame_.clear();
    unlocked_ = false;
    patchRunning_ = false;
    patchLoadedEnd_ = 0;
    massEraseAccumulatedNs_ = 0;
    output_.clear();
    txFreeNs_ = nowNs;
    lastRxNs_ = nowNs;
}

std::vector<BslTimedByte> BslTarget::TakeOutput() {
    std::vector<BslTimedByte> out(output_.begin(), output_.end());
    output_.clear();
    return out;
}

void BslTarget::Answer(uint8_t byte, uint64_t readyNs) {
    const uint64_t start = std::max(readyNs, txFreeNs_);
    txFreeNs_ = start + ByteNs();
    output_.push_back({byte, txFreeNs_, baudRate_});
}

void BslTarget::Receive(uint8_t byte, uint64_t nowNs) {
    if (mode_ != BslTargetMode::Loader || silent_)
        return;
    if (nowNs < rateSettledNs_) {
        ++lostSettling_;
        return;
    }
    // A frame that stalls is forgotten, so that the next synchronisation gets through.
    if (rx_ != RxState::Idle && nowNs - lastRxNs_ > timing_.frameGapNs) {
        rx_ = RxState::Idle;
        frame_.clear();
    }
    lastRxNs_ = nowNs;
    const uint64_t ready = nowNs + timing_.turnaroundNs;

    switch (rx_) {
    case RxState::Idle:
        if (byte == kSync) {
            Answer(kAck, ready);
            rx_ = RxState::Synced;
        }
        return;
    case RxState::Synced:
        if (byte != kSync) {
            rx_ = RxState::Idle;
            return;
        }
        frame_.assign(1, byte);
        rx_ = RxState::InFrame;
        break;
    case RxState::InFrame:
        // A synchronisation byte where the command belongs starts over.
        if (frame_.size() == 1 && byte == kSync) {
            Answer(kAck, ready);
            rx_ = RxState::Synced;
            frame_.clear();
            return;
        }
        frame_.push_back(byte);
        break;
    }

    if (refusePending_ && frame_.size() >= refuseAfter_ &&
        (refuseCommand_ == 0 || (frame_.size() >= 2 && frame_[1] == refuseCommand_))) {
        refusePending_ = false;
        Answer(refuseAnswer_, ready);
        rx_ = RxState::Idle;
        frame_.clear();
        return;
    }
    if (frame_.size() == 4) {
        const uint8_t l1 = frame_[2];
        if (l1 != frame_[3] || l1 < 4 || l1 > 4 + kMaxData) {
            Answer(kNak, ready);
            rx_ = RxState::Idle;
            frame_.clear();
            return;
        }
    }
    if (frame_.size() >= 4 && frame_.size() == static_cast<size_t>(frame_[2]) + 6) {
        Execute(nowNs);
        rx_ = RxState::Idle;
        frame_.clear();
    }
}

void BslTarget::Execute(uint64_t nowNs) {
    const uint32_t l1 = frame_[2];
    const uint8_t command = frame_[1];
    const uint16_t address = static_cast<uint16_t>(frame_[4] | (frame_[5] << 8));
    const uint16_t length = static_cast<uint16_t>(frame_[6] | (frame_[7] << 8));
    const uint16_t check = FrameCheck(frame_.data(), l1 + 4);
    const uint64_t ready = nowNs + timing_.turnaroundNs;
    if (frame_[l1 + 4] != (check & 0xFF) || frame_[l1 + 5] != (check >> 8)) {
        Answer(kNak, ready);
        return;
    }
    // Only the same erase, frame after frame, adds up to the cumulative erase time.
    const uint32_t eraseKind =
        command == kCmdMassErase || command == kCmdErase ? (command << 16) | length : 0;
    if (eraseKind != accumulatingErase_) {
        massEraseAccumulatedNs_ = 0;
        accumulatingErase_ = eraseKind;
    }

    uint64_t busy = 0;
    std::vector<uint8_t> dataFrame;
    uint8_t answer;
    if (overrideCommand_ != 0 && command == overrideCommand_) {
        answer = overrideAnswer_;
    } else if (WordAligned(command) && ((address | length | (l1 - 4)) & 1) != 0) {
        answer = kNak;
    } else if (command == kCmdWrite && length != l1 - 4) {
        // A write frame's length field counts its data bytes.
        answer = kNak;
    } else if (!Knows(command)) {
        // The loader confirms a command it does not know as it confirms a locked one.
        answer = kNak;
    } else if (!unlocked_ && command != kCmdPassword && command != kCmdMassErase &&
               command != kCmdChangeBaud && command != kCmdTxVersion) {
        answer = kNak;
    } else {
        answer = Carry(command, address, length, frame_.data() + kHeadLength, l1 - 4, busy, dataFrame);
    }
    frames_.push_back({command, address, length, answer});
    if (answer == kDataFrame) {
        for (size_t i = 0; i < dataFrame.size(); ++i)
            Answer(dataFrame[i], ready + busy);
    } else {
        Answer(answer, ready + busy);
    }
    // A new rate takes effect once the acknowledge has gone out at the old one.
    if (pendingRate_ != 0) {
        baudRate_ = pendingRate_;
        pendingRate_ = 0;
        rateSettledNs_ = txFreeNs_ + kBslRateSettleNs;
    }
    // Code started outside the loader takes the chip away from it once it has answered.
    if (leaving_) {
        leaving_ = false;
        mode_ = BslTargetMode::UserProgram;
        rx_ = RxState::Idle;
    }
}

uint8_t BslTarget::Carry(uint8_t command, uint16_t address, uint16_t length, const uint8_t* data,
                         uint32_t count, uint64_t& busyNs, std::vector<uint8_t>& dataFrame) {
    switch (command) {
    case kCmdPassword: {
        // A well-formed password frame is acknowledged whether or not it matches: a wrong
        // password shows only as refusals of the protected commands that follow. Once
        // unlocked, the loader stays so until it is entered again.
        const auto vectors = device_.VectorPassword();
        if (count != vectors.size())
            return kNak;
        if (!refusePasswords_ && std::equal(vectors.begin(), vectors.end(), data))
            unlocked_ = true;
        ++passwordFrames_;
        return kAck;
    }
    case kCmdWrite: {
        bool written = true;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t at = static_cast<uint32_t>(address) + i;
            const bool flash = device_.IsFlash(at);
            if (!device_.Write(at, data[i]))
                written = false;
            else if (device_.LoaderVersion() >= kCheckingVersion && device_.Read(at) != data[i])
                written = false;
            if (flash)
                busyNs += timing_.programByteNs;
        }
        // Track how far code has been loaded from the patch address on.
        if (address >= kPatchBase && address <= kPatchBase + patchLoadedEnd_) {
            const uint32_t end = address + count - kPatchBase;
            patchLoadedEnd_ = address == kPatchBase ? end : std::max(patchLoadedEnd_, end);
        }
        return written ? kAck : kNak;
    }
    case kCmdRead: {
        if (length > kMaxData)
            return kNak;
        dataFrame.assign({kDataFrame, 0x00, static_cast<uint8_t>(length), static_cast<uint8_t>(length)});
        for (uint32_t i = 0; i < length; ++i)
            dataFrame.push_back(device_.Read(static_cast<uint32_t>(address) + i));
        const uint16_t check = FrameCheck(dataFrame.data(), static_cast<uint32_t>(dataFrame.size()));
        dataFrame.push_back(static_cast<uint8_t>(check));
        dataFrame.push_back(static_cast<uint8_t>(check >> 8));
        return kDataFrame;
    }
    case kCmdErase: {
        // The key goes to the flash controller: ERASE alone erases the segment the address
        // is in, MERAS alone every main-memory segment (information memory is kept, wherever
        // in flash the address lies), both together all flash.
        const MemoryBounds& b = device_.Bounds();
        if (length == kKeySegment) {
            busyNs += timing_.segmentEraseNs;
            bool erased = device_.EraseSegment(address);
            uint32_t first = device_.SegmentStart(address);
            uint32_t last = device_.SegmentEnd(address);
            const uint16_t version = device_.LoaderVersion();
            if (version >= kWholeInfoCheckVersion && version < 0x0200 &&
                device_.RegionOf(address) == Region::Info) {
                first = b.infoStart;
                last = b.infoEnd;
            }
            if (erased && version >= kCheckingVersion)
                erased = device_.IsBlank(first, last - first + 1);
            return erased ? kAck : kNak;
        }
        if (length != kKeyMainOrInfo && length != kKeyMass)
            return kNak;
        const bool mass = length == kKeyMass;
        const Region region = device_.RegionOf(address);
        if (region != Region::Main && region != Region::Info) {
            // The loader sets the keys and writes the dummy word at the address: outside
            // flash that write reaches RAM or nothing, the controller never starts, and the
            // loader acknowledges after its usual wait (the main-memory erase is not
            // checked afterwards).
            busyNs += mass || IsOld() ? timing_.massErasePulseNs : timing_.cumulativeMassEraseNs;
            return kAck;
        }
        bool erased = LongErase(mass, busyNs);
        // The main-memory erase is not checked afterwards: each frame is only one pulse.
        if (erased && mass && device_.LoaderVersion() >= kCheckingVersion)
            erased = device_.IsBlank(b.mainStart, b.mainEnd - b.mainStart + 1) &&
                     device_.IsBlank(b.infoStart, b.infoEnd - b.infoStart + 1);
        return erased ? kAck : kNak;
    }
    case kCmdMassErase: {
        if (length != kKeyMass)
            return kNak;
        const bool erased = LongErase(true, busyNs);
        // The ROM loader takes the password afresh after its vectors have been wiped.
        if (!HasExtension())
            unlocked_ = false;
        return erased ? kAck : kNak;
    }
    case kCmdLoadPc: {
        if (address == kLoaderReentry) {
            // Back to the loader's start: locked, nothing loaded.
            unlocked_ = false;
            patchRunning_ = false;
            patchLoadedEnd_ = 0;
            return kAck;
        }
        if (WorkingPatchLoadedAt(address)) {
            patchRunning_ = true;
            return kAck;
        }
        leaving_ = true;
        return kAck;
    }
    case kCmdChangeBaud: {
        const uint32_t rate = RateFor(static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                                      static_cast<uint8_t>(length));
        if (rate == 0)
            return kNak;
        pendingRate_ = rate;
        return kAck;
    }
    case kCmdTxVersion: {
        // Sixteen bytes: the chip's identification first, the loader's version at 10 and
        // 11, as the identification block holds them.
        dataFrame.assign({kDataFrame, 0x00, kVersionBlock, kVersionBlock});
        for (uint32_t i = 0; i < kVersionBlock; ++i)
            dataFrame.push_back(device_.Read(kIdentificationAddress + i));
        const uint16_t check = FrameCheck(dataFrame.data(), static_cast<uint32_t>(dataFrame.size()));
        dataFrame.push_back(static_cast<uint8_t>(check));
        dataFrame.push_back(static_cast<uint8_t>(check >> 8));
        return kDataFrame;
    }
    case kCmdEraseCheck: {
        busyNs += timing_.eraseCheckByteNs * length;
        return device_.IsBlank(address, length) ? kAck : kNak;
    }
    default:
        return kNak;
    }
}

bool BslTarget::Knows(uint8_t command) const {
    const uint16_t version = device_.LoaderVersion();
    switch (command) {
    case kCmdPassword:
    case kCmdWrite:
    case kCmdRead:
    case kCmdErase:
    case kCmdMassErase:
    case kCmdLoadPc:
        return true;
    case kCmdEraseCheck:
    case kCmdTxVersion:
        // The old loader's extension brings the erase check.
        return (version >= kEraseCheckVersion && version < 0x0200) ||
               (command == kCmdEraseCheck && HasExtension());
    case kCmdChangeBaud:
        // An extension of an old loader does not bring it.
        return version >= kChangeBaudVersion && version < 0x0200;
    default:
        return false;
    }
}

bool BslTarget::LongErase(bool mass, uint64_t& busyNs) {
    // An old loader's frame erases for a fraction of the time the flash needs; only
    // enough frames in a row add up to a full erase. So does the main-memory key on every
    // ROM loader (its guide asks for at least 12 such frames). A newer loader's mass erase
    // and the extension loop until the time is reached.
    if ((device_.LoaderVersion() < kOneFrameMassEraseVersion || !mass) && !HasExtension()) {
        busyNs += timing_.massErasePulseNs;
        massEraseAccumulatedNs_ += timing_.massErasePulseNs;
        if (massEraseAccumulatedNs_ < timing_.cumulativeMassEraseNs)
            return true;
        massEraseAccumulatedNs_ = 0;
    } else {
        busyNs += timing_.cumulativeMassEraseNs;
    }
    return mass ? device_.EraseMass() : device_.EraseMain();
}

bool BslTarget::WorkingPatchLoadedAt(uint16_t start) const {
    if (workingPatch_.size() < 2 || patchLoadedEnd_ < workingPatch_.size())
        return false;
    if (start != (workingPatch_[0] | (workingPatch_[1] << 8)))
        return false;
    for (uint32_t i = 0; i < workingPatch_.size(); ++i) {
        if (device_.Read(kPatchBase + i) != workingPatch_[i])
            return false;
    }
    return true;
}

} // namespace pyrola::sim
