#include "image/BinaryWriter.h"

#include "image/WriterFile.h"

#include <vector>

namespace pyrola {

int32_t WriteBinaryStream(ImageFileContext& context, std::FILE* file) {
    const MemoryImage& image = *context.image;
    std::vector<uint8_t> chunk(64 * 1024);
    const uint64_t end = uint64_t{image.High()} + 1;
    for (uint64_t address = 0; address < end;) {
        size_t count = 0;
        while (count < chunk.size() && address < end)
            chunk[count++] = image.ValueAt(static_cast<uint32_t>(address++));
        if (std::fwrite(chunk.data(), 1, count, file) != count)
            return FinishWriting(context, file, false);
    }
    return FinishWriting(context, file, true);
}

int32_t WriteBinaryFile(ImageFileContext& context, const std::string& path) {
    return WriteThroughFile(context, path, WriteBinaryStream);
}

} // namespace pyrola
