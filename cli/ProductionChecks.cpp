#include "cli/ProductionChecks.h"

#include "base/TextFormat.h"
#include "image/BytesOutside.h"
#include "jobs/SerialPlacement.h"

namespace pyrola::cli {

namespace {

constexpr const char* kNothingDone = ": nothing was done";

} // namespace

std::string SerialOverlapsImage(const MemoryImage& image, const SerialBlock& serial) {
    const std::string overlap = SerialImageOverlapText(serial, FindSerialImageOverlap(image, serial));
    if (overlap.empty())
        return {};
    return "Error. " + overlap + " (check the Address of the serial config)" + kNothingDone;
}

std::string ImageOutsideDevice(const MemoryImage& image, const DeviceRecord& device,
                               const std::vector<ImagePart>& parts) {
    const BytesOutside outside = FindBytesOutside(image, MemoryRangesOf(device));
    if (outside.count == 0)
        return {};
    std::string from;
    for (const ImagePart& part : parts) {
        if (outside.first >= part.first && outside.first - part.first < part.size)
            from = " in section " + part.name;
    }
    return Format("Error. The image does not fit the %s: %u bytes lie outside its memory, first at 0x%X%s "
                  "(Info 0x%.4X-0x%.4X, Main 0x%.4X-0x%.4X)%s",
                  DeviceRecordName(device).c_str(), unsigned(outside.count), unsigned(outside.first),
                  from.c_str(), unsigned(device.infoStart), unsigned(device.infoEnd),
                  unsigned(device.mainStart), unsigned(device.mainEnd), kNothingDone);
}

std::string SerialOutsideDevice(const SerialBlock& serial, const DeviceRecord& device) {
    const uint32_t size = static_cast<uint32_t>(serial.bytes.size());
    const SerialSegment segment = SerialSegmentOf(MemoryRangesOf(device), serial.address);
    switch (CheckSerialPlacement(MemoryRangesOf(device), serial.address, size)) {
    case SerialPlacement::Fits:
        return {};
    case SerialPlacement::OutsideFlash:
        return Format("Error. Address 0x%.4X is not in the flash memory of the %s%s",
                      unsigned(serial.address), DeviceRecordName(device).c_str(), kNothingDone);
    case SerialPlacement::CrossesSegment:
        return Format("Error. A serial of %u bytes at 0x%X leaves its flash segment 0x%X-0x%X on the %s%s",
                      unsigned(size), unsigned(serial.address), unsigned(segment.start),
                      unsigned(segment.start + segment.size - 1), DeviceRecordName(device).c_str(),
                      kNothingDone);
    case SerialPlacement::SegmentOutsideFlash:
        break;
    }
    return Format("Error. The segment 0x%X-0x%X of a serial at 0x%X is only partly flash on the %s, so it "
                  "cannot be erased and checked%s",
                  unsigned(segment.start), unsigned(segment.start + segment.size - 1),
                  unsigned(serial.address), DeviceRecordName(device).c_str(), kNothingDone);
}

} // namespace pyrola::cli
