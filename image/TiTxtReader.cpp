#include "image/TiTxtReader.h"

#include "image/LineReader.h"
#include "image/ParseNumber.h"
#include "image/ReaderFile.h"

namespace pyrola {

namespace {

constexpr size_t kMaxLine = 127;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// What is left of a data line after its last whole field starts with a hex digit: the
// line ends inside a byte, and dropping that digit would program different data.
bool EndsInsideAByte(const char* rest, const char* end) {
    while (rest < end && IsBlank(*rest))
        ++rest;
    return rest < end && kHexDigits.value[static_cast<unsigned char>(*rest)] >= 0;
}

} // namespace

int32_t ReadTiTxtStream(ImageFileContext& context, std::FILE* file) {
    MemoryImage& image = *context.image;
    image.Clear();
    LineReader reader(file, kMaxLine);
    int64_t address = -1; // no "@" line yet
    bool ended = false;
    for (;;) {
        const LineReader::Result result = reader.Next();
        if (result == LineReader::Result::Error) {
            // Reporting the partial image as loaded would let it be programmed as if whole.
            context.errorText = kTextIoError;
            return 0;
        }
        if (result == LineReader::Result::End)
            break;
        const int lineNumber = reader.Number();
        const char* line = reader.line();
        const size_t rawLength = reader.length();
        if (line[0] == 'q') {
            ended = true;
            break;
        }
        // Fields stand at columns 0, 3, 6, ... below the length less 3, the length
        // counting a two-byte line end; an LF-only or unterminated line is measured as
        // if it ended in CR LF, so it yields the same bytes.
        const size_t content = reader.ContentLength();
        if (rawLength < 3) {
            if (EndsInsideAByte(line, line + content))
                return FailOnLine(context, kTextInvalidLine, lineNumber);
            continue;
        }
        if (line[0] == '@') {
            bool ok = false;
            const int32_t value = ParseNumber(line + 1, 16, 0, &ok);
            address = ok ? value : 0;
            continue;
        }
        const size_t length = content + 2;
        size_t column = 0;
        for (; column + 3 < length; column += 3) {
            int32_t byte = 0;
            bool ok = TwoHexDigits(line + column, byte);
            if (!ok)
                byte = ParseNumber(line + column, 16, 2, &ok);
            if (!ok || address < 0)
                return FailOnLine(context, kTextInvalidLine, lineNumber);
            if (address >= kImageAddressLimit)
                return FailOnLine(context, kTextAddressTooHigh, lineNumber);
            context.Store(static_cast<uint32_t>(address), static_cast<uint8_t>(byte));
            ++address;
        }
        if (column < content && EndsInsideAByte(line + column, line + content))
            return FailOnLine(context, kTextInvalidLine, lineNumber);
    }
    context.endRecordMissing = !ended;
    return static_cast<int32_t>(image.Size());
}

int32_t ReadTiTxtFile(ImageFileContext& context, const std::string& path) {
    return ReadThroughFile(context, path, ReadTiTxtStream);
}

} // namespace pyrola
