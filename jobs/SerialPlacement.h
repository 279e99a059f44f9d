#pragma once
// Where the serial write patches flash: the whole segment that holds the serial's address
// (128 bytes in information memory, 512 in main memory), so a serial must lie in flash and
// inside that one segment.

#include "image/MemoryImage.h"
#include "image/MemoryRanges.h"
#include "jobs/SerialBlock.h"

#include <cstdint>
#include <string>

namespace pyrola {

struct SerialSegment {
    uint32_t start = 0;
    uint32_t size = 0;
};

// SegmentOutsideFlash: the address is in flash, but its segment reaches out of the flash
// region that holds it (main memory that starts in mid-segment, as on chips whose main
// memory begins at 0x1100): the segment erase cannot be checked, every board would fail.
enum class SerialPlacement { Fits, OutsideFlash, CrossesSegment, SegmentOutsideFlash };

// The segment the write step backs up, erases and writes back for a serial at address.
SerialSegment SerialSegmentOf(const MemoryRanges& device, uint32_t address);
// Whether length bytes from address can be written by one segment patch on device.
SerialPlacement CheckSerialPlacement(const MemoryRanges& device, uint32_t address, uint32_t length);

// The serial's bytes that would land on bytes the image holds: a serial there overwrites
// the firmware (a wrong Address in the serial config).
struct SerialImageOverlap {
    uint32_t count = 0;
    uint32_t first = 0;
};
SerialImageOverlap FindSerialImageOverlap(const MemoryImage& image, const SerialBlock& serial);
// "The serial at 0x%X-0x%X would overwrite %u bytes of the image, first at 0x%X"; empty
// without overlap.
std::string SerialImageOverlapText(const SerialBlock& serial, const SerialImageOverlap& overlap);

} // namespace pyrola
