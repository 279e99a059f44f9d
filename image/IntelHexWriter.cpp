#include "image/IntelHexWriter.h"

#include "image/HexOutput.h"
#include "image/ImageRunCursor.h"
#include "image/WriterFile.h"

namespace pyrola {

namespace {

constexpr uint32_t kRecordLength = 32;

void Record(HexOutput& out, uint8_t type, uint16_t address, const uint8_t* data, uint32_t length) {
    uint32_t sum = length + (address >> 8) + (address & 0xFFu) + type;
    out.Char(':');
    out.Byte(static_cast<uint8_t>(length));
    out.Byte(static_cast<uint8_t>(address >> 8));
    out.Byte(static_cast<uint8_t>(address));
    out.Byte(type);
    for (uint32_t i = 0; i < length; ++i) {
        out.Byte(data[i]);
        sum += data[i];
    }
    out.Byte(static_cast<uint8_t>(0x100u - (sum & 0xFFu)));
    out.EndLine();
}

} // namespace

int32_t WriteIntelHexStream(ImageFileContext& context, std::FILE* file) {
    const MemoryImage& image = *context.image;
    HexOutput out(file);
    ImageRunCursor cursor(image, image.Low(), image.High(), kRecordLength, true, std::nullopt);
    uint32_t page = 0; // upper 16 address bits the reader applies; 0 until a 04 record
    uint32_t start = 0;
    uint32_t length = 0;
    while (cursor.NextRun(start, length)) {
        const uint8_t* data = cursor.Data();
        // A record's address has 16 bits: cut runs at 64 KiB pages and announce each new
        // page, so images above 0xFFFF read back to the same addresses.
        while (length > 0) {
            if ((start >> 16) != page) {
                page = start >> 16;
                const uint8_t value[2] = {static_cast<uint8_t>(page >> 8), static_cast<uint8_t>(page)};
                Record(out, 4, 0, value, 2);
            }
            uint32_t piece = 0x10000u - (start & 0xFFFFu);
            if (piece > length)
                piece = length;
            Record(out, 0, static_cast<uint16_t>(start), data, piece);
            start += piece;
            data += piece;
            length -= piece;
        }
    }
    Record(out, 1, 0, nullptr, 0);
    return FinishWriting(context, file, out.Flush());
}

int32_t WriteIntelHexFile(ImageFileContext& context, const std::string& path) {
    return WriteThroughFile(context, path, WriteIntelHexStream);
}

} // namespace pyrola
