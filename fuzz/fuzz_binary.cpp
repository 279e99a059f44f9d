// Feeds arbitrary bytes to the binary reader: every byte must land at its offset, and the
// binary writer must give the same bytes back.

#include "FuzzStreams.h"

#include "image/BinaryReader.h"
#include "image/BinaryWriter.h"

#include <cstring>

using namespace pyrola;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryImage image;
    image.SetGapByte(size > 0 ? data[0] : 0xFF);
    ImageFileContext context{&image, {}};
    const int32_t count = fuzz::ReadBytes(ReadBinaryStream, context, data, size);
    fuzz::RequireBounded(image);
    const int32_t expected = size > 1 ? static_cast<int32_t>(size) : 0;
    if (count != expected || !context.errorText.empty())
        std::abort();
    for (size_t i = 0; i < size; ++i) {
        if (image.CellAt(static_cast<uint32_t>(i)) != data[i])
            std::abort();
    }
    if (size == 0)
        return 0;
    const std::vector<uint8_t> bytes = fuzz::WriteBytes(WriteBinaryStream, context);
    if (bytes.size() != size || std::memcmp(bytes.data(), data, size) != 0)
        std::abort();
    return 0;
}
