#include "image/ImageReader.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace pyrola {
namespace {

using testfiles::ClearedImage;
using testfiles::TempDir;
using testfiles::WriteFile;

class TiTxtReader : public ::testing::Test {
protected:
    int32_t Read(const std::string& text) {
        const std::string path = dir.File("in.txt");
        WriteFile(path, text);
        context.errorText = "stale";
        return ReadImageFile(context, path, FileFormat::TiTxt);
    }

    TempDir dir;
    MemoryImage image = ClearedImage();
    ImageFileContext context{&image, {}};
};

TEST_F(TiTxtReader, AddressLineDataLineAndQuit) {
    EXPECT_EQ(Read("@F000\r\n31 40 00 03\r\nq\r\n"), 4);
    EXPECT_EQ(context.errorText, "");
    EXPECT_EQ(image.Low(), 0xF000u);
    EXPECT_EQ(image.High(), 0xF003u);
    EXPECT_EQ(image.CellAt(0xF000), 0x31);
    EXPECT_EQ(image.CellAt(0xF001), 0x40);
    EXPECT_EQ(image.CellAt(0xF002), 0x00);
    EXPECT_EQ(image.CellAt(0xF003), 0x03);
    EXPECT_FALSE(image.IsPresent(0xF004));
}

TEST_F(TiTxtReader, LineEndsOfEveryKindYieldTheSameBytes) {
    const std::string variants[] = {
        "@1000\r\n31 40 00\r\n@2000\r\nAA BB\r\nq\r\n",
        "@1000\n31 40 00\n@2000\nAA BB\nq\n",      // LF alone
        "@1000\r\n31 40 00 \r\n@2000\nAA BB",      // blank after the last field, no final line end
        "@1000\r\n31 40 00\r\n@2000\r\naa bb\r\n", // lower-case digits, no "q"
    };
    for (const std::string& text : variants) {
        EXPECT_EQ(Read(text), static_cast<int32_t>(0x2001 - 0x1000 + 1)) << text;
        EXPECT_EQ(image.CellAt(0x1000), 0x31) << text;
        EXPECT_EQ(image.CellAt(0x1001), 0x40) << text;
        EXPECT_EQ(image.CellAt(0x1002), 0x00) << text;
        EXPECT_FALSE(image.IsPresent(0x1003)) << text;
        EXPECT_EQ(image.CellAt(0x2000), 0xAA) << text;
        EXPECT_EQ(image.CellAt(0x2001), 0xBB) << text;
    }
}

TEST_F(TiTxtReader, DataBeforeAnyAddressIsInvalid) {
    EXPECT_EQ(Read("31 40\r\n@F000\r\n31 40\r\nq\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 1. Invalid format");
    // A negative address fails at its first data byte, not at the "@" line.
    EXPECT_EQ(Read("@-10\r\n\r\n31 40\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 3. Invalid format");
}

TEST_F(TiTxtReader, AddressLineWithoutDigitsMeansZero) {
    EXPECT_EQ(Read("@xyz\r\n01 02 03\r\nq\r\n"), 3);
    EXPECT_EQ(image.Low(), 0u);
    EXPECT_EQ(image.CellAt(2), 0x03);
}

TEST_F(TiTxtReader, QuitEndsReadingAndShortLinesAreSkipped) {
    EXPECT_EQ(Read("@0200\r\n\r\nx\r\n01 02\r\nq\r\nthis is junk\r\n"), 2);
    EXPECT_EQ(context.errorText, "");
    EXPECT_EQ(Read("q"), 0);
    EXPECT_EQ(context.errorText, "");
}

TEST_F(TiTxtReader, BadFieldsStopWithTheirLineNumber) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"@1000\r\n31 4G 00\r\n", "Line 2. Invalid format"},
        {"@1000\r\n31 40\r\nx\r\n 1 2 3\r\n", "Line 4. Invalid format"},
        {"@1000\r\n31,40,00\r\n\x01\x02\x03\x04\r\n", "Line 3. Invalid format"},
        {"@1000\r\n   \r\n", "Line 2. Invalid format"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Read(c.text), 0) << c.text;
        EXPECT_EQ(context.errorText, c.error) << c.text;
    }
}

TEST_F(TiTxtReader, ALineEndingInsideAByteIsInvalid) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"@1000\r\n31 4\r\nq\r\n", "Line 2. Invalid format"},
        {"@1000\r\n31 40\r\n3\r\nq\r\n", "Line 3. Invalid format"},
        {"@1000\n31 40\n3\nq\n", "Line 3. Invalid format"},          // a short line is no excuse
        {"@1000\r\n31 40 00 0", "Line 2. Invalid format"},           // cut off in the last line
        {"@1000\r\n31 40 00  A\r\nq\r\n", "Line 2. Invalid format"}, // blanks before the digit
        {"@1000\r\n31 40\r\n4", "Line 3. Invalid format"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Read(c.text), 0) << c.text;
        EXPECT_EQ(context.errorText, c.error) << c.text;
    }
    // Blanks or a non-digit after the last field are still no byte.
    EXPECT_EQ(Read("@1000\r\n31 40 \t\r\nx\r\n41 42\r\nq\r\n"), 4);
    EXPECT_EQ(image.CellAt(0x1003), 0x42);
}

TEST_F(TiTxtReader, AFileWithoutQuitIsMarked) {
    EXPECT_EQ(Read("@1000\r\n31 40\r\n"), 2);
    EXPECT_TRUE(context.endRecordMissing);
    EXPECT_EQ(Read("@1000\r\n31 40\r\nq\r\n"), 2);
    EXPECT_FALSE(context.endRecordMissing);
    EXPECT_EQ(Read("@1000\r\n31 40\r\nq"), 2);
    EXPECT_FALSE(context.endRecordMissing);
}

TEST_F(TiTxtReader, AddressesAboveFFFFGrowTheImageUpToTheTwentyBitLimit) {
    EXPECT_EQ(Read("@0FFFF\r\n01 02\r\n@FFFFE\r\nAA BB\r\nq\r\n"),
              static_cast<int32_t>(0xFFFFF - 0xFFFF + 1));
    EXPECT_EQ(image.CellAt(0x10000), 0x02);
    EXPECT_EQ(image.CellAt(0xFFFFF), 0xBB);
    // One past the limit, whether by an "@" line or by running off the top.
    EXPECT_EQ(Read("@1000\r\n01 02\r\n@100000\r\nAA\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 4. Address above 0xFFFFF");
    EXPECT_LE(image.CellCount(), 0x10000u);
    EXPECT_EQ(image.CellAt(0x1001), 0x02);
    EXPECT_EQ(Read("@FFFFF\r\nAA BB\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Address above 0xFFFFF");
    // Far beyond 32 bits: no wrap to a low address and no huge allocation.
    EXPECT_EQ(Read("@10000000000001000\r\nAA BB\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Address above 0xFFFFF");
    EXPECT_FALSE(image.IsPresent(0x1000));
    EXPECT_LE(image.CellCount(), 0x10000u);
    // An out-of-range address that no data line uses is harmless.
    EXPECT_EQ(Read("@1000\r\n01 02\r\n@FFFFFFFF\r\nq\r\n"), 2);
}

TEST_F(TiTxtReader, OverlongLinesContinueAsTheNextLineAndFailCleanly) {
    // 50 fields are 149 characters: the line is cut after 127 bytes, in the middle of a
    // field, so the first piece (line 2) ends inside a byte.
    std::string line;
    for (int i = 0; i < 50; ++i)
        line += i ? " 5A" : "5A";
    EXPECT_EQ(Read("@1000\r\n" + line + "\r\nq\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Invalid format");
    EXPECT_EQ(image.CellAt(0x1000 + 41), 0x5A); // the first piece was stored
    // A 2,000-byte line of junk ends with a bounded error as well.
    EXPECT_EQ(Read("@1000\r\n" + std::string(2000, 'Z') + "\r\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Invalid format");
}

TEST_F(TiTxtReader, EmptyAndMissingFiles) {
    EXPECT_EQ(Read(""), 0);
    EXPECT_EQ(context.errorText, "");
    EXPECT_EQ(ReadImageFile(context, dir.File("absent.txt"), FileFormat::TiTxt), 0);
    EXPECT_EQ(context.errorText, "Can't open");
}

} // namespace
} // namespace pyrola
