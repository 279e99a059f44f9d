#include "adapters/bsl/BslPatch.h"

#include "image/ImageFileContext.h"
#include "image/MemoryImage.h"
#include "image/ReaderFile.h"
#include "image/TiTxtReader.h"

#include <cerrno>
#include <cstdio>

namespace pyrola {

BslPatchFile ReadBslPatchFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
    bytes.clear();
    auto unusable = [&reason](const char* why) {
        reason = why;
        return BslPatchFile::Unusable;
    };
    if (path.empty())
        return BslPatchFile::Missing;
    // Opening a FIFO would wait for a writer for ever.
    if (IsNonRegularFile(path))
        return unusable(kTextNotRegularFile);
    errno = 0;
    if (FILE* probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        return errno == ENOENT ? BslPatchFile::Missing : unusable("the file cannot be opened");
    }
    MemoryImage image;
    image.Clear();
    ImageFileContext context;
    context.image = &image;
    if (ReadTiTxtFile(context, path) <= 0 && image.Low() == kImageEmptyLow) {
        reason = context.errorText.empty() ? "no data" : context.errorText;
        return BslPatchFile::Unusable;
    }
    if (!context.errorText.empty()) {
        reason = context.errorText;
        return BslPatchFile::Unusable;
    }
    if (image.Low() != kBslPatchAddress)
        return unusable("data does not start at 0x0220");
    const uint32_t end = image.High() + 1;
    if (end - kBslPatchAddress < 2 || end - kBslPatchAddress > kBslPatchMaxSize)
        return unusable("size out of range");
    for (uint32_t address = kBslPatchAddress; address < end; ++address) {
        if (!image.IsPresent(address))
            return unusable("gap in the data");
    }
    const uint32_t start = image.ValueAt(kBslPatchAddress) | (image.ValueAt(kBslPatchAddress + 1) << 8);
    if (start < kBslPatchAddress + 2 || start >= end)
        return unusable("start address outside the patch");
    for (uint32_t address = kBslPatchAddress; address < end; ++address)
        bytes.push_back(image.ValueAt(address));
    return BslPatchFile::Read;
}

} // namespace pyrola
