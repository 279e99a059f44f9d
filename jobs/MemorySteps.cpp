#include "jobs/MemorySteps.h"
#include "adapters/DeviceTable.h"
#include "base/TextFormat.h"
#include "image/BytesOutside.h"
#include "image/ImageRunCursor.h"

#include "jobs/DeviceIdentity.h"
#include "jobs/JobSteps.h"

#include <algorithm>
#include <cstring>
#include <string>
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

constexpr uint32_t kDumpDeviceIdAddress = 0x0FF0;
constexpr uint32_t kDumpDeviceIdLength = 16;
constexpr uint32_t kRamStart = 0x0200;
constexpr uint32_t kDumpLoaderAddress = 0x0C00;
constexpr uint32_t kDumpLoaderLength = 0x03F0;

// Clamps the image window to the device and logs the warnings.
void DeviceWindow(StepContext& context, uint32_t& start, uint32_t& end);
// Logs one warning for the image bytes outside the device's memory, which the step leaves
// out ("written" or "checked"), and records their count.
void WarnBytesOutsideDevice(StepContext& context, const char* action);
// A full piece that ends inside a word leaves that byte to the next piece, so that an
// adapter moving whole words programs each word once, whole, and reads none twice.
void EndPieceOnWord(const StepContext& context, ImageRunCursor& cursor, uint32_t runStart,
                    uint32_t& runLength) {
    if (context.target->writesWholeWords && runLength > 1 && ((runStart + runLength) & 1) != 0 &&
        runLength == cursor.BufferLength() && cursor.GiveBackLastByte())
        --runLength;
}
// Reads length bytes at address into the emptied image; the step of flag names the reports.
bool Dump(StepContext& context, uint32_t flag, uint32_t address, uint32_t length);

} // namespace

bool StepInit(StepContext& context) {
    context.Report("Initialize..", 0);
    context.device.supplyMillivolts = kTargetSupplyMillivolts;
    TargetAdapter* const target = context.target;
    target->deviceRecord = &context.device;
    target->requestedDevice = context.deviceIndex.load();
    target->candidates.clear();
    if (target->Open()) {
        // What the adapter used to attach (its library file, say) comes first.
        context.LogAdapterNotes();
        std::string problem;
        const bool settled = SettleDeviceIdentity(context, problem);
        context.deviceIndex = context.device.index;
        if (!settled) {
            // Programming a chip other than the one named could write past its memory.
            context.deviceIndex = 0;
            context.reporter.StepFailedStatus(0);
            context.ReportLog("%s", problem.c_str());
        } else if (problem = context.device.index != 0 && context.request.checkAttachedDevice
                                 ? context.request.checkAttachedDevice(context.device)
                                 : std::string();
                   !problem.empty()) {
            // Whatever is known about the run is checked against the chip before any step
            // may change it.
            context.PublishRecord();
            context.reporter.Status(problem, 1);
            context.reporter.Log(problem);
            context.reporter.PostValue(kBusJobState, 0);
            return false;
        }
    } else {
        context.deviceIndex = 0;
        context.StepFailedText(0);
    }
    context.PublishRecord();
    context.reporter.PostValue(kBusJobState, 0);
    if (context.deviceIndex.load() != 0 && context.request.inspectAttached) {
        context.request.inspectAttached(context.device,
                                        [target](uint32_t address, uint8_t* data, uint32_t count) {
                                            // A spare byte: an adapter may touch one past an odd count.
                                            std::vector<uint8_t> buffer(size_t(count) + 1, 0);
                                            if (target->ReadMemory(address, buffer.data(), count) != 0)
                                                return false;
                                            std::copy_n(buffer.begin(), count, data);
                                            return true;
                                        });
    }
    // An attach that identified nothing ends the list without a further message.
    return context.deviceIndex.load() != 0;
}

bool StepReset(StepContext& context) {
    if (!context.target->isOpen)
        return false;
    context.Report("Reset target..", 0);
    if (context.target->Reset(kResetDebugInterface | kResetLine | kResetSupplyCycle, 1, 1) != 0) {
        context.StepFailed(kJobReset);
        return false;
    }
    context.StepSucceeded(kJobReset);
    return true;
}

bool StepErase(StepContext& context) {
    if (!context.target->isOpen)
        return false;
    context.Report("Erasing flash memory..", 0);
    const uint32_t mode = context.eraseInfo ? kEraseAll : kEraseMain;
    if (context.target->Erase(mode, context.Ranges().mainStart,
                              Span(context.Ranges().mainStart, context.Ranges().mainEnd)) != 0) {
        context.StepFailed(kJobErase);
        return false;
    }
    context.StepSucceeded(kJobErase);
    return true;
}

bool StepBlankCheck(StepContext& context) {
    if (!context.target->isOpen)
        return false;
    context.Report("Verifying device memory erasure..", 0);
    // An adapter that checks by moving the bytes (a loader without an erase check) asks
    // for pieces, so that the check shows progress and can be cancelled like a read.
    const uint32_t piece = context.target->blankCheckPiece;
    bool cancelled = false;
    auto check = [&context, piece, &cancelled](uint32_t start, uint32_t length) -> int32_t {
        if (piece == 0)
            return context.target->EraseCheck(start, length);
        for (uint32_t done = 0; done < length;) {
            if (context.CancelRequested()) {
                cancelled = true;
                return -1;
            }
            const uint32_t count = std::min(piece, length - done);
            if (const int32_t result = context.target->EraseCheck(start + done, count); result != 0)
                return result;
            done += count;
            context.reporter.SendValue(kBusProgressPos, start + done);
        }
        return 0;
    };
    if (piece != 0)
        context.reporter.SendValue(kBusProgressRange, context.Ranges().mainEnd);
    int32_t result = 0;
    if (context.eraseInfo)
        result =
            check(context.Ranges().infoStart, Span(context.Ranges().infoStart, context.Ranges().infoEnd));
    if (result == 0)
        result =
            check(context.Ranges().mainStart, Span(context.Ranges().mainStart, context.Ranges().mainEnd));
    if (piece != 0)
        context.reporter.SendValue(kBusProgressEnd, 0);
    if (cancelled)
        return false;
    if (result != 0) {
        context.StepFailed(kJobBlankCheck);
        return false;
    }
    context.StepSucceeded(kJobBlankCheck);
    return true;
}

bool StepRead(StepContext& context) {
    if (!context.target->isOpen)
        return false;
    context.image->Clear();
    context.Report("Reading device memory..", 0);
    const uint32_t infoStart = context.Ranges().infoStart;
    const uint32_t infoLength = Span(infoStart, context.Ranges().infoEnd);
    const uint32_t mainStart = context.Ranges().mainStart;
    const uint32_t mainEnd = context.Ranges().mainEnd;
    const uint32_t mainLength = Span(mainStart, mainEnd);
    context.reporter.SendValue(kBusProgressRange, mainEnd);
    context.reporter.PostValue(kBusScrollTo, infoStart);

    // Information memory: one transfer for every known device. A record claiming more than
    // the buffer holds is read in buffer-sized pieces rather than overrunning it.
    std::vector<uint8_t> buffer = TransferBuffer(kInfoReadBuffer);
    bool ok = true;
    for (uint32_t done = 0; ok && done < infoLength;) {
        const uint32_t count = std::min(kInfoReadBuffer, infoLength - done);
        ok = context.target->ReadMemory(infoStart + done, buffer.data(), count) == 0;
        if (ok) {
            for (uint32_t i = 0; i < count; ++i)
                context.image->StoreByte(infoStart + done + i, buffer[i]);
        }
        done += count;
    }
    if (ok && infoLength > 0)
        context.reporter.SendValue(kBusProgressPos, infoStart + infoLength);

    const uint32_t chunk = 2 * context.BlockSize();
    buffer = TransferBuffer(chunk);
    for (uint32_t address = mainStart; ok && mainLength > 0 && address <= mainEnd;) {
        if (context.CancelRequested()) {
            context.reporter.SendValue(kBusProgressEnd, 0);
            return false;
        }
        const uint32_t count = std::min(chunk, mainEnd - address + 1);
        ok = context.target->ReadMemory(address, buffer.data(), count) == 0;
        // Stored even after a failed transfer, so the view shows what arrived.
        for (uint32_t i = 0; i < count; ++i)
            context.image->StoreByte(address + i, buffer[i]);
        address += count;
        context.reporter.SendValue(kBusProgressPos, address);
    }
    context.reporter.SendValue(kBusProgressEnd, 0);
    if (!ok) {
        context.StepFailedText(kJobRead);
        return false;
    }
    const uint32_t total = infoLength + mainLength;
    context.Report("Read %d(0x%X) bytes", 0, int(total), unsigned(total));
    return true;
}

namespace {

void DeviceWindow(StepContext& context, uint32_t& start, uint32_t& end) {
    start = context.image->Low();
    end = context.image->High();
    if (start < context.Ranges().infoStart) {
        start = context.Ranges().infoStart;
        context.ReportLog("Warning: Device memory started at 0x%4X", unsigned(start));
    }
    if (end > context.Ranges().mainEnd) {
        end = context.Ranges().mainEnd;
        context.ReportLog("Warning: Device memory end at 0x%4X", unsigned(end));
    }
}

void WarnBytesOutsideDevice(StepContext& context, const char* action) {
    // Protected information bytes are left out on purpose; they are not counted here.
    const BytesOutside outside = FindBytesOutside(*context.image, context.Ranges());
    if (outside.count == 0)
        return;
    // An image for a larger part must not end in a quiet "complete": say what was left.
    context.ReportLog("Warning: %d image bytes outside the device memory were not %s (first at 0x%.4X)",
                      int(outside.count), action, unsigned(outside.first));
    context.bytesOutsideDevice = std::max(context.bytesOutsideDevice.load(), outside.count);
}

} // namespace

bool StepProgram(StepContext& context) {
    if (!context.target->isOpen)
        return false;
    context.Report("Programming the device memory..", 0);
    uint32_t start = 0;
    uint32_t end = 0;
    DeviceWindow(context, start, end);
    WarnBytesOutsideDevice(context, "written");
    context.image->ClearFlags(CellError);
    if (!context.eraseInfo && start <= context.Ranges().infoEnd)
        start = context.Ranges().mainStart; // information memory is protected
    context.reporter.SendValue(kBusProgressRange, end);

    ImageRunCursor cursor(*context.image, start, end, 4 * context.BlockSize(), true, context.Ranges());
    uint32_t runStart = 0;
    uint32_t runLength = 0;
    uint32_t runs = 0;
    while (cursor.NextRun(runStart, runLength)) {
        if (context.CancelRequested()) {
            context.reporter.SendValue(kBusProgressEnd, 0);
            return false;
        }
        EndPieceOnWord(context, cursor, runStart, runLength);
        ++runs;
        if (context.target->WriteMemory(runStart, cursor.Data(), runLength) != 0) {
            context.reporter.SendValue(kBusProgressEnd, 0);
            context.image->SetFlag(runStart, runLength, CellError);
            context.reporter.PostValue(kBusScrollTo, runStart);
            context.StepFailed(kJobProgram);
            return false;
        }
        context.reporter.SendValue(kBusProgressPos, runStart);
    }
    context.reporter.SendValue(kBusProgressEnd, 0);
    if (runs == 0) {
        // Nothing of the image lies in the device: reporting success would hide that the
        // chip was left unprogrammed.
        context.reporter.StepFailedStatus(kJobProgram);
        context.ReportLog("%s", kNoImageDataText);
        return false;
    }
    context.StepSucceeded(kJobProgram);
    const bool verifies =
        context.remainingSteps != nullptr && (context.remainingSteps->load() & kJobVerify) != 0;
    if (!context.target->checksWrites && !verifies)
        context.ReportLog(
            "Nothing checked what was programmed (the %s target does not read it back): verify with "
            "+v.",
            context.target->GetName());
    return true;
}

bool StepVerify(StepContext& context) {
    if (!context.target->isOpen)
        return false;
    context.Report("Verifying device memory programming..", 0);
    uint32_t errors = 0;
    uint32_t start = 0;
    uint32_t end = 0;
    DeviceWindow(context, start, end);
    WarnBytesOutsideDevice(context, "checked");
    // The first mismatches, listed after the count: a count alone tells nothing of where.
    const uint32_t listLimit = context.request.mismatchesListed;
    std::vector<std::string> mismatches;
    // No information protection here: information bytes in the image are compared too.
    context.image->ClearFlags(CellVerified | CellError);
    context.reporter.SendValue(kBusProgressRange, end);

    ImageRunCursor cursor(*context.image, start, end, 4 * context.BlockSize(), false, context.Ranges());
    uint32_t runStart = 0;
    uint32_t runLength = 0;
    uint32_t runs = 0;
    bool readFailed = false;
    while (cursor.NextRun(runStart, runLength)) {
        if (context.CancelRequested()) {
            context.reporter.SendValue(kBusProgressEnd, 0);
            return false;
        }
        EndPieceOnWord(context, cursor, runStart, runLength);
        ++runs;
        uint8_t* data = cursor.Data();
        if (context.target->ReadMemory(runStart, data, runLength) != 0) {
            readFailed = true;
            break;
        }
        for (uint32_t i = 0; i < runLength; ++i) {
            const uint32_t address = runStart + i;
            if (context.image->ValueAt(address) == data[i]) {
                context.image->SetFlagAt(address, CellVerified);
            } else {
                context.image->SetFlagAt(address, CellError);
                if (listLimit == 0 || errors < listLimit)
                    mismatches.push_back(Format("Mismatch at 0x%04X: expected 0x%02X, found 0x%02X",
                                                unsigned(address), unsigned(context.image->ValueAt(address)),
                                                unsigned(data[i])));
                ++errors;
            }
        }
        context.reporter.SendValue(kBusProgressPos, runStart);
    }
    context.reporter.SendValue(kBusProgressEnd, 0);
    uint32_t firstError = 0;
    for (uint32_t address = 0; address < context.image->CellCount(); ++address) {
        if ((context.image->CellAt(address) & CellError) != 0) {
            firstError = address;
            break;
        }
    }
    context.reporter.PostValue(kBusScrollTo, firstError);
    if (readFailed) {
        context.StepFailed(kJobVerify);
        return false;
    }
    if (runs == 0) {
        context.reporter.StepFailedStatus(kJobVerify);
        context.ReportLog("%s", kNoImageDataText);
        return false;
    }
    if (errors == 0) {
        context.StepSucceeded(kJobVerify);
        return true;
    }
    context.Report("Verify failed. Found %d errors", 1, int(errors));
    for (const std::string& line : mismatches)
        context.ReportLog("%s", line.c_str());
    if (errors > mismatches.size())
        context.ReportLog("%u more mismatches not listed", unsigned(errors - mismatches.size()));
    return false;
}

namespace {

bool Dump(StepContext& context, uint32_t flag, uint32_t address, uint32_t length) {
    if (!context.target->isOpen)
        return false;
    context.Report("Dump device memory..", 0);
    context.image->Clear();
    // A zero length (RAM ending below its start) has nothing to transfer; an adapter is
    // never asked for an empty read.
    if (length > 0) {
        std::vector<uint8_t> buffer = TransferBuffer(length);
        if (context.target->ReadMemory(address, buffer.data(), length) != 0) {
            context.StepFailedText(flag);
            return false;
        }
        for (uint32_t i = 0; i < length; ++i)
            context.image->StoreByte(address + i, buffer[i]);
    }
    context.StepSucceeded(flag);
    return true;
}

} // namespace

bool StepDumpDeviceId(StepContext& context) {
    return Dump(context, kJobDumpDeviceId, kDumpDeviceIdAddress, kDumpDeviceIdLength);
}

bool StepDumpRam(StepContext& context) {
    const uint32_t ramEnd = context.Ranges().ramEnd;
    return Dump(context, kJobDumpRam, kRamStart, ramEnd >= kRamStart ? ramEnd - (kRamStart - 1) : 0);
}

bool StepDumpLoader(StepContext& context) {
    return Dump(context, kJobDumpLoader, kDumpLoaderAddress, kDumpLoaderLength);
}

bool StepDebugOneWire(StepContext& context) {
    context.Report("Debug OW interface. Try to get DS18B20", 0);
    if (TargetAdapter* target = context.target)
        (void)target->DebugOneWire();
    context.StepSucceeded(kJobDebugOneWire);
    return true;
}

bool StepAttachOnly(StepContext&) {
    return true;
}

} // namespace pyrola
