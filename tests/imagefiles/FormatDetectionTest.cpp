// The headless program's format guess from a file's first bytes: only a whole first record
// of a text format counts, and nothing is ever guessed to be binary.
#include "image/FormatDetection.h"

#include <gtest/gtest.h>

#include <string>

using namespace pyrola;

TEST(FormatDetection, AWholeFirstRecordTellsTheFormat) {
    EXPECT_EQ(DetectFileFormatOf(std::string("\x7F"
                                             "ELF\x01\x01",
                                             6)),
              FileFormat::Elf);
    EXPECT_EQ(DetectFileFormatOf(":10010000214601360121470136007EFE09D2190140\r\n"), FileFormat::IntelHex);
    EXPECT_EQ(DetectFileFormatOf("\r\n\n:00000001FF"), FileFormat::IntelHex); // blank lines first
    EXPECT_EQ(DetectFileFormatOf("S00F000068656C6C6F202020202000003C\n"), FileFormat::SRecord);
    EXPECT_EQ(DetectFileFormatOf("@F000\r\n31 40\r\nq\r\n"), FileFormat::TiTxt);
    EXPECT_EQ(DetectFileFormatOf("@f000 \n"), FileFormat::TiTxt);
}

TEST(FormatDetection, AnythingElseIsUnknownNeverBinary) {
    for (const std::string& head : {
             std::string(),                  // empty file
             std::string("\n\n  \n"),        // blank lines only
             std::string(":1001\n"),         // too short for a record
             std::string(":10010000ZZ46\n"), // not hex
             std::string(":100100002\n"),    // odd digit count
             std::string("Some text\n"),     // an 'S' without a record digit
             std::string("S1F0\n"),          // too short
             std::string("@\n"),             // no address
             std::string("@F00G\n"),         // not hex
             std::string("0123456789abcdef"),
             std::string("\x7F"
                         "EL",
                         3),         // cut magic
             std::string(2000, ':'), // a first line longer than the head
         }) {
        EXPECT_EQ(DetectFileFormatOf(head), FileFormat::Unknown) << head.substr(0, 20);
    }
    EXPECT_EQ(DetectFileFormat("/no/such/file"), FileFormat::Unknown);
}

TEST(FormatDetection, FormatNames) {
    EXPECT_EQ(FileFormatForName("HEX"), FileFormat::IntelHex);
    EXPECT_EQ(FileFormatForName("ihex"), FileFormat::IntelHex);
    EXPECT_EQ(FileFormatForName("txt"), FileFormat::TiTxt);
    EXPECT_EQ(FileFormatForName("bin"), FileFormat::Binary);
    EXPECT_EQ(FileFormatForName("elf"), FileFormat::Elf);
    EXPECT_EQ(FileFormatForName("srec"), FileFormat::SRecord);
    EXPECT_EQ(FileFormatForName("zip"), FileFormat::Unknown);
    EXPECT_EQ(FileFormatForName(""), FileFormat::Unknown);
}
