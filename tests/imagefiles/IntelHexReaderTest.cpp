#include "image/IntelHexReader.h"
#include "image/ImageReader.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace pyrola {
namespace {

using testfiles::ClearedImage;
using testfiles::TempDir;
using testfiles::WriteFile;

// 16 bytes at 0x0100 with a correct checksum.
const std::string kRecord0100 = ":10010000214601360121470136007EFE09D2190140";
const uint8_t kBytes0100[16] = {0x21, 0x46, 0x01, 0x36, 0x01, 0x21, 0x47, 0x01,
                                0x36, 0x00, 0x7E, 0xFE, 0x09, 0xD2, 0x19, 0x01};

class IntelHexReader : public ::testing::Test {
protected:
    int32_t Read(const std::string& text) {
        const std::string path = dir.File("in.hex");
        WriteFile(path, text);
        context.errorText = "stale";
        return ReadImageFile(context, path, FileFormat::IntelHex);
    }

    TempDir dir;
    MemoryImage image = ClearedImage();
    ImageFileContext context{&image, {}};
};

TEST_F(IntelHexReader, DataRecordThenEndRecordLoadsItsBytes) {
    EXPECT_EQ(Read(kRecord0100 + "\r\n:00000001FF\r\n"), 16);
    EXPECT_EQ(context.errorText, "");
    EXPECT_EQ(image.Low(), 0x0100u);
    EXPECT_EQ(image.High(), 0x010Fu);
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(image.CellAt(0x0100 + i), kBytes0100[i]) << i;
    EXPECT_FALSE(image.IsPresent(0x00FF));
    EXPECT_FALSE(image.IsPresent(0x0110));
    // LF-only line ends and a missing end record read the same.
    EXPECT_EQ(Read(kRecord0100 + "\n"), 16);
    EXPECT_EQ(image.CellAt(0x010F), 0x01);
}

TEST_F(IntelHexReader, ChangedDataDigitIsABadChecksum) {
    std::string changed = kRecord0100;
    changed[9] = '3'; // first data byte 0x21 -> 0x31
    EXPECT_EQ(Read(changed + "\r\n:00000001FF\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 1. Bad checksum");
    EXPECT_EQ(Read(kRecord0100 + "\r\n:00000001FE\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Bad checksum");
}

TEST_F(IntelHexReader, EmptyFileFailsOnLineZero) {
    EXPECT_EQ(Read(""), 0);
    EXPECT_EQ(context.errorText, "Line 0. Invalid format");
}

TEST_F(IntelHexReader, MissingFileCannotBeOpenedAndLeavesTheImage) {
    image.StoreByte(0x200, 0x55);
    EXPECT_EQ(ReadImageFile(context, dir.File("absent.hex"), FileFormat::IntelHex), 0);
    EXPECT_EQ(context.errorText, "Can't open");
    EXPECT_EQ(image.CellAt(0x200), 0x55);
}

TEST_F(IntelHexReader, ZeroExtendedAddressRecordsAreCheckedAndIgnored) {
    EXPECT_EQ(Read(":020000040000FA\r\n:020000020000FC\r\n" + kRecord0100 + "\r\n:00000001FF\r\n"), 16);
    EXPECT_EQ(image.CellAt(0x0100), 0x21);
    EXPECT_EQ(Read(":020000040000FB\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 1. Bad checksum");
    // Start address records are ignored as well.
    EXPECT_EQ(Read(":0400000300001000E9\r\n:0400000500001000E7\r\n" + kRecord0100 + "\r\n"), 16);
}

TEST_F(IntelHexReader, NonZeroExtendedAddressesMoveTheFollowingData) {
    // Linear: upper 16 bits 0x0001.
    EXPECT_EQ(Read(":020000040001F9\r\n" + kRecord0100 + "\r\n:00000001FF\r\n"), 16);
    EXPECT_EQ(image.Low(), 0x10100u);
    EXPECT_EQ(image.CellAt(0x10100), 0x21);
    EXPECT_FALSE(image.IsPresent(0x0100));
    // Segment: base 0x1000 * 16; a later zero record goes back to the first 64 KiB.
    EXPECT_EQ(Read(":020000021000EC\r\n" + kRecord0100 + "\r\n:020000020000FC\r\n" +
                   ":01020000AA53\r\n:00000001FF\r\n"),
              static_cast<int32_t>(0x1010F - 0x0200 + 1));
    EXPECT_EQ(image.CellAt(0x10100), 0x21);
    EXPECT_EQ(image.CellAt(0x0200), 0xAA);
    // An address record without its two value bytes would leave the base a guess.
    EXPECT_EQ(Read(":0100000401FA\r\n" + kRecord0100 + "\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 1. Invalid format");
}

TEST_F(IntelHexReader, RecordRunningPastFFFFContinuesAboveAndGrowsTheImage) {
    // 16 bytes 0x00..0x0F at 0xFFF8.
    const std::string record = ":10FFF800000102030405060708090A0B0C0D0E0F81";
    EXPECT_EQ(Read(record + "\r\n:00000001FF\r\n"), 16);
    EXPECT_GT(image.CellCount(), 0x10000u);
    EXPECT_EQ(image.CellAt(0xFFFF), 0x07);
    EXPECT_EQ(image.CellAt(0x10000), 0x08);
    EXPECT_EQ(image.CellAt(0x10007), 0x0F);
}

TEST_F(IntelHexReader, DataBeyondTheTwentyBitSpaceIsRefusedWithoutGrowing) {
    // Upper bits 0x0010: address 0x100100.
    EXPECT_EQ(Read(kRecord0100 + "\r\n:020000040010EA\r\n" + kRecord0100 + "\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 3. Address above 0xFFFFF");
    EXPECT_LE(image.CellCount(), 0x10000u);
    EXPECT_EQ(image.CellAt(0x0100), 0x21); // what came before stays
    // Largest base: no wrap-around back to low memory either.
    EXPECT_EQ(Read(":02000004FFFFFC\r\n" + kRecord0100 + "\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Address above 0xFFFFF");
    EXPECT_FALSE(image.IsPresent(0x0100));
    // A record ending exactly at 0xFFFFF still loads.
    EXPECT_EQ(Read(":02000004000FEB\r\n:02FFFE00AABB9C\r\n:01000000CC33\r\n"), 0x10000);
    EXPECT_EQ(image.CellAt(0xFFFFF), 0xBB);
}

TEST_F(IntelHexReader, MalformedLinesStopWithTheirLineNumber) {
    const std::string good = kRecord0100 + "\r\n";
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {good + "\r\n" + good, "Line 2. Invalid format"},                              // empty line
        {good + "10010000214601\r\n", "Line 2. Invalid format"},                       // no colon
        {good + ":1001000021460136012147013600\r\n", "Line 2. Invalid format"},        // truncated
        {":10010000214601360121470136007EFE09D2190\r\n", "Line 1. Invalid format"},    // checksum cut
        {":1G010000214601360121470136007EFE09D2190140\r\n", "Line 1. Invalid format"}, // bad digit
        {":10010000214601360121470136007EFE09D21901ZZ\r\n", "Line 1. Invalid format"},
        {":-1010000214601360121470136007EFE09D2190140\r\n", "Line 1. Invalid format"}, // signed count
        {":+1010000214601360121470136007EFE09D2190140\r\n", "Line 1. Invalid format"},
        {":01+10000AA00\r\n", "Line 1. Invalid format"}, // signed address
        {":010100+1AA00\r\n", "Line 1. Invalid format"}, // signed type
        {":00000001FF\r\n", "Line 1. Invalid format"},   // fine, but a single byte or none counts 0
        {std::string("\x00\xFF\x01junk\r\n", 8), "Line 1. Invalid format"},
        {":", "Line 1. Invalid format"},
    };
    for (const auto& c : cases) {
        const bool endOnly = c.text == ":00000001FF\r\n";
        EXPECT_EQ(Read(c.text), 0) << c.text;
        EXPECT_EQ(context.errorText, endOnly ? "" : c.error) << c.text;
    }
}

TEST_F(IntelHexReader, LinesOverTheLimitContinueAsTheNextLine) {
    // 1,100 characters: the first 1,023 form line 1, a valid record followed by junk, which
    // makes it invalid; nothing of it is stored.
    std::string longLine = kRecord0100 + std::string(1100 - kRecord0100.size(), '0');
    EXPECT_EQ(Read(kRecord0100 + "\r\n" + longLine + "\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Invalid format");
    EXPECT_EQ(image.CellAt(0x0100), 0x21); // line 1 was stored
    EXPECT_EQ(Read(":020000040001F9\r\n" + longLine + "\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Invalid format");
    EXPECT_EQ(image.CellCount(), 0x10000u);
}

TEST_F(IntelHexReader, NothingAfterTheEndRecordIsRead) {
    EXPECT_EQ(Read(kRecord0100 + "\r\n:00000001FF\r\nthis is not a record\r\n"), 16);
    EXPECT_EQ(context.errorText, "");
}

// A data record of the bytes at address, with its checksum.
std::string Record(uint16_t address, const std::vector<uint8_t>& bytes) {
    std::string text = ":";
    char field[16];
    uint32_t sum = static_cast<uint32_t>(bytes.size()) + (address >> 8) + (address & 0xFFu);
    std::snprintf(field, sizeof field, "%02X%04X00", static_cast<unsigned>(bytes.size()), address);
    text += field;
    for (uint8_t b : bytes) {
        std::snprintf(field, sizeof field, "%02X", b);
        text += field;
        sum += b;
    }
    std::snprintf(field, sizeof field, "%02X", (0x100u - (sum & 0xFFu)) & 0xFFu);
    return text + field;
}

TEST_F(IntelHexReader, CarriageReturnAloneEndsALineAsLfAndCrLfDo) {
    const std::string second = ":02F0000031409D";
    for (const char* end : {"\r", "\n", "\r\n"}) {
        EXPECT_EQ(Read(kRecord0100 + end + second + end + ":00000001FF" + end), 0xF001 - 0x0100 + 1) << end;
        EXPECT_EQ(image.CellAt(0x010F), 0x01);
        EXPECT_EQ(image.CellAt(0xF001), 0x40);
        EXPECT_FALSE(context.endRecordMissing);
    }
    // Mixed in one file, and a CR LF counts once: no empty line between the records.
    EXPECT_EQ(Read(kRecord0100 + "\r" + second + "\r\n:00000001FF\n"), 0xF001 - 0x0100 + 1);
    // CR CR LF is a line end and then an empty line.
    EXPECT_EQ(Read(kRecord0100 + "\r\r\n" + second + "\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Invalid format");
}

TEST_F(IntelHexReader, CrLfSplitAcrossTheReadBufferIsOneLineEnd) {
    // 1,468 LF lines of 44 bytes and 20 CR LF lines of 45 put the next CR at offset
    // 65,535 and its LF at 65,536, just past the reader's first 64 KiB.
    std::string text;
    std::vector<uint8_t> bytes(16);
    for (uint32_t i = 0; i < 1489; ++i) {
        for (uint32_t b = 0; b < 16; ++b)
            bytes[b] = static_cast<uint8_t>(i * 7 + b);
        text += Record(static_cast<uint16_t>(i * 16), bytes) + (i < 1468 ? "\n" : "\r\n");
    }
    ASSERT_EQ(text.substr(65535, 2), "\r\n");
    text += ":00000001FF\r\n";
    EXPECT_EQ(Read(text), 1489 * 16);
    EXPECT_EQ(context.errorText, "");
    EXPECT_EQ(image.CellAt(1488 * 16 + 15), static_cast<uint8_t>(1488 * 7 + 15));
}

TEST_F(IntelHexReader, AnythingButALineEndAfterTheChecksumIsInvalid) {
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {kRecord0100 + " \r\n", "Line 1. Invalid format"},
        {kRecord0100 + "\t\n", "Line 1. Invalid format"},
        {kRecord0100 + "00\r\n", "Line 1. Invalid format"}, // one more byte than the count says
        {kRecord0100 + "X", "Line 1. Invalid format"},
        {kRecord0100 + "\r\n:00000001FF junk\r\n", "Line 2. Invalid format"},
        {kRecord0100 + "\r\n:00000001FF;\r\n", "Line 2. Invalid format"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Read(c.text), 0) << c.text;
        EXPECT_EQ(context.errorText, c.error) << c.text;
    }
    // The same records without the trailing text load.
    EXPECT_EQ(Read(kRecord0100), 16);
    EXPECT_EQ(Read(kRecord0100 + "\r\n:00000001FF"), 16);
}

TEST_F(IntelHexReader, AFileWithoutItsEndRecordIsMarked) {
    EXPECT_EQ(Read(kRecord0100 + "\r\n"), 16);
    EXPECT_TRUE(context.endRecordMissing);
    EXPECT_EQ(Read(kRecord0100 + "\r\n:00000001FF\r\n"), 16);
    EXPECT_FALSE(context.endRecordMissing);
    // Nothing after the end record is read, so junk there does not count as missing it.
    EXPECT_EQ(Read(kRecord0100 + "\r\n:00000001FF\r\nnot a record"), 16);
    EXPECT_FALSE(context.endRecordMissing);
}

TEST_F(IntelHexReader, SingleByteLoads) {
    EXPECT_EQ(Read(":01010000AA54\r\n:00000001FF\r\n"), 1);
    EXPECT_EQ(context.errorText, "");
    EXPECT_EQ(image.CellAt(0x0100), 0xAA);
    EXPECT_EQ(context.overlap.count, 0u);
}

TEST_F(IntelHexReader, OverlappingRecordsKeepTheLaterValueAndSayWhere) {
    // A loader and an application concatenated: both give 0x0102-0x0103.
    EXPECT_EQ(Read(":0401000001020304F1\r\n:02010200AABB96\r\n:00000001FF\r\n"), 4);
    EXPECT_EQ(context.overlap.count, 2u);
    EXPECT_EQ(context.overlap.first, 0x0102u);
    EXPECT_EQ(context.overlap.earlier, 0x03);
    EXPECT_EQ(context.overlap.kept, 0xAA);
    EXPECT_EQ(image.CellAt(0x0102), 0xAA);
    EXPECT_EQ(image.CellAt(0x0103), 0xBB);
    // The next file starts with no overlap of its own.
    EXPECT_EQ(Read(":0401000001020304F1\r\n:00000001FF\r\n"), 4);
    EXPECT_EQ(context.overlap.count, 0u);
}

} // namespace
} // namespace pyrola
