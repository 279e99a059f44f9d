#include "jobs/JobEngine.h"
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
        CheckSerialPlacement(deviceRecord, address, static_cast<uint32_t>(serialBlock.bytes.size()));
    // The patch works on one segment; a serial running past it would be written beyond the
    // segment buffer (and into a segment that was never saved), so it is refused up front,
    // as one outside flash is. A read has no segment to stay in.
    if (placement == SerialPlacement::Fits || (!patching && placement == SerialPlacement::CrossesSegment))
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
        ReportFailureText("Read serial number");
        SendValue(kBusSerialRefresh, 0);
        return false;
    }
    ReportSuccess("Read serial number");
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
    const SerialSegment patch = SerialSegmentOf(deviceRecord, address);
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
             Target()->VerifyMemory(segment, buffer.data(), size) == 0;
    if (!ok) {
        Report("Can't read device memory.", 1);
        return SerialWriteFailed();
    }
    if (prepareSerialWrite && !PrepareSerialWrite())
        return false;

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
                  Target()->VerifyMemory(segment, buffer.data(), size) == 0;
    if (!written || !erased)
        return SerialWriteFailed();

    ReportSuccess("Write serial number");
    (void)ReadSerialBytes(); // refresh from the device; the write was already verified
    serialBlock.valid = 1;
    SendValue(kBusSerialRefresh, 0);
    return true;
}

bool JobEngine::PrepareSerialWrite() {
    const uint32_t address = serialBlock.address;
    const SerialWritePreparation prepared = prepareSerialWrite(deviceRecord, serialBlock);
    // The backup holds the segment of the old address: the bytes may change, the place not.
    if (prepared.ok && serialBlock.address == address &&
        CheckSerialPlacement(deviceRecord, address, static_cast<uint32_t>(serialBlock.bytes.size())) ==
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
    ReportFailureText("Write serial number");
    SendValue(kBusSerialRefresh, 0);
    return false;
}

} // namespace pyrola
