#include "jobs/SerialSteps.h"

#include "jobs/JobSteps.h"
#include "jobs/SerialPlacement.h"

#include <algorithm>
#include <vector>

namespace pyrola {

namespace {

// Every stage of the segment patch is tried this often before the step gives up.
constexpr int kPatchTries = 5;
constexpr const char* kNotInFlashText = "Error. Address 0x%.4X not in flash memory space";

// The block's address lies in flash (and, for a patch, the serial in one segment);
// otherwise the refusal is reported.
bool SerialAddressAccepted(StepContext& context, bool patching) {
    const uint32_t address = context.serialBlock.address;
    const SerialPlacement placement = CheckSerialPlacement(
        context.Ranges(), address, static_cast<uint32_t>(context.serialBlock.bytes.size()));
    // The patch works on one segment; a serial running past it would be written beyond the
    // segment buffer (and into a segment that was never saved), so it is refused up front,
    // as one outside flash is. A read has no segment to stay in.
    if (placement == SerialPlacement::Fits || (!patching && placement != SerialPlacement::OutsideFlash))
        return true;
    context.Report(kNotInFlashText, 1, unsigned(address));
    return false;
}

bool ReadSerialBytes(StepContext& context) {
    const uint32_t length = static_cast<uint32_t>(context.serialBlock.bytes.size());
    if (length == 0)
        return true;
    // Read through a buffer with a spare byte: an adapter may touch one past an odd count.
    std::vector<uint8_t> buffer(size_t(length) + 1, 0);
    const bool ok = context.target->ReadMemory(context.serialBlock.address, buffer.data(), length) == 0;
    if (ok)
        std::copy_n(buffer.begin(), length, context.serialBlock.bytes.begin());
    return ok;
}

// Whether count bytes at address hold data: the adapter's own verify, or where it has
// none (it fails), a read back and compare.
bool SerialBytesMatch(StepContext& context, uint32_t address, const uint8_t* data, uint32_t count);
// The rewritten segment against the image with the serial over it (see
// checkSerialAgainstImage); false, reported, on a difference.
bool SerialSegmentMatchesImage(StepContext& context, uint32_t segment, uint32_t size,
                               const std::vector<uint8_t>& backup);
// Runs prepareSerialWrite; false (reported) when the step must stop.
bool PrepareSerialWrite(StepContext& context);
bool SerialWriteFailed(StepContext& context);

} // namespace

bool StepReadSerialNumber(StepContext& context) {
    context.serialBlock.valid = 0;
    if (!context.target->isOpen)
        return false;
    if (!SerialAddressAccepted(context, false))
        return false;
    context.Report("Reading device serialization number at 0x%X..", 0, unsigned(context.serialBlock.address));
    if (!ReadSerialBytes(context)) {
        context.StepFailedText(kJobReadSerial);
        context.reporter.SendValue(kBusSerialRefresh, 0);
        return false;
    }
    context.StepSucceeded(kJobReadSerial);
    context.serialBlock.valid = 1;
    context.reporter.SendValue(kBusSerialRefresh, 0);
    return true;
}

bool StepWriteSerialNumber(StepContext& context) {
    if (!context.target->isOpen)
        return false;
    if (!SerialAddressAccepted(context, true))
        return false;
    const uint32_t address = context.serialBlock.address;
    const SerialSegment patch = SerialSegmentOf(context.Ranges(), address);
    const uint32_t size = patch.size;
    const uint32_t segment = patch.start;
    const uint32_t offset = address - segment;
    context.Report("Writing device serialization number to 0x%X..", 0, unsigned(address));

    std::vector<uint8_t> buffer(size_t(size) + 1, 0);
    context.ReportLog("Prepare to patch. Backup (0x%X-0x%X) memory..", unsigned(segment),
                      unsigned(segment + size - 1));
    bool ok = false;
    for (int attempt = 0; attempt < kPatchTries && !ok; ++attempt)
        ok = context.target->ReadMemory(segment, buffer.data(), size) == 0 &&
             SerialBytesMatch(context, segment, buffer.data(), size);
    if (!ok) {
        context.Report("Can't read device memory.", 1);
        return SerialWriteFailed(context);
    }
    // The last moment a cancel can stop the step with no number used up; once one is
    // taken the step goes to its end, so that the log tells what the chip holds.
    if (context.request.prepareSerialWrite && context.CancelRequested()) {
        context.reporter.Log("Cancelled before a serial number was taken: none is used up.");
        return SerialWriteFailed(context);
    }
    if (context.request.prepareSerialWrite && !PrepareSerialWrite(context))
        return false;
    const std::vector<uint8_t> backup = buffer;

    context.Report("Process patch. Erase segment..", 0);
    bool erased = false;
    for (int attempt = 0; attempt < kPatchTries && !erased; ++attempt)
        erased = context.target->Erase(kEraseSegment, segment, size) == 0 &&
                 context.target->EraseCheck(segment, size) == 0;
    if (erased)
        std::copy(context.serialBlock.bytes.begin(), context.serialBlock.bytes.end(),
                  buffer.begin() + offset);
    else
        context.Report("Erase failed. Restore memory.", 1); // the backup goes back unpatched

    context.Report("Final patch. Write memory..", 0);
    bool written = false;
    for (int attempt = 0; attempt < kPatchTries && !written; ++attempt)
        written = context.target->WriteMemory(segment, buffer.data(), size) == 0 &&
                  SerialBytesMatch(context, segment, buffer.data(), size);
    if (!written || !erased)
        return SerialWriteFailed(context);
    if (context.request.checkSerialAgainstImage && !SerialSegmentMatchesImage(context, segment, size, backup))
        return false;

    context.StepSucceeded(kJobWriteSerial);
    (void)ReadSerialBytes(context); // refresh from the device; the write was already verified
    context.serialBlock.valid = 1;
    context.reporter.SendValue(kBusSerialRefresh, 0);
    return true;
}

namespace {

bool SerialBytesMatch(StepContext& context, uint32_t address, const uint8_t* data, uint32_t count) {
    if (context.target->VerifyMemory(address, data, count) == 0)
        return true;
    // An adapter without a verify of its own (the loader's) fails every call: the bytes
    // are read back and compared instead. A real difference fails here too.
    std::vector<uint8_t> back(size_t(count) + 1, 0);
    if (context.target->ReadMemory(address, back.data(), count) != 0 ||
        !std::equal(data, data + count, back.begin()))
        return false;
    (void)context.target->GetErrorNumber(); // the verify's refusal is no failure of this step
    return true;
}

bool SerialSegmentMatchesImage(StepContext& context, uint32_t segment, uint32_t size,
                               const std::vector<uint8_t>& backup) {
    // What the segment must hold: the image's bytes where it has any (the chip was
    // verified against them), the serial over them, the chip's former bytes elsewhere.
    std::vector<uint8_t> expected(backup.begin(), backup.begin() + size);
    for (uint32_t i = 0; i < size; ++i) {
        if (context.image->IsPresent(segment + i))
            expected[i] = context.image->ValueAt(segment + i);
    }
    std::copy(context.serialBlock.bytes.begin(), context.serialBlock.bytes.end(),
              expected.begin() + (context.serialBlock.address - segment));
    std::vector<uint8_t> back(size_t(size) + 1, 0);
    if (context.target->ReadMemory(segment, back.data(), size) != 0)
        return SerialWriteFailed(context);
    uint32_t differences = 0;
    uint32_t first = 0;
    for (uint32_t i = 0; i < size; ++i) {
        if (back[i] != expected[i] && differences++ == 0)
            first = segment + i;
    }
    if (differences == 0)
        return true;
    context.serialBlock.valid = 0;
    context.reporter.StepFailedStatus(kJobWriteSerial);
    context.ReportLog(
        "The serial's segment 0x%X-0x%X differs from the image and serial in %u bytes, first at 0x%X",
        unsigned(segment), unsigned(segment + size - 1), unsigned(differences), unsigned(first));
    context.reporter.SendValue(kBusSerialRefresh, 0);
    return false;
}

bool PrepareSerialWrite(StepContext& context) {
    const uint32_t address = context.serialBlock.address;
    const SerialWritePreparation prepared =
        context.request.prepareSerialWrite(context.device, context.serialBlock);
    // The backup holds the segment of the old address: the bytes may change, the place not.
    if (prepared.ok && context.serialBlock.address == address &&
        CheckSerialPlacement(context.Ranges(), address,
                             static_cast<uint32_t>(context.serialBlock.bytes.size())) ==
            SerialPlacement::Fits) {
        if (!prepared.note.empty())
            context.reporter.Log(prepared.note);
        return true;
    }
    context.serialBlock.address = address;
    context.serialBlock.valid = 0;
    context.reporter.StepFailedStatus(kJobWriteSerial);
    context.reporter.Log(prepared.ok ? Format(kNotInFlashText, unsigned(address)) : prepared.note);
    context.reporter.SendValue(kBusSerialRefresh, 0);
    return false;
}

bool SerialWriteFailed(StepContext& context) {
    context.serialBlock.valid = 0;
    context.StepFailedText(kJobWriteSerial);
    context.reporter.SendValue(kBusSerialRefresh, 0);
    return false;
}

} // namespace

} // namespace pyrola
