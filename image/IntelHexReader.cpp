#include "image/IntelHexReader.h"

#include "image/LineReader.h"
#include "image/ParseNumber.h"
#include "image/ReaderFile.h"

#include <cctype>

namespace pyrola {

namespace {

constexpr size_t kMaxLine = 1023;

// A field of the record: exactly `digits` hex digits from `column`. A sign in front is
// refused: a negative count or address is no Intel HEX and must not reach the image.
bool Field(const char* line, size_t column, int digits, int32_t& value) {
    const char* p = line + column;
    int32_t high = 0;
    int32_t low = 0;
    if (digits == 2 && TwoHexDigits(p, value))
        return true;
    if (digits == 4 && TwoHexDigits(p, high) && TwoHexDigits(p + 2, low)) {
        value = high << 8 | low;
        return true;
    }
    while (*p && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '-' || *p == '+')
        return false;
    bool ok = false;
    value = ParseNumber(line + column, 16, digits, &ok);
    return ok;
}

} // namespace

int32_t ReadIntelHexStream(ImageFileContext& context, std::FILE* file) {
    MemoryImage& image = *context.image;
    image.Clear();
    LineReader reader(file, kMaxLine, LineReader::LineEnds::CrOrLf);
    uint32_t base = 0; // from the last extended address record
    bool ended = false;
    while (!ended) {
        const LineReader::Result result = reader.Next();
        if (result == LineReader::Result::Error) {
            context.errorText = kTextIoError;
            return 0;
        }
        if (result == LineReader::Result::End)
            break;
        const int lineNumber = reader.Number();
        const char* line = reader.line();
        const size_t length = reader.ContentLength();
        if (line[0] != ':')
            return FailOnLine(context, kTextInvalidLine, lineNumber);
        int32_t count = 0;
        int32_t address = 0;
        int32_t type = 0;
        if (!Field(line, 1, 2, count))
            return FailOnLine(context, kTextInvalidLine, lineNumber);
        // Nothing but the line end may follow the checksum: trailing text would mean the
        // record is not what its writer meant.
        if (length != static_cast<size_t>(2 * count + 11))
            return FailOnLine(context, kTextInvalidLine, lineNumber);
        if (!Field(line, 3, 4, address) || !Field(line, 7, 2, type))
            return FailOnLine(context, kTextInvalidLine, lineNumber);
        uint8_t data[255];
        uint32_t sum = static_cast<uint32_t>(count) + (static_cast<uint32_t>(address) >> 8) +
                       (static_cast<uint32_t>(address) & 0xFF) + static_cast<uint32_t>(type);
        for (int32_t i = 0; i < count; ++i) {
            int32_t byte = 0;
            if (!Field(line, 9 + 2 * static_cast<size_t>(i), 2, byte))
                return FailOnLine(context, kTextInvalidLine, lineNumber);
            data[i] = static_cast<uint8_t>(byte);
            sum += static_cast<uint32_t>(byte);
        }
        int32_t checksum = 0;
        if (!Field(line, 9 + 2 * static_cast<size_t>(count), 2, checksum))
            return FailOnLine(context, kTextInvalidLine, lineNumber);
        if (((sum + static_cast<uint32_t>(checksum)) & 0xFF) != 0)
            return FailOnLine(context, kTextBadChecksum, lineNumber);

        if (type == 0 && count > 0) {
            const uint64_t first = uint64_t{base} + static_cast<uint32_t>(address);
            if (first + static_cast<uint64_t>(count) > kImageAddressLimit)
                return FailOnLine(context, kTextAddressTooHigh, lineNumber);
            for (int32_t i = 0; i < count; ++i)
                context.Store(static_cast<uint32_t>(first) + static_cast<uint32_t>(i), data[i]);
        } else if (type == 1) {
            ended = true;
        } else if (type == 2 || type == 4) {
            // Without its two value bytes the record gives no base; guessing one would
            // put the following data at a wrong address.
            if (count != 2)
                return FailOnLine(context, kTextInvalidLine, lineNumber);
            const uint32_t value = static_cast<uint32_t>(data[0]) << 8 | data[1];
            base = type == 2 ? value << 4 : value << 16;
        }
    }
    if (reader.Number() == 0)
        return FailOnLine(context, kTextInvalidLine, 0);
    context.endRecordMissing = !ended;
    return static_cast<int32_t>(image.Size());
}

int32_t ReadIntelHexFile(ImageFileContext& context, const std::string& path) {
    return ReadThroughFile(context, path, ReadIntelHexStream);
}

} // namespace pyrola
