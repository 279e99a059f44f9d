#include "image/BinaryReader.h"

#include "base/TextFormat.h"
#include "image/ReaderFile.h"

#include <vector>

namespace pyrola {

int32_t ReadBinaryStream(ImageFileContext& context, std::FILE* file) {
    MemoryImage& image = *context.image;
    image.Clear();
    std::vector<uint8_t> chunk(64 * 1024);
    uint32_t address = context.binaryBase;
    // Past the 20-bit address space: from 0 that is a file too large, from a base one
    // placed too high.
    const std::string tooFar = address == 0
                                   ? std::string(kTextFileTooLarge)
                                   : Format("Binary file at 0x%X reaches past 0xFFFFF", unsigned(address));
    if (address >= kImageAddressLimit) {
        context.errorText = tooFar;
        return 0;
    }
    for (;;) {
        const size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
        size_t keep = got;
        if (address + keep > kImageAddressLimit)
            keep = kImageAddressLimit - address;
        for (size_t i = 0; i < keep; ++i)
            image.StoreByte(address + static_cast<uint32_t>(i), chunk[i]);
        address += static_cast<uint32_t>(keep);
        if (keep < got) {
            context.errorText = tooFar;
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
