#include "jobs/JobEngine.h"
#include "jobs/JobSteps.h"
#include "jobs/SerialPlacement.h"

#include <algorithm>
#include <vector>

namespace pyrola {

namespace {

// Every stage of the segment patch is tried this often before the step gives up.
constexpr int kPatchTries = 5;
constexpr const char* kNotInFlashText = "Error. Address 0x%.4X not in flash memory space";

} // namespace

bool JobEngine::SerialAddressAccepted(bool patching) {
    const uint32_t address = serialBlock.address;
    const SerialPlacement placement =
        CheckSerialPlacement(Ranges(), address, static_cast<uint32_t>(serialBlock.bytes.size()));
    // The patch works on one segment; a serial running past it would be written beyond the
    // segment buffer (and into a segment that was never saved), so it is refused up front,
    // as one outside flash is. A read has no segment to stay in.
    if (placement == SerialPlacement::Fits || (!patching && placement != SerialPlacement::OutsideFlash))
        return true;
    Report(kNotInFlashText, 1, unsigned(address));
    return false;
}

bool JobEngine::ReadSerialBytes() {
    const uint32_t length = static_cast<uint32_t>(serialBlock.bytes.size());
    if (length == 0)
        return true;
    // Read through a buffer with a spare byte: an adapter may touch one past an odd count.
    std::vector<uint8_t> buffer(size_t(length) + 1, 0);
    const bool ok = Target()->ReadMemory(serialBlock.address, buffer.data(), length) == 0;
    if (ok)
        std::copy_n(buffer.begin(), length, serialBlock.bytes.begin());
    return ok;
}

bool JobEngine::StepReadSerialNumber() {
    serialBlock.valid = 0;
    if (!Target()->isOpen)
        return false;
    if (!SerialAddressAccepted(false))
        return false;
    Report("Reading device serialization number at 0x%X..", 0, unsigned(serialBlock.address));
    if (!ReadSerialBytes()) {
        ReportFailureText(JobStepName(kJobReadSerial));
        SendValue(kBusSerialRefresh, 0);
        return false;
    }
    ReportSuccess(JobStepName(kJobReadSerial));
    serialBlock.valid = 1;
    SendValue(kBusSerialRefresh, 0);
    return true;
}

bool JobEngine::StepWriteSerialNumber() {
    if (!Target()->isOpen)
        return false;
    if (!SerialAddressAccepted(true))
        return false;
    const uint32_t address = serialBlock.address;
    const SerialSegment patch = SerialSegmentOf(Ranges(), address);
    const uint32_t size = patch.size;
    const uint32_t segment = patch.start;
    const uint32_t offset = address - segment;
    Report("Writing device serialization number to 0x%X..", 0, unsigned(address));

    std::vector<uint8_t> buffer(size_t(size) + 1, 0);
    ReportLog("Prepare to patch. Backup (0x%X-0x%X) memory..", unsigned(segment),
              unsigned(segment + size - 1));
    bool ok = false;
    for (int attempt = 0; attempt < kPatchTries && !ok; ++attempt)
        ok = Target()->ReadMemory(segment, buffer.data(), size) == 0 &&
             SerialBytesMatch(segment, buffer.data(), size);
    if (!ok) {
        Report("Can't read device memory.", 1);
        return SerialWriteFailed();
    }
    if (request_.prepareSerialWrite && !PrepareSerialWrite())
        return false;
    const std::vector<uint8_t> backup = buffer;

    Report("Process patch. Erase segment..", 0);
    bool erased = false;
    for (int attempt = 0; attempt < kPatchTries && !erased; ++attempt)
        erased =
            Target()->Erase(kEraseSegment, segment, size) == 0 && Target()->EraseCheck(segment, size) == 0;
    if (erased)
        std::copy(serialBlock.bytes.begin(), serialBlock.bytes.end(), buffer.begin() + offset);
    else
        Report("Erase failed. Restore memory.", 1); // the backup goes back unpatched

    Report("Final patch. Write memory..", 0);
    bool written = false;
    for (int attempt = 0; attempt < kPatchTries && !written; ++attempt)
        written = Target()->WriteMemory(segment, buffer.data(), size) == 0 &&
                  SerialBytesMatch(segment, buffer.data(), size);
    if (!written || !erased)
        return SerialWriteFailed();
    if (request_.checkSerialAgainstImage && !SerialSegmentMatchesImage(segment, size, backup))
        return false;

    ReportSuccess(JobStepName(kJobWriteSerial));
    (void)ReadSerialBytes(); // refresh from the device; the write was already verified
    serialBlock.valid = 1;
    SendValue(kBusSerialRefresh, 0);
    return true;
}

bool JobEngine::SerialBytesMatch(uint32_t address, const uint8_t* data, uint32_t count) {
    if (Target()->VerifyMemory(address, data, count) == 0)
        return true;
    // An adapter without a verify of its own (the loader's) fails every call: the bytes
    // are read back and compared instead. A real difference fails here too.
    std::vector<uint8_t> back(size_t(count) + 1, 0);
    if (Target()->ReadMemory(address, back.data(), count) != 0 ||
        !std::equal(data, data + count, back.begin()))
        return false;
    (void)Target()->GetErrorNumber(); // the verify's refusal is no failure of this step
    return true;
}

bool JobEngine::SerialSegmentMatchesImage(uint32_t segment, uint32_t size,
                                          const std::vector<uint8_t>& backup) {
    // What the segment must hold: the image's bytes where it has any (the chip was
    // verified against them), the serial over them, the chip's former bytes elsewhere.
    std::vector<uint8_t> expected(backup.begin(), backup.begin() + size);
    for (uint32_t i = 0; i < size; ++i) {
        if (image->IsPresent(segment + i))
            expected[i] = image->ValueAt(segment + i);
    }
    std::copy(serialBlock.bytes.begin(), serialBlock.bytes.end(),
              expected.begin() + (serialBlock.address - segment));
    std::vector<uint8_t> back(size_t(size) + 1, 0);
    if (Target()->ReadMemory(segment, back.data(), size) != 0)
        return SerialWriteFailed();
    uint32_t differences = 0;
    uint32_t first = 0;
    for (uint32_t i = 0; i < size; ++i) {
        if (back[i] != expected[i] && differences++ == 0)
            first = segment + i;
    }
    if (differences == 0)
        return true;
    serialBlock.valid = 0;
    SendStatus("Write serial number failed.", 1);
    ReportLog("The serial's segment 0x%X-0x%X differs from the image and serial in %u bytes, first at 0x%X",
              unsigned(segment), unsigned(segment + size - 1), unsigned(differences), unsigned(first));
    SendValue(kBusSerialRefresh, 0);
    return false;
}

bool JobEngine::PrepareSerialWrite() {
    const uint32_t address = serialBlock.address;
    const SerialWritePreparation prepared = request_.prepareSerialWrite(deviceRecord, serialBlock);
    // The backup holds the segment of the old address: the bytes may change, the place not.
    if (prepared.ok && serialBlock.address == address &&
        CheckSerialPlacement(Ranges(), address, static_cast<uint32_t>(serialBlock.bytes.size())) ==
            SerialPlacement::Fits) {
        if (!prepared.note.empty())
            SendLog(prepared.note);
        return true;
    }
    serialBlock.address = address;
    serialBlock.valid = 0;
    SendStatus("Write serial number failed.", 1);
    SendLog(prepared.ok ? Format(kNotInFlashText, unsigned(address)) : prepared.note);
    SendValue(kBusSerialRefresh, 0);
    return false;
}

bool JobEngine::SerialWriteFailed() {
    serialBlock.valid = 0;
    ReportFailureText(JobStepName(kJobWriteSerial));
    SendValue(kBusSerialRefresh, 0);
    return false;
}

} // namespace pyrola
