#include "image/SRecordReader.h"

#include "image/LineReader.h"
#include "image/ParseNumber.h"
#include "image/ReaderFile.h"

namespace pyrola {

namespace {

// The longest record, "S" type count and 255 bytes in hex, is 514 characters.
constexpr size_t kMaxLine = 1023;

constexpr const char* kTextCountMismatch = "Line %d. Record count does not match";

// Address bytes of each record type; 0 for a type that does not exist.
int AddressBytes(char type) {
    switch (type) {
    case '0':
    case '1':
    case '5':
    case '9':
        return 2;
    case '2':
    case '6':
    case '8':
        return 3;
    case '3':
    case '7':
        return 4;
    default:
        return 0;
    }
}

} // namespace

int32_t ReadSRecordStream(ImageFileContext& context, std::FILE* file) {
    MemoryImage& image = *context.image;
    image.Clear();
    LineReader reader(file, kMaxLine, LineReader::LineEnds::CrOrLf);
    uint32_t dataRecords = 0;
    bool ended = false;
    bool counted = false; // the last record was a count record that matched
    uint8_t bytes[255];
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

        // "S", the type, then the count of the bytes that follow (address, data, checksum),
        // every one of them in two hex digits, and nothing after the checksum.
        int32_t count = 0;
        const char type = line[1];
        const int addressBytes = length >= 2 && line[0] == 'S' ? AddressBytes(type) : 0;
        if (addressBytes == 0 || length < 4 || !TwoHexDigits(line + 2, count) || count < addressBytes + 1 ||
            length != 4 + 2 * static_cast<size_t>(count))
            return FailOnLine(context, kTextInvalidLine, lineNumber);
        uint32_t sum = static_cast<uint32_t>(count);
        for (int32_t i = 0; i < count; ++i) {
            int32_t value = 0;
            if (!TwoHexDigits(line + 4 + 2 * i, value))
                return FailOnLine(context, kTextInvalidLine, lineNumber);
            bytes[i] = static_cast<uint8_t>(value);
            sum += static_cast<uint32_t>(value);
        }
        // The checksum is the ones' complement of the sum of the other bytes.
        if ((sum & 0xFF) != 0xFF)
            return FailOnLine(context, kTextBadChecksum, lineNumber);

        uint32_t address = 0;
        for (int i = 0; i < addressBytes; ++i)
            address = address << 8 | bytes[i];
        const uint32_t dataLength = static_cast<uint32_t>(count - addressBytes - 1);
        counted = false;
        switch (type) {
        case '1':
        case '2':
        case '3':
            ++dataRecords;
            if (uint64_t{address} + dataLength > kImageAddressLimit)
                return FailOnLine(context, kTextAddressTooHigh, lineNumber);
            for (uint32_t i = 0; i < dataLength; ++i)
                context.Store(address + i, bytes[addressBytes + i]);
            break;
        case '5':
        case '6':
            if (dataLength != 0)
                return FailOnLine(context, kTextInvalidLine, lineNumber);
            // A count that differs from the records read means records went missing.
            if (address != (dataRecords & (type == '5' ? 0xFFFFu : 0xFFFFFFu)))
                return FailOnLine(context, kTextCountMismatch, lineNumber);
            counted = true;
            break;
        case '7':
        case '8':
        case '9':
            // The start address: nothing to store.
            if (dataLength != 0)
                return FailOnLine(context, kTextInvalidLine, lineNumber);
            ended = true;
            break;
        default: // S0: a header of free text
            break;
        }
    }
    if (reader.Number() == 0)
        return FailOnLine(context, kTextInvalidLine, 0);
    // Writers leave out the termination record when they know no start address; a count
    // record that matched and closes the file tells as well that nothing was cut off.
    context.endRecordMissing = !ended && !counted;
    return static_cast<int32_t>(image.Size());
}

int32_t ReadSRecordFile(ImageFileContext& context, const std::string& path) {
    return ReadThroughFile(context, path, ReadSRecordStream);
}

} // namespace pyrola
