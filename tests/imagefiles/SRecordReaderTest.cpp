#include "image/ImageReader.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace pyrola {
namespace {

using testfiles::ClearedImage;
using testfiles::TempDir;
using testfiles::WriteFile;

// A header, 16 bytes at 0x0100 (S1), 2 bytes at 0x12345 (S2), 2 bytes at 0x00F000 (S3),
// the count of the three data records and a termination record.
const std::string kHeader = "S00600004844521B";
const std::string kS1 = "S1130100214601360121470136007EFE09D219013C";
const std::string kS2 = "S20601234531401F";
const std::string kS3 = "S3070000F000314097";
const std::string kS5 = "S5030003F9";
const std::string kS9 = "S9030000FC";

class SRecordReader : public ::testing::Test {
protected:
    int32_t Read(const std::string& text) {
        const std::string path = dir.File("in.s19");
        WriteFile(path, text);
        context.errorText = "stale";
        return ReadImageFile(context, path, FileFormat::SRecord);
    }

    TempDir dir;
    MemoryImage image = ClearedImage();
    ImageFileContext context{&image, {}};
};

TEST_F(SRecordReader, DataRecordsOfEveryAddressLengthWithAnyLineEnd) {
    for (const char* end : {"\r\n", "\n", "\r"}) {
        const std::string text = kHeader + end + kS1 + end + kS2 + end + kS3 + end + kS5 + end + kS9 + end;
        EXPECT_EQ(Read(text), static_cast<int32_t>(0x12346 - 0x0100 + 1)) << end;
        EXPECT_EQ(context.errorText, "");
        EXPECT_FALSE(context.endRecordMissing);
        EXPECT_EQ(image.CellAt(0x0100), 0x21);
        EXPECT_EQ(image.CellAt(0x010F), 0x01);
        EXPECT_EQ(image.CellAt(0x12345), 0x31);
        EXPECT_EQ(image.CellAt(0x12346), 0x40);
        EXPECT_EQ(image.CellAt(0xF001), 0x40);
        EXPECT_FALSE(image.IsPresent(0x0110));
        EXPECT_FALSE(image.IsPresent(0)); // the header's text is no data
    }
    // Lower-case hex digits read the same; a lower-case "s" is no record.
    EXPECT_EQ(Read("S1130100214601360121470136007efe09d219013c\n" + kS9), 16);
    EXPECT_EQ(image.CellAt(0x010B), 0xFE);
    EXPECT_EQ(Read("s" + kS1.substr(1)), 0);
    EXPECT_EQ(context.errorText, "Line 1. Invalid format");
}

TEST_F(SRecordReader, AWrongChecksumNamesItsLine) {
    std::string changed = kS1;
    changed[8] = '3'; // first data byte 0x21 -> 0x31
    EXPECT_EQ(Read(kHeader + "\n" + changed + "\n" + kS9 + "\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Bad checksum");
    EXPECT_EQ(Read(kS1 + "\nS9030000FD\n"), 0);
    EXPECT_EQ(context.errorText, "Line 2. Bad checksum");
}

TEST_F(SRecordReader, MalformedLinesStopWithTheirLineNumber) {
    const std::string good = kS1 + "\n";
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {"", "Line 0. Invalid format"},
        {good + "\n" + kS9, "Line 2. Invalid format"},     // empty line
        {good + "S4030000FC\n", "Line 2. Invalid format"}, // no such type
        {good + "SX030000FC\n", "Line 2. Invalid format"},
        {good + "X1030000FC\n", "Line 2. Invalid format"},
        {kS1.substr(0, 30) + "\n", "Line 1. Invalid format"}, // shorter than its count
        {kS1 + "00\n", "Line 1. Invalid format"},             // longer than its count
        {kS1 + " \n", "Line 1. Invalid format"},              // text after the checksum
        {"S1020000FD\n", "Line 1. Invalid format"},           // count below address + checksum
        {"S107000041G24344EE\n", "Line 1. Invalid format"},   // not a hex digit
        {"S1\n", "Line 1. Invalid format"},
        {good + "S504000100FA\n", "Line 2. Invalid format"},   // a count record with data
        {good + "S90400000000FB\n", "Line 2. Invalid format"}, // a termination with data
        {good + "S5030002FA\n", "Line 2. Record count does not match"},
        {"S30900100000AABBCCDDD8\n", "Line 1. Address above 0xFFFFF"},
        {"S3090FFFFFFEAABBCCDDDD\n", "Line 1. Address above 0xFFFFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Read(c.text), 0) << c.text;
        EXPECT_EQ(context.errorText, c.error) << c.text;
    }
}

TEST_F(SRecordReader, TheFileEndsAtItsTerminationRecordOrMatchingCount) {
    EXPECT_EQ(Read(kS1 + "\n" + kS9 + "\nnot a record\n"), 16);
    EXPECT_FALSE(context.endRecordMissing);
    for (const std::string& end : {std::string("S804000000FB\n"), std::string("S70500000000FA\n")}) {
        EXPECT_EQ(Read(kS1 + "\n" + end), 16) << end;
        EXPECT_FALSE(context.endRecordMissing);
    }
    // What srec_cat writes without a start address: a count record last.
    EXPECT_EQ(Read(kS1 + "\nS5030001FB\n"), 16);
    EXPECT_FALSE(context.endRecordMissing);
    // Neither: the file may have been cut short.
    EXPECT_EQ(Read(kHeader + "\n" + kS1 + "\n"), 16);
    EXPECT_TRUE(context.endRecordMissing);
    EXPECT_EQ(Read(kS1 + "\nS5030001FB\n" + kS2 + "\n"), static_cast<int32_t>(0x12346 - 0x100 + 1));
    EXPECT_TRUE(context.endRecordMissing);
}

} // namespace
} // namespace pyrola
