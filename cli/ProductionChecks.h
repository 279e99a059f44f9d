#pragma once
// What a production run checks before the chip can change, so that a run that cannot
// succeed erases nothing and takes no serial number: before the job, that the serial does
// not land on bytes of the image; right after the chip is identified, that the image and
// the serial fit this chip. Each check answers with the refusal's text, or empty.

#include "adapters/DeviceRecord.h"
#include "image/ImageFileContext.h"
#include "image/MemoryImage.h"
#include "jobs/SerialBlock.h"

#include <string>
#include <vector>

namespace pyrola::cli {

// The serial's bytes overlap bytes the image holds: the serial would overwrite firmware
// that was just verified.
std::string SerialOverlapsImage(const MemoryImage& image, const SerialBlock& serial);
// Image bytes lie outside the chip's information and main memory: the chip cannot hold
// the image. Erased-value bytes there are no data (see FindBytesOutside).
// parts (the file's ELF sections) name the one the first such byte comes from.
std::string ImageOutsideDevice(const MemoryImage& image, const DeviceRecord& device,
                               const std::vector<ImagePart>& parts = {});
// The serial's segment patch cannot work on this chip: the address is outside its flash,
// the serial leaves its segment, or the segment is only partly flash.
std::string SerialOutsideDevice(const SerialBlock& serial, const DeviceRecord& device);

} // namespace pyrola::cli
