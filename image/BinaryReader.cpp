#include "image/BinaryReader.h"

#include "image/ReaderFile.h"

#include <vector>

namespace pyrola {

int32_t ReadBinaryStream(ImageFileContext& context, std::FILE* file) {
    MemoryImage& image = *context.image;
    image.Clear();
    std::vector<uint8_t> chunk(64 * 1024);
    uint32_t address = 0;
    for (;;) {
        const size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
        size_t keep = got;
        if (address + keep > kImageAddressLimit)
            keep = kImageAddressLimit - address;
        for (size_t i = 0; i < keep; ++i)
            image.StoreByte(address + static_cast<uint32_t>(i), chunk[i]);
        address += static_cast<uint32_t>(keep);
        if (keep < got) {
            context.errorText = kTextFileTooLarge;
            return 0;
        }
        if (got < chunk.size()) {
            if (std::ferror(file)) {
                // A partial image must not pass for the whole file.
                context.errorText = kTextIoError;
                return 0;
            }
            break;
        }
    }
    return static_cast<int32_t>(image.Size());
}

int32_t ReadBinaryFile(ImageFileContext& context, const std::string& path) {
    return ReadThroughFile(context, path, ReadBinaryStream);
}

} // namespace pyrola
