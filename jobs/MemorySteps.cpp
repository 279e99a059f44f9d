#include "adapters/DeviceTable.h"
#include "image/ImageRunCursor.h"
#include "jobs/JobEngine.h"
#include "jobs/JobSteps.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pyrola {

namespace {

// Inclusive span; an inverted range (a record the library filled oddly) is empty.
uint32_t Span(uint32_t first, uint32_t last) {
    return last >= first ? last - first + 1 : 0;
}

// Adapters may touch one byte past an odd count, so every transfer buffer has a spare.
std::vector<uint8_t> TransferBuffer(uint32_t length) {
    return std::vector<uint8_t>(size_t(length) + 1, 0);
}

constexpr const char* kNoImageDataText = "No image data inside the device memory";

} // namespace

bool JobEngine::StepInit() {
    Report("Initialize..", 0);
    deviceRecord.supplyMillivolts = kTargetSupplyMillivolts;
    TargetAdapter* const target = Target();
    target->deviceRecord = &deviceRecord;
    target->requestedDevice = deviceIndex.load();
    if (target->Open()) {
        // What the adapter used to attach (its library file, say) comes first.
        LogAdapterNotes();
        // The library fills the name; never trust it to be terminated.
        char name[sizeof deviceRecord.name + 1] = {};
        std::memcpy(name, deviceRecord.name, sizeof deviceRecord.name);
        ReportLog("Device: %s. Info(0x%.4X-0x%.4X), Main:(0x%.4X-0x%.4X)", name, unsigned(Ranges().infoStart),
                  unsigned(Ranges().infoEnd), unsigned(Ranges().mainStart), unsigned(Ranges().mainEnd));
        deviceIndex = deviceRecord.index;
        const uint32_t required = requiredDevice.load();
        if (required != 0 && deviceRecord.index != required) {
            // Programming a chip other than the one named could write past its memory.
            deviceIndex = 0;
            ReportStatus("%s failed.", 1, "Init()");
            ReportLog("The chip is %s, not the %s that was named", name, DeviceName(required));
        } else if (const std::string problem = deviceRecord.index != 0 && request_.checkAttachedDevice
                                                   ? request_.checkAttachedDevice(deviceRecord)
                                                   : std::string();
                   !problem.empty()) {
            // Whatever is known about the run is checked against the chip before any step
            // may change it.
            PublishRecord();
            SendStatus(problem, 1);
            SendLog(problem);
            PostValue(kBusJobState, 0);
            return false;
        }
    } else {
        deviceIndex = 0;
        ReportFailureText("Init()");
    }
    PublishRecord();
    PostValue(kBusJobState, 0);
    // An attach that identified nothing ends the list without a further message.
    return deviceIndex.load() != 0;
}

bool JobEngine::StepReset() {
    if (!Target()->isOpen)
        return false;
    Report("Reset target..", 0);
    if (Target()->Reset(kResetDebugInterface | kResetLine | kResetSupplyCycle, 1, 1) != 0) {
        ReportFailure(JobStepName(kJobReset));
        return false;
    }
    ReportSuccess(JobStepName(kJobReset));
    return true;
}

bool JobEngine::StepErase() {
    if (!Target()->isOpen)
        return false;
    Report("Erasing flash memory..", 0);
    const uint32_t mode = eraseInfo ? kEraseAll : kEraseMain;
    if (Target()->Erase(mode, Ranges().mainStart, Span(Ranges().mainStart, Ranges().mainEnd)) != 0) {
        ReportFailure(JobStepName(kJobErase));
        return false;
    }
    ReportSuccess(JobStepName(kJobErase));
    return true;
}

bool JobEngine::StepBlankCheck() {
    if (!Target()->isOpen)
        return false;
    Report("Verifying device memory erasure..", 0);
    // An adapter that checks by moving the bytes (a loader without an erase check) asks
    // for pieces, so that the check shows progress and can be cancelled like a read.
    const uint32_t piece = Target()->blankCheckPiece;
    bool cancelled = false;
    auto check = [this, piece, &cancelled](uint32_t start, uint32_t length) -> int32_t {
        if (piece == 0)
            return Target()->EraseCheck(start, length);
        for (uint32_t done = 0; done < length;) {
            if (CancelRequested()) {
                cancelled = true;
                return -1;
            }
            const uint32_t count = std::min(piece, length - done);
            if (const int32_t result = Target()->EraseCheck(start + done, count); result != 0)
                return result;
            done += count;
            SendValue(kBusProgressPos, start + done);
        }
        return 0;
    };
    if (piece != 0)
        SendValue(kBusProgressRange, Ranges().mainEnd);
    int32_t result = 0;
    if (eraseInfo)
        result = check(Ranges().infoStart, Span(Ranges().infoStart, Ranges().infoEnd));
    if (result == 0)
        result = check(Ranges().mainStart, Span(Ranges().mainStart, Ranges().mainEnd));
    if (piece != 0)
        SendValue(kBusProgressEnd, 0);
    if (cancelled)
        return false;
    if (result != 0) {
        ReportFailure(JobStepName(kJobBlankCheck));
        return false;
    }
    ReportSuccess(JobStepName(kJobBlankCheck));
    return true;
}

bool JobEngine::StepRead() {
    if (!Target()->isOpen)
        return false;
    image->Clear();
    Report("Reading device memory..", 0);
    const uint32_t infoStart = Ranges().infoStart;
    const uint32_t infoLength = Span(infoStart, Ranges().infoEnd);
    const uint32_t mainStart = Ranges().mainStart;
    const uint32_t mainEnd = Ranges().mainEnd;
    const uint32_t mainLength = Span(mainStart, mainEnd);
    SendValue(kBusProgressRange, mainEnd);
    PostValue(kBusScrollTo, infoStart);

    // Information memory: one transfer for every known device. A record claiming more than
    // the buffer holds is read in buffer-sized pieces rather than overrunning it.
    std::vector<uint8_t> buffer = TransferBuffer(kInfoReadBuffer);
    bool ok = true;
    for (uint32_t done = 0; ok && done < infoLength;) {
        const uint32_t count = std::min(kInfoReadBuffer, infoLength - done);
        ok = Target()->ReadMemory(infoStart + done, buffer.data(), count) == 0;
        if (ok) {
            for (uint32_t i = 0; i < count; ++i)
                image->StoreByte(infoStart + done + i, buffer[i]);
        }
        done += count;
    }
    if (ok && infoLength > 0)
        SendValue(kBusProgressPos, infoStart + infoLength);

    const uint32_t chunk = 2 * BlockSize();
    buffer = TransferBuffer(chunk);
    for (uint32_t address = mainStart; ok && mainLength > 0 && address <= mainEnd;) {
        if (CancelRequested()) {
            SendValue(kBusProgressEnd, 0);
            return false;
        }
        const uint32_t count = std::min(chunk, mainEnd - address + 1);
        ok = Target()->ReadMemory(address, buffer.data(), count) == 0;
        // Stored even after a failed transfer, so the view shows what arrived.
        for (uint32_t i = 0; i < count; ++i)
            image->StoreByte(address + i, buffer[i]);
        address += count;
        SendValue(kBusProgressPos, address);
    }
    SendValue(kBusProgressEnd, 0);
    if (!ok) {
        ReportFailureText(JobStepName(kJobRead));
        return false;
    }
    const uint32_t total = infoLength + mainLength;
    Report("Read %d(0x%X) bytes", 0, int(total), unsigned(total));
    return true;
}

void JobEngine::DeviceWindow(uint32_t& start, uint32_t& end) {
    start = image->Low();
    end = image->High();
    if (start < Ranges().infoStart) {
        start = Ranges().infoStart;
        ReportLog("Warning: Device memory started at 0x%4X", unsigned(start));
    }
    if (end > Ranges().mainEnd) {
        end = Ranges().mainEnd;
        ReportLog("Warning: Device memory end at 0x%4X", unsigned(end));
    }
}

void JobEngine::WarnBytesOutsideDevice(const char* action) {
    // Protected information bytes are left out on purpose; they are not counted here.
    const MemoryRanges ranges = Ranges();
    if (image->Low() > image->High())
        return;
    uint32_t count = 0;
    uint32_t first = 0;
    const uint32_t last = std::min<uint32_t>(image->High(), image->CellCount() - 1);
    for (uint32_t address = image->Low(); address <= last; ++address) {
        if (!image->IsPresent(address) || ranges.InFlash(address))
            continue;
        if (count++ == 0)
            first = address;
    }
    if (count == 0)
        return;
    // An image for a larger part must not end in a quiet "complete": say what was left.
    ReportLog("Warning: %d image bytes outside the device memory were not %s (first at 0x%.4X)", int(count),
              action, unsigned(first));
    bytesOutsideDevice = std::max(bytesOutsideDevice.load(), count);
}

bool JobEngine::StepProgram() {
    if (!Target()->isOpen)
        return false;
    Report("Programming the device memory..", 0);
    uint32_t start = 0;
    uint32_t end = 0;
    DeviceWindow(start, end);
    WarnBytesOutsideDevice("written");
    image->ClearFlags(CellError);
    if (!eraseInfo && start <= Ranges().infoEnd)
        start = Ranges().mainStart; // information memory is protected
    SendValue(kBusProgressRange, end);

    ImageRunCursor cursor(*image, start, end, 4 * BlockSize(), true, Ranges());
    uint32_t runStart = 0;
    uint32_t runLength = 0;
    uint32_t runs = 0;
    while (cursor.NextRun(runStart, runLength)) {
        if (CancelRequested()) {
            SendValue(kBusProgressEnd, 0);
            return false;
        }
        // A piece that ends inside a word leaves that byte to the next piece, so that the
        // word is programmed once, whole.
        if (Target()->writesWholeWords && runLength > 1 && ((runStart + runLength) & 1) != 0 &&
            runLength == cursor.BufferLength() && cursor.GiveBackLastByte())
            --runLength;
        ++runs;
        if (Target()->WriteMemory(runStart, cursor.Data(), runLength) != 0) {
            SendValue(kBusProgressEnd, 0);
            image->SetFlag(runStart, runLength, CellError);
            PostValue(kBusScrollTo, runStart);
            ReportFailure(JobStepName(kJobProgram));
            return false;
        }
        SendValue(kBusProgressPos, runStart);
    }
    SendValue(kBusProgressEnd, 0);
    if (runs == 0) {
        // Nothing of the image lies in the device: reporting success would hide that the
        // chip was left unprogrammed.
        ReportStatus("%s failed.", 1, "Program");
        ReportLog("%s", kNoImageDataText);
        return false;
    }
    ReportSuccess(JobStepName(kJobProgram));
    return true;
}

bool JobEngine::StepVerify() {
    if (!Target()->isOpen)
        return false;
    Report("Verifying device memory programming..", 0);
    uint32_t errors = 0;
    uint32_t start = 0;
    uint32_t end = 0;
    DeviceWindow(start, end);
    WarnBytesOutsideDevice("checked");
    // No information protection here: information bytes in the image are compared too.
    image->ClearFlags(CellVerified | CellError);
    SendValue(kBusProgressRange, end);

    ImageRunCursor cursor(*image, start, end, 4 * BlockSize(), false, Ranges());
    uint32_t runStart = 0;
    uint32_t runLength = 0;
    uint32_t runs = 0;
    bool readFailed = false;
    while (cursor.NextRun(runStart, runLength)) {
        if (CancelRequested()) {
            SendValue(kBusProgressEnd, 0);
            return false;
        }
        ++runs;
        uint8_t* data = cursor.Data();
        if (Target()->ReadMemory(runStart, data, runLength) != 0) {
            readFailed = true;
            break;
        }
        for (uint32_t i = 0; i < runLength; ++i) {
            const uint32_t address = runStart + i;
            if (image->ValueAt(address) == data[i]) {
                image->SetFlagAt(address, CellVerified);
            } else {
                image->SetFlagAt(address, CellError);
                ++errors;
            }
        }
        SendValue(kBusProgressPos, runStart);
    }
    SendValue(kBusProgressEnd, 0);
    uint32_t firstError = 0;
    for (uint32_t address = 0; address < image->CellCount(); ++address) {
        if ((image->CellAt(address) & CellError) != 0) {
            firstError = address;
            break;
        }
    }
    PostValue(kBusScrollTo, firstError);
    if (readFailed) {
        ReportFailure(JobStepName(kJobVerify));
        return false;
    }
    if (runs == 0) {
        ReportStatus("%s failed.", 1, "Verify");
        ReportLog("%s", kNoImageDataText);
        return false;
    }
    if (errors == 0) {
        ReportSuccess(JobStepName(kJobVerify));
        return true;
    }
    Report("Verify failed. Found %d errors", 1, int(errors));
    return false;
}

bool JobEngine::StepDump(uint32_t address, uint32_t length) {
    if (!Target()->isOpen)
        return false;
    Report("Dump device memory..", 0);
    image->Clear();
    // A zero length (RAM ending below its start) has nothing to transfer; an adapter is
    // never asked for an empty read.
    if (length > 0) {
        std::vector<uint8_t> buffer = TransferBuffer(length);
        if (Target()->ReadMemory(address, buffer.data(), length) != 0) {
            ReportFailureText("Dump");
            return false;
        }
        for (uint32_t i = 0; i < length; ++i)
            image->StoreByte(address + i, buffer[i]);
    }
    ReportSuccess("Dump");
    return true;
}

bool JobEngine::StepDebugOneWire() {
    Report("Debug OW interface. Try to get DS18B20", 0);
    if (TargetAdapter* target = Target())
        (void)target->DebugOneWire();
    ReportSuccess(JobStepName(kJobDebugOneWire));
    return true;
}

bool JobEngine::StepAttachOnly() {
    return true;
}

} // namespace pyrola
