// Interoperability with srecord's srec_cat/srec_cmp: files they write read to the same
// bytes here, and files written here compare equal to their reading of the same data.

#include "image/ImageReader.h"
#include "image/ImageWriter.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace pyrola {
namespace {

using testfiles::ByteRun;
using testfiles::TempDir;

#ifdef _WIN32
constexpr const char* kQuiet = " >NUL 2>&1";
#else
constexpr const char* kQuiet = " >/dev/null 2>&1";
#endif

bool HaveSrecord() {
    static const bool have = std::system((std::string("srec_cat -version") + kQuiet).c_str()) == 0 &&
                             std::system((std::string("srec_cmp -version") + kQuiet).c_str()) == 0;
    return have;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// srec_cat inputs naming each run as a raw binary piece at its address.
std::string RunInputs(const TempDir& dir, const std::vector<ByteRun>& runs) {
    std::string args;
    for (size_t i = 0; i < runs.size(); ++i) {
        const std::string piece = dir.File("run" + std::to_string(i) + ".bin");
        testfiles::WriteFile(piece, std::string(runs[i].bytes.begin(), runs[i].bytes.end()));
        args += " \"" + piece + "\" -binary -offset " + Hex(runs[i].start);
    }
    return args;
}

int Shell(const std::string& command) {
    return std::system((command + kQuiet).c_str());
}

class SrecCat : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveSrecord())
            GTEST_SKIP() << "srec_cat/srec_cmp not on PATH";
    }
    TempDir dir;
};

TEST_F(SrecCat, ItsIntelHexAndTiTxtReadToTheSameBytes) {
    const struct {
        const char* srecFormat;
        FileFormat ours;
        uint32_t limit;
        int blockSize;
    } cases[] = {
        {"-intel", FileFormat::IntelHex, 0x10000, 8},   {"-intel", FileFormat::IntelHex, 0x10000, 16},
        {"-intel", FileFormat::IntelHex, 0x100000, 32}, {"-intel", FileFormat::IntelHex, 0x100000, 255},
        {"-ti-txt", FileFormat::TiTxt, 0x10000, 1},     {"-ti-txt", FileFormat::TiTxt, 0x10000, 16},
        {"-ti-txt", FileFormat::TiTxt, 0x100000, 32},   {"-ti-txt", FileFormat::TiTxt, 0x100000, 42},
    };
    std::mt19937 random(20261208);
    for (const auto& c : cases) {
        const std::vector<ByteRun> runs = testfiles::RandomRuns(random, c.limit, 7, 700);
        const std::string out = dir.File("theirs.out");
        ASSERT_EQ(Shell("srec_cat" + RunInputs(dir, runs) + " -o \"" + out + "\" " + c.srecFormat +
                        " -obs=" + std::to_string(c.blockSize)),
                  0);
        const MemoryImage expected = testfiles::ImageOf(runs);
        MemoryImage image = testfiles::ClearedImage();
        ImageFileContext context{&image, {}};
        EXPECT_EQ(ReadImageFile(context, out, c.ours), static_cast<int32_t>(expected.Size()))
            << c.srecFormat << " " << c.blockSize << ": " << context.errorText;
        EXPECT_TRUE(testfiles::SamePresentBytes(expected, image)) << c.srecFormat << " " << c.blockSize;
    }
}

TEST_F(SrecCat, ItsSRecordsOfEveryAddressLengthReadToTheSameBytes) {
    const struct {
        int addressLength; // 2: S19, 3: S28, 4: S37
        uint32_t limit;
        int recordLength;
        bool startAddress; // with it srec_cat ends the file in S9/S8/S7, else in S5
    } cases[] = {
        {2, 0x10000, 16, false},  {2, 0x10000, 250, true}, {3, 0x100000, 8, true},
        {3, 0x100000, 32, false}, {4, 0x100000, 64, true}, {4, 0x100000, 200, false},
    };
    std::mt19937 random(19283);
    for (const auto& c : cases) {
        const std::vector<ByteRun> runs = testfiles::RandomRuns(random, c.limit, 7, 700);
        const std::string out = dir.File("theirs.s" + std::to_string(c.addressLength * 9 + 1));
        ASSERT_EQ(Shell("srec_cat" + RunInputs(dir, runs) + " -o \"" + out + "\" -motorola -address-length=" +
                        std::to_string(c.addressLength) + " -obs=" + std::to_string(c.recordLength) +
                        (c.startAddress ? " -execution-start-address=0x1100" : "")),
                  0);
        const MemoryImage expected = testfiles::ImageOf(runs);
        MemoryImage image = testfiles::ClearedImage();
        ImageFileContext context{&image, {}};
        EXPECT_EQ(ReadImageFile(context, out, FileFormat::SRecord), static_cast<int32_t>(expected.Size()))
            << c.addressLength << " " << c.recordLength << ": " << context.errorText;
        EXPECT_FALSE(context.endRecordMissing) << c.addressLength << " " << c.recordLength;
        EXPECT_TRUE(testfiles::SamePresentBytes(expected, image)) << c.addressLength << " " << c.recordLength;
        if (c.limit > 0x10000) {
            EXPECT_GT(image.High(), 0xFFFFu);
        }

        // One changed digit in the third line is caught there.
        std::string text = testfiles::ReadFile(out);
        size_t third = text.find('\n', text.find('\n') + 1) + 1;
        text[third + 10] = text[third + 10] == '0' ? '1' : '0';
        testfiles::WriteFile(out, text);
        EXPECT_EQ(ReadImageFile(context, out, FileFormat::SRecord), 0);
        EXPECT_EQ(context.errorText, "Line 3. Bad checksum");
    }
}

TEST_F(SrecCat, OurFilesReadBackThroughSrecCmpToTheSameBytes) {
    std::mt19937 random(77);
    for (int round = 0; round < 4; ++round) {
        const uint32_t limit = round < 2 ? 0x10000 : 0x100000;
        const std::vector<ByteRun> runs = testfiles::RandomRuns(random, limit, 8, 900);
        const std::string reference = dir.File("reference.srec");
        ASSERT_EQ(Shell("srec_cat" + RunInputs(dir, runs) + " -o \"" + reference + "\""), 0);
        MemoryImage image = testfiles::ImageOf(runs);
        ImageFileContext context{&image, {}};
        const struct {
            FileFormat format;
            const char* srecFormat;
        } outputs[] = {{FileFormat::IntelHex, "-intel"}, {FileFormat::TiTxt, "-ti-txt"}};
        for (const auto& o : outputs) {
            const std::string ours = dir.File("ours.out");
            ASSERT_EQ(WriteImageFile(context, ours, o.format), 1);
            EXPECT_EQ(Shell("srec_cmp \"" + ours + "\" " + o.srecFormat + " \"" + reference + "\""), 0)
                << FileFormatName(o.format) << " round " << round;
        }
        // Binary: srec_cat sees every address from 0 to high, holes as the gap byte.
        const std::string ours = dir.File("ours.bin");
        ASSERT_EQ(WriteImageFile(context, ours, FileFormat::Binary), 1);
        const std::string filled = dir.File("filled.srec");
        ASSERT_EQ(Shell("srec_cat \"" + reference + "\" -fill 0xFF 0 " + Hex(image.High() + 1) + " -o \"" +
                        filled + "\""),
                  0);
        EXPECT_EQ(Shell("srec_cmp \"" + ours + "\" -binary \"" + filled + "\""), 0)
            << "binary round " << round;
    }
}

TEST_F(SrecCat, ADifferenceIsNoticed) {
    // Guards the comparison above: a changed byte must make srec_cmp fail.
    std::mt19937 random(5);
    const std::vector<ByteRun> runs = testfiles::RandomRuns(random, 0x10000, 3, 100);
    const std::string reference = dir.File("reference.srec");
    ASSERT_EQ(Shell("srec_cat" + RunInputs(dir, runs) + " -o \"" + reference + "\""), 0);
    MemoryImage image = testfiles::ImageOf(runs);
    image.StoreByte(runs[1].start, static_cast<uint8_t>(runs[1].bytes[0] ^ 1));
    ImageFileContext context{&image, {}};
    ASSERT_EQ(WriteImageFile(context, dir.File("ours.hex"), FileFormat::IntelHex), 1);
    EXPECT_NE(Shell("srec_cmp \"" + dir.File("ours.hex") + "\" -intel \"" + reference + "\""), 0);
}

} // namespace
} // namespace pyrola
