#include "jobs/SerialPlacement.h"

#include "base/TextFormat.h"

namespace pyrola {

namespace {

constexpr uint32_t kInfoSegmentSize = 128;
constexpr uint32_t kMainSegmentSize = 512;

bool Within(uint32_t address, uint32_t first, uint32_t last) {
    return address >= first && address <= last;
}

} // namespace

SerialSegment SerialSegmentOf(const MemoryRanges& device, uint32_t address) {
    const uint32_t size = address < device.mainStart ? kInfoSegmentSize : kMainSegmentSize;
    return {address - address % size, size};
}

SerialPlacement CheckSerialPlacement(const MemoryRanges& device, uint32_t address, uint32_t length) {
    const bool inInfo = Within(address, device.infoStart, device.infoEnd);
    if (!inInfo && !Within(address, device.mainStart, device.mainEnd))
        return SerialPlacement::OutsideFlash;
    const SerialSegment segment = SerialSegmentOf(device, address);
    const uint32_t regionStart = inInfo ? device.infoStart : device.mainStart;
    const uint32_t regionEnd = inInfo ? device.infoEnd : device.mainEnd;
    if (segment.start < regionStart || uint64_t(segment.start) + segment.size - 1 > regionEnd)
        return SerialPlacement::SegmentOutsideFlash;
    // 64-bit: a huge length must not wrap into a small one.
    if (uint64_t(address - segment.start) + length > segment.size)
        return SerialPlacement::CrossesSegment;
    return SerialPlacement::Fits;
}

SerialImageOverlap FindSerialImageOverlap(const MemoryImage& image, const SerialBlock& serial) {
    SerialImageOverlap overlap;
    for (uint32_t i = 0; i < serial.bytes.size(); ++i) {
        // An address past the image's cells holds nothing of it (such a cell reads as the
        // fill byte without the absent mark).
        const uint32_t address = serial.address + i;
        if (address < image.CellCount() && image.IsPresent(address) && overlap.count++ == 0)
            overlap.first = address;
    }
    return overlap;
}

std::string SerialImageOverlapText(const SerialBlock& serial, const SerialImageOverlap& overlap) {
    if (overlap.count == 0)
        return {};
    return Format("The serial at 0x%X-0x%X would overwrite %u bytes of the image, first at 0x%X",
                  unsigned(serial.address), unsigned(serial.address + serial.bytes.size() - 1),
                  unsigned(overlap.count), unsigned(overlap.first));
}

} // namespace pyrola
