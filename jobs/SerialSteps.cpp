#include "jobs/JobEngine.h"

#include <algorithm>
#include <vector>

namespace pyrola {

namespace {

constexpr uint32_t kInfoSegmentSize = 128;
constexpr uint32_t kMainSegmentSize = 512;
// Every stage of the segment patch is tried this often before the step gives up.
constexpr int kPatchTries = 5;
constexpr const char* kNotInFlashText = "Error. Address 0x%.4X not in flash memory space";

bool Within(uint32_t address, uint32_t first, uint32_t last) {
    return address >= first && address <= last;
}

} // namespace

bool JobEngine::SerialAddressInFlash() {
    const uint32_t address = serialBlock.address;
    if (Within(address, deviceRecord.infoStart, deviceRecord.infoEnd) ||
        Within(address, deviceRecord.mainStart, deviceRecord.mainEnd))
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
    if (!SerialAddressInFlash())
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
    if (!SerialAddressInFlash())
        return false;
    const uint32_t address = serialBlock.address;
    const uint32_t length = static_cast<uint32_t>(serialBlock.bytes.size());
    const uint32_t size = address < deviceRecord.mainStart ? kInfoSegmentSize : kMainSegmentSize;
    const uint32_t segment = address - address % size;
    const uint32_t offset = address - segment;
    // The patch works on one segment; a serial running past it would be written beyond the
    // segment buffer (and into a segment that was never saved), so it is refused up front,
    // as the address check refuses one outside flash.
    if (offset + length > size) {
        Report(kNotInFlashText, 1, unsigned(address));
        return false;
    }
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

bool JobEngine::SerialWriteFailed() {
    serialBlock.valid = 0;
    ReportFailureText("Write serial number");
    SendValue(kBusSerialRefresh, 0);
    return false;
}

} // namespace pyrola
