#pragma once
// In-memory streams for the fuzz targets, so each input runs the readers' real stream
// code without touching the disk, and helpers that check a read image round-trips.

#include "image/ImageFileContext.h"
#include "image/MemoryImage.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace pyrola::fuzz {

// A read-only stream over the bytes (an empty input still gives an empty stream).
inline std::FILE* OpenInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return std::tmpfile();
    return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

using StreamReader = int32_t (*)(ImageFileContext&, std::FILE*);
using StreamWriter = int32_t (*)(ImageFileContext&, std::FILE*);

inline int32_t ReadBytes(StreamReader reader, ImageFileContext& context, const uint8_t* data, size_t size) {
    std::FILE* file = OpenInput(data, size);
    if (!file)
        return 0;
    const int32_t count = reader(context, file);
    std::fclose(file);
    return count;
}

inline std::vector<uint8_t> WriteBytes(StreamWriter writer, ImageFileContext& context) {
    char* buffer = nullptr;
    size_t length = 0;
    std::FILE* file = open_memstream(&buffer, &length);
    if (!file)
        std::abort();
    if (writer(context, file) != 1)
        std::abort(); // writing to memory cannot fail
    std::fclose(file);
    std::vector<uint8_t> bytes(buffer, buffer + length);
    std::free(buffer);
    return bytes;
}

// Same low/high and the same present bytes; aborts (a finding) otherwise.
inline void RequireSamePresentBytes(const MemoryImage& a, const MemoryImage& b) {
    if (a.Low() != b.Low() || a.High() != b.High())
        std::abort();
    for (uint32_t address = a.Low(); address <= a.High(); ++address) {
        if (a.IsPresent(address) != b.IsPresent(address))
            std::abort();
        if (a.IsPresent(address) && a.ValueAt(address) != b.ValueAt(address))
            std::abort();
    }
}

// The image written by writer and read back by reader holds the same bytes; aborts (a
// finding) otherwise.
inline void RequireRoundTrip(MemoryImage& image, StreamWriter writer, StreamReader reader) {
    ImageFileContext context{&image, {}};
    const std::vector<uint8_t> text = WriteBytes(writer, context);
    MemoryImage back;
    ImageFileContext backContext{&back, {}};
    ReadBytes(reader, backContext, text.data(), text.size());
    if (!backContext.errorText.empty())
        std::abort();
    RequireSamePresentBytes(image, back);
}

// Every image of a successful read stays inside the 20-bit space.
inline void RequireBounded(const MemoryImage& image) {
    if (image.CellCount() > kImageAddressLimit + kImageGrowthSlack)
        std::abort();
}

// One input for a text or executable format's reader: the image stays bounded, a count
// of 0 comes with a reason or an empty image, and whatever was stored writes out through
// writer and reads back through back to the same bytes.
inline void CheckReader(StreamReader read, const uint8_t* data, size_t size, StreamWriter writer,
                        StreamReader back) {
    MemoryImage image; // the reader clears it
    ImageFileContext context{&image, {}};
    const int32_t count = ReadBytes(read, context, data, size);
    RequireBounded(image);
    if (count < 0 || (count == 0) != (image.Size() == 0 || !context.errorText.empty()))
        std::abort();
    RequireRoundTrip(image, writer, back);
}

} // namespace pyrola::fuzz
