#include "image/TiTxtWriter.h"

#include "image/HexOutput.h"
#include "image/ImageRunCursor.h"
#include "image/WriterFile.h"

namespace pyrola {

namespace {
constexpr uint32_t kLineBytes = 16;
}

int32_t WriteTiTxtStream(ImageFileContext& context, std::FILE* file) {
    const MemoryImage& image = *context.image;
    HexOutput out(file);
    ImageRunCursor cursor(image, image.Low(), image.High(), kLineBytes, true, std::nullopt);
    bool first = true;
    uint32_t next = 0; // address right after the previous run
    uint32_t start = 0;
    uint32_t length = 0;
    while (cursor.NextRun(start, length)) {
        if (first || start != next) {
            out.Char('@');
            out.Address(start);
            out.EndLine();
        }
        first = false;
        next = start + length;
        const uint8_t* data = cursor.Data();
        for (uint32_t i = 0; i < length; ++i) {
            if (i > 0)
                out.Char(' ');
            out.Byte(data[i]);
        }
        out.EndLine();
    }
    out.Char('q');
    out.EndLine();
    return FinishWriting(context, file, out.Flush());
}

int32_t WriteTiTxtFile(ImageFileContext& context, const std::string& path) {
    return WriteThroughFile(context, path, WriteTiTxtStream);
}

} // namespace pyrola
