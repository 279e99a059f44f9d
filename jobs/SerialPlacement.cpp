#include "jobs/SerialPlacement.h"

namespace pyrola {

namespace {

constexpr uint32_t kInfoSegmentSize = 128;
constexpr uint32_t kMainSegmentSize = 512;

bool Within(uint32_t address, uint32_t first, uint32_t last) {
    return address >= first && address <= last;
}

} // namespace

SerialSegment SerialSegmentOf(const DeviceRecord& device, uint32_t address) {
    const uint32_t size = address < device.mainStart ? kInfoSegmentSize : kMainSegmentSize;
    return {address - address % size, size};
}

SerialPlacement CheckSerialPlacement(const DeviceRecord& device, uint32_t address, uint32_t length) {
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

} // namespace pyrola
