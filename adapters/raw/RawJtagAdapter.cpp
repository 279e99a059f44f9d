#include "adapters/raw/RawJtagAdapter.h"

#include "adapters/DeviceTable.h"
#include "adapters/raw/RawError.h"
#include "adapters/raw/TestPinDevices.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <vector>

namespace pyrola {

namespace {

constexpr uint32_t kOpenResetMethods = kResetLine | kResetSupplyCycle;

// A byte range widened to whole words.
struct WordWindow {
    uint16_t start = 0; // even
    uint32_t lead = 0;  // 1 when the range starts at an odd address
    uint32_t words = 0;
};

WordWindow WindowOf(uint32_t address, uint32_t count) {
    WordWindow window;
    window.start = static_cast<uint16_t>(address & 0xFFFE);
    window.lead = address & 1;
    window.words = count == 0 ? 0 : (window.lead + count + 1) / 2;
    return window;
}

// One signature step: the chip's polynomial, then the next word.
uint16_t NextSignature(uint16_t signature, uint16_t word) {
    if ((signature & 0x8000) != 0) {
        signature = static_cast<uint16_t>(((signature ^ 0x0805) << 1) | 1);
    } else {
        signature = static_cast<uint16_t>(signature << 1);
    }
    return static_cast<uint16_t>(signature ^ word);
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

std::string Us(uint64_t ns) {
    return std::to_string((ns + 500) / 1000) + " us";
}

} // namespace

RawJtagAdapter::RawJtagAdapter(PortIo& portIo, Clock& clock) : port_(portIo, clock), jtag_(port_) {
    // The port is left alone until a job asks for it: opening it (installing the driver,
    // claiming the device) may already move its lines.
    portNumber = 1;
}

RawJtagAdapter::~RawJtagAdapter() {
    port_.portIo.Close();
}

bool RawJtagAdapter::Open() {
    isOpen = 0;
    PortIo& io = port_.portIo;
    const bool reachable = io.Open(portNumber);
    // Which device or library answers is always said, so a simulated port never goes unnoticed.
    AddNote("LPT" + std::to_string(portNumber) + ": " + io.Describe());
    if (!reachable) {
        port_.errorNumber = kRawInterfaceFailed;
        return false;
    }
    port_.SelectPort(portNumber);
    // Reads only: the lines stay as they are until the attach.
    const uint64_t accessNs = port_.MeasureAccess();
    counts_ = {};
    rowNs_.clear();
    refusalNoted_ = false;
    if (port_.PaceTclk(accessNs)) {
        AddNote("LPT" + std::to_string(portNumber) + ": a port access takes " + std::to_string(accessNs) +
                " ns; flash timing TCLK " + std::to_string(port_.TclkHz() / 1000) +
                " kHz, each period paced against the clock");
    } else {
        AddNote("LPT" + std::to_string(portNumber) + ": a port access takes " + std::to_string(accessNs) +
                " ns, too slow for flash timing (TCLK at most " + std::to_string(port_.TclkHz() / 1000) +
                " kHz, where the flash needs 257 to 476 kHz in every period and a row programmed within 4 "
                "ms, so at most " +
                std::to_string(kTclkSlowestPacedNs - kTclkFloorNs) +
                " ns per access): erase and program are refused");
    }
    port_.Attach();
    return Identify();
}

bool RawJtagAdapter::Identify() {
    if (jtag_.ResetTarget(kOpenResetMethods, false, false) != 0) {
        if (jtag_.TestSecurityFuse() == 0) {
            port_.errorNumber = kRawFuseBlown;
            return false;
        }
        port_.errorNumber = kRawDeviceNotFound;
        // The device list's choice only explains the silence; it never refuses a chip that answers.
        if (DeviceNeedsTestPin(requestedDevice)) {
            AddNote(std::string(DeviceName(requestedDevice)) +
                    " needs its TEST pin driven for JTAG, and this parallel-port cable has no TEST line: "
                    "use the FET or BSL adapter for it");
        } else {
            AddNote("No JTAG answer from the target (chips with a TEST pin, MSP430F11x1, F11x2, F12x and "
                    "F12x2, cannot answer through this cable)");
        }
        return false;
    }
    uint16_t words[kIdentificationLength / 2] = {};
    if (jtag_.ReadWordsQuick(kIdentificationAddress, kIdentificationLength / 2, words) != 0) {
        port_.errorNumber = kRawDeviceNotFound;
        AddNote("The target's CPU did not take the address of its identification bytes");
        return false;
    }
    uint8_t identification[kIdentificationLength] = {};
    for (uint32_t i = 0; i < kIdentificationLength / 2; ++i) {
        identification[2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
        identification[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
    }
    if (jtag_.ShiftIr(kIrConfigFuses) != kJtagIdentification) {
        port_.errorNumber = kRawFusesUnreadable;
        return false;
    }
    const uint16_t fuses = jtag_.ShiftDr(0, 8);
    port_.deviceIndex = LookupDevice(identification, fuses);
    if (deviceRecord != nullptr) {
        FillDeviceRecord(port_.deviceIndex, deviceRecord);
    }
    if (port_.deviceIndex == 0) {
        port_.errorNumber = kRawUnknownDevice;
        return false;
    }
    if (DeviceNeedsTestPin(port_.deviceIndex)) {
        port_.errorNumber = kRawDeviceNotFound;
        AddNote(std::string(DeviceName(port_.deviceIndex)) +
                " needs its TEST pin driven for JTAG, which this parallel-port cable cannot do");
        return false;
    }
    isOpen = 1;
    return true;
}

bool RawJtagAdapter::Close() {
    isOpen = 0;
    if (port_.portIo.IsOpen()) {
        // Reset the CPU through JTAG, let it run, let go of the lines; the supply stays on.
        jtag_.ShiftIr(kIrControlWrite);
        jtag_.ShiftDr(kControlReset);
        jtag_.ShiftDr(kControlNormal);
        jtag_.ShiftIr(kIrControlRelease);
        port_.ReleaseLines();
    }
    return true;
}

int32_t RawJtagAdapter::GetErrorNumber() {
    const int32_t number = port_.errorNumber;
    port_.errorNumber = kRawNoError;
    return number;
}

const char* RawJtagAdapter::GetErrorText(int32_t number) {
    return RawErrorText(number);
}

void RawJtagAdapter::WriteRegister(uint16_t address, uint16_t value) {
    jtag_.ShiftIr(kIrAddress);
    jtag_.ShiftDr(address);
    jtag_.ShiftIr(kIrDataToAddress);
    jtag_.ShiftDr(value);
}

TclkTrainTiming RawJtagAdapter::Train(uint32_t pulses, uint32_t mark) {
    const TclkTrainTiming timing = port_.TclkTrain(pulses, mark);
    if (timing.shortestNs != 0) {
        counts_.shortestTclkNs = counts_.shortestTclkNs == 0
                                     ? timing.shortestNs
                                     : std::min(counts_.shortestTclkNs, timing.shortestNs);
    }
    counts_.longestTclkNs = std::max(counts_.longestTclkNs, timing.longestNs);
    return timing;
}

bool RawJtagAdapter::FlashTimingOrRefuse(const char* what, int32_t error) {
    if (port_.FlashTimingOk()) {
        return true;
    }
    port_.errorNumber = error;
    // The refusal holds until the next Open: a caller that tries again (the serial patch
    // does, five times) hears the reason once.
    if (refusalNoted_) {
        return false;
    }
    refusalNoted_ = true;
    AddNote(std::string(what) + " refused: a port access takes " + std::to_string(port_.AccessNs()) +
            " ns, too slow to clock the flash timing generator at 294 kHz or more (the flash needs 257 kHz "
            "in every period, and a 64-byte row programmed within 4 ms)");
    return false;
}

bool RawJtagAdapter::ErasePass(uint16_t mode, uint16_t address, uint32_t pulses, TclkTrainTiming* timing) {
    jtag_.HaltCpu();
    port_.SetTclk(kLineLow);
    jtag_.ShiftIr(kIrControlWrite);
    jtag_.ShiftDr(kControlWordWrite);
    WriteRegister(kFlashControl1, mode);
    port_.SetTclk(kLineFall);
    WriteRegister(kFlashControl2, kFlashClockFromCpu);
    port_.SetTclk(kLineFall);
    WriteRegister(kFlashControl3, kFlashUnlocked);
    port_.SetTclk(kLineFall);
    // The dummy write into the memory to erase starts the erase.
    WriteRegister(address, kFlashEraseDummy);
    port_.SetTclk(kLineFall);
    jtag_.ShiftIr(kIrControlWrite);
    jtag_.ShiftDr(kControlRead);
    *timing = Train(pulses);
    jtag_.ShiftIr(kIrControlWrite);
    jtag_.ShiftDr(kControlWordWrite);
    WriteRegister(kFlashControl1, kFlashDone);
    port_.SetTclk(kLineHigh);
    jtag_.ReleaseCpu();
    return !timing->Stretched() && !timing->TooFast();
}

bool RawJtagAdapter::ErasePassInTime(uint16_t mode, uint16_t address, uint32_t pulses) {
    TclkTrainTiming timing;
    bool stretched = false;
    for (uint32_t attempt = 0; attempt < kErasePassTries; ++attempt) {
        if (ErasePass(mode, address, pulses, &timing)) {
            return true;
        }
        // More erase time is harmless: a pass the program was stopped in is done once more,
        // and that one stands however long it took; a pass too fast never does.
        if (!timing.TooFast()) {
            if (stretched) {
                return true;
            }
            stretched = true;
        }
        ++counts_.retriedPasses;
    }
    port_.errorNumber = kRawEraseFailed;
    AddNote("The erase at " + Hex(address) +
            " ran its timing pulses faster than the flash allows in each of " +
            std::to_string(kErasePassTries) + " tries (shortest TCLK period " +
            std::to_string(timing.shortestNs) + " ns, at least " + std::to_string(kTclkFloorNs) +
            " ns wanted): the clock of this machine cannot pace the flash");
    return false;
}

bool RawJtagAdapter::CheckErased(uint32_t start, uint32_t end) {
    end = std::min<uint32_t>(end, 0xFFFF); // the 16-bit address space JTAG reaches here
    if (start > end || CheckSignature(start, nullptr, end - start + 1) == 0) {
        return true;
    }
    port_.errorNumber = kRawEraseFailed;
    AddNote("After the erase " + Hex(start) + "-" + Hex(end) + " is not blank: the chip did not erase it");
    return false;
}

int32_t RawJtagAdapter::Erase(uint32_t mode, uint32_t address, uint32_t) {
    if (!FlashTimingOrRefuse("Erase", kRawEraseFailed)) {
        return -1;
    }
    DeviceRecord device{};
    FillDeviceRecord(port_.deviceIndex, &device);
    const uint16_t target = static_cast<uint16_t>(address & 0xFFFF);
    if (mode == kEraseSegment) {
        if (!ErasePassInTime(kFlashSegmentErase, target, kSegmentErasePulses)) {
            return -1;
        }
        if (port_.deviceIndex == 0) {
            return 0; // nothing known to check against
        }
        // Information segments are 128 bytes, main segments 512, each aligned to its size
        // and clipped to its memory.
        const bool info = target >= device.infoStart && target <= device.infoEnd;
        const uint32_t size = info ? 128 : 512;
        const uint32_t aligned = target & ~(size - 1);
        const uint32_t first = std::max<uint32_t>(aligned, info ? device.infoStart : device.mainStart);
        const uint32_t last = std::min<uint32_t>(aligned + size - 1, info ? device.infoEnd : device.mainEnd);
        rowNs_.erase(rowNs_.lower_bound(first / kFlashRowBytes), rowNs_.upper_bound(last / kFlashRowBytes));
        return CheckErased(first, last) ? 0 : -1;
    }
    // One pass is short of the cumulative mass-erase time the flash needs.
    const uint16_t value = mode == kEraseMain ? kFlashMainErase : kFlashMassErase;
    for (uint32_t pass = 0; pass < kMassErasePasses; ++pass) {
        if (!ErasePassInTime(value, target, kMassErasePulses)) {
            return -1;
        }
    }
    rowNs_.clear();
    if (port_.deviceIndex == 0) {
        return 0;
    }
    if (!CheckErased(device.mainStart, device.mainEnd)) {
        return -1;
    }
    return mode == kEraseMain || CheckErased(device.infoStart, device.infoEnd) ? 0 : -1;
}

bool RawJtagAdapter::CanTransfer(int32_t noDeviceError, const void* data, uint32_t count) {
    if (port_.deviceIndex == 0) {
        port_.errorNumber = noDeviceError;
        return false;
    }
    if (data == nullptr && count > 0) {
        port_.errorNumber = kRawInvalidParameter;
        return false;
    }
    return true;
}

bool RawJtagAdapter::ProgramWords(uint16_t start, const std::vector<uint16_t>& words,
                                  const std::vector<uint32_t>& which, std::vector<uint32_t>* stretched) {
    jtag_.HaltCpu();
    port_.SetTclk(kLineLow);
    jtag_.ShiftIr(kIrControlWrite);
    jtag_.ShiftDr(kControlWordWrite);
    WriteRegister(kFlashControl1, kFlashWordWrite);
    port_.SetTclk(kLineFall);
    WriteRegister(kFlashControl2, kFlashClockFromCpu);
    port_.SetTclk(kLineFall);
    WriteRegister(kFlashControl3, kFlashUnlocked);
    port_.SetTclk(kLineFall);
    // The most one word's pulses may take in the window: what a row must still have left.
    const uint64_t wordMostNs = uint64_t{kWordProgramCycles} * kTclkLongestNs;
    bool first = true;
    std::string refusal;
    for (uint32_t i : which) {
        const uint16_t target = static_cast<uint16_t>(start + 2 * i);
        uint64_t& row = rowNs_[target / kFlashRowBytes];
        if (row + wordMostNs > kRowProgramLimitNs) {
            const uint32_t rowStart = target & ~(kFlashRowBytes - 1);
            refusal =
                "The write at " + Hex(target) + " could take the 64-byte row " + Hex(rowStart) + "-" +
                Hex(rowStart + kFlashRowBytes - 1) + " past the " + Us(kRowProgramLimitNs) +
                " of program time the flash allows it between erases (cumulative program time): it has had " +
                Us(row) + ", stretched by the program being stopped; erase it and program again";
            break;
        }
        // After the first word the instruction register still selects the control register.
        if (first) {
            jtag_.ShiftIrOut(kIrControlWrite);
            first = false;
        }
        jtag_.ShiftDrOut(kControlWordWrite);
        jtag_.ShiftIrOut(kIrAddress);
        jtag_.ShiftDrOut(target);
        jtag_.ShiftIrOut(kIrDataToAddress);
        jtag_.ShiftDrOut(words[i]);
        port_.SetTclk(kLineFall);
        jtag_.ShiftIrOut(kIrControlWrite);
        jtag_.ShiftDrOut(kControlRead);
        // The row is charged for the cycles the flash programs in (a stall in them included).
        const TclkTrainTiming timing = Train(kWordWritePulses, kWordProgramCycles);
        row += timing.markNs - timing.startNs;
        if (row > kRowProgramLimitNs) {
            const uint32_t rowStart = target & ~(kFlashRowBytes - 1);
            refusal =
                "The write at " + Hex(target) + " took the 64-byte row " + Hex(rowStart) + "-" +
                Hex(rowStart + kFlashRowBytes - 1) + " past the " + Us(kRowProgramLimitNs) +
                " of program time the flash allows it between erases (cumulative program time): its pulses "
                "ran " +
                Us(timing.markNs - timing.startNs) + ", the program was stopped while they ran";
            break;
        }
        if (timing.Stretched() || timing.TooFast()) {
            stretched->push_back(i);
        }
    }
    jtag_.ShiftIr(kIrControlWrite);
    jtag_.ShiftDr(kControlWordWrite);
    WriteRegister(kFlashControl1, kFlashDone);
    port_.SetTclk(kLineHigh);
    jtag_.ReleaseCpu();
    if (!refusal.empty()) {
        port_.errorNumber = kRawWriteFailed;
        AddNote(refusal);
        return false;
    }
    return true;
}

bool RawJtagAdapter::MendStretched(uint16_t start, const std::vector<uint16_t>& words,
                                   std::vector<uint32_t> stretched) {
    for (uint32_t round = 0; !stretched.empty(); ++round) {
        std::vector<uint32_t> again;
        for (uint32_t i : stretched) {
            const uint16_t target = static_cast<uint16_t>(start + 2 * i);
            uint16_t held = 0;
            if (jtag_.ReadWordsQuick(target, 1, &held) != 0) {
                port_.errorNumber = kRawWriteFailed;
                AddNote("The target's CPU did not take the read address " + Hex(target));
                return false;
            }
            if (held == words[i]) {
                continue;
            }
            // Flash bits only go from 1 to 0 without an erase.
            if ((held & words[i]) != words[i] || round == kWordWriteRounds) {
                port_.errorNumber = kRawWriteFailed;
                AddNote("The write at " + Hex(target) + " was stopped while its pulses ran and left " +
                        Hex(held) + " where " + Hex(words[i]) + " was written; only an erase can mend it");
                return false;
            }
            again.push_back(i);
        }
        counts_.rewrittenWords += again.size();
        stretched.clear();
        if (!again.empty() && !ProgramWords(start, words, again, &stretched)) {
            return false;
        }
    }
    return true;
}

int32_t RawJtagAdapter::WriteMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    if (!CanTransfer(kRawWriteFailed, data, count) || !FlashTimingOrRefuse("Program", kRawWriteFailed)) {
        return -1;
    }
    const WordWindow window = WindowOf(address, count);
    // Bytes of a word outside the range are programmed as 0xFF, which leaves them as they are.
    auto byteAt = [&](uint32_t j) -> uint16_t {
        return j >= window.lead && j - window.lead < count ? data[j - window.lead] : uint16_t{0xFF};
    };
    std::vector<uint16_t> words(window.words);
    std::vector<uint32_t> all(window.words);
    for (uint32_t i = 0; i < window.words; ++i) {
        words[i] = static_cast<uint16_t>(byteAt(2 * i) | byteAt(2 * i + 1) << 8);
        all[i] = i;
    }
    std::vector<uint32_t> stretched;
    if (!ProgramWords(window.start, words, all, &stretched) ||
        !MendStretched(window.start, words, stretched)) {
        return -1;
    }
    // The chip's signature of what it now holds, against what was written.
    if (count > 0 && CheckSignature(address, data, count) != 0) {
        port_.errorNumber = kRawWriteFailed;
        AddNote("After programming " + Hex(address) + "-" + Hex(address + count - 1) +
                " the chip does not hold what was written");
        return -1;
    }
    return 0;
}

int32_t RawJtagAdapter::ReadMemory(uint32_t address, uint8_t* data, uint32_t count) {
    if (!CanTransfer(kRawReadFailed, data, count)) {
        return -1;
    }
    const WordWindow window = WindowOf(address, count);
    std::vector<uint16_t> words(window.words);
    if (jtag_.ReadWordsQuick(window.start, window.words, words.data()) != 0) {
        port_.errorNumber = kRawReadFailed;
        AddNote("The target's CPU did not take the read address " + Hex(window.start));
        return -1;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t j = i + window.lead;
        const uint16_t word = words[j / 2];
        data[i] = static_cast<uint8_t>((j & 1) != 0 ? word >> 8 : word & 0xFF);
    }
    return 0;
}

int32_t RawJtagAdapter::CheckSignature(uint32_t address, const uint8_t* data, uint32_t count) {
    const WordWindow window = WindowOf(address, count);
    std::vector<uint16_t> expected(window.words, 0xFFFF);
    // The bytes of the edge words outside the range are what the target holds there.
    bool edgesRead = true;
    if (window.words > 0 && window.lead != 0) {
        edgesRead = jtag_.ReadWordsQuick(window.start, 1, &expected.front()) == 0;
    }
    const uint32_t end = window.lead + count;
    if (window.words > 0 && (end & 1) != 0) {
        const uint16_t last = static_cast<uint16_t>(window.start + 2 * (window.words - 1));
        edgesRead = edgesRead && jtag_.ReadWordsQuick(last, 1, &expected.back()) == 0;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t j = i + window.lead;
        const uint16_t byte = data != nullptr ? data[i] : uint16_t{0xFF};
        uint16_t& word = expected[j / 2];
        word = (j & 1) != 0 ? static_cast<uint16_t>((word & 0x00FF) | byte << 8)
                            : static_cast<uint16_t>((word & 0xFF00) | byte);
    }

    // A reset puts the CPU in a known state; a wrong identification is noted and the check
    // goes on.
    jtag_.ExecutePuc();
    jtag_.ShiftIr(kIrControlWrite);
    jtag_.ShiftDr(kControlNormal);
    jtag_.WaitInstructionFetch();
    const uint16_t seed = static_cast<uint16_t>(window.start - 2);
    jtag_.LoadProgramCounter(seed, 3);
    jtag_.ShiftIr(kIrDataPsa);

    uint16_t signature = seed;
    for (uint16_t word : expected) {
        signature = NextSignature(signature, word);
        // One TCLK reads the next word; one pass through Capture-DR adds it to the signature.
        port_.SetTclk(kLineHigh);
        port_.SetTck(kLineLow);
        port_.SetTms(true);
        port_.SetTck(kLineFall);
        port_.SetTms(false);
        port_.SetTck(kLineFall);
        port_.SetTck(kLineFall);
        port_.SetTms(true);
        port_.SetTck(kLineFall);
        port_.SetTck(kLineHigh);
        port_.SetTms(false);
        port_.SetTck(kLineRise);
        port_.SetTclk(kLineLow);
    }
    jtag_.ShiftIr(kIrShiftOutPsa);
    const uint16_t read = jtag_.ShiftDr(0);
    port_.SetTclk(kLineHigh);
    if (!edgesRead || read != signature) {
        port_.errorNumber = kRawVerifyFailed;
        return -1;
    }
    return 0;
}

int32_t RawJtagAdapter::EraseCheck(uint32_t address, uint32_t length) {
    return CheckSignature(address, nullptr, length);
}

int32_t RawJtagAdapter::VerifyMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    return CheckSignature(address, data, count);
}

int32_t RawJtagAdapter::Reset(uint32_t method, uint32_t execute, uint32_t releaseJtag) {
    return jtag_.ResetTarget(method, execute != 0, releaseJtag != 0);
}

} // namespace pyrola
