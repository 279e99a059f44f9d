#include "image/FileFlow.h"
#include "image/FilePath.h"

#include "TestFiles.h"
#include "tests/support/ElfBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pyrola {
namespace {

using testfiles::ClearedImage;
using testfiles::ReadFile;
using testfiles::TempDir;
using testfiles::WriteFile;

// Records what the flow asks of the window, in order.
class RecordingHost : public FileFlowHost {
public:
    void Log(const std::string& text) override { events.push_back("log:" + text); }
    void LogReason(const std::string& text) override { events.push_back("reason:" + text); }
    FileFlowOptions FileOptions() const override { return options; }
    void SetFailureMark(bool failed) override { events.push_back(failed ? "mark:on" : "mark:off"); }
    FileFormat AskFormat(FileFormat preselected, uint32_t* binaryBase) override {
        asked.push_back(preselected);
        shownBase = binaryBase ? std::optional<uint32_t>(*binaryBase) : std::nullopt;
        if (binaryBase)
            *binaryBase = answerBase;
        return answer;
    }
    void AddRecentFile(const std::string& path) override { recent.push_back(path); }
    void Refreshed(uint32_t scrollAddress) override {
        ++refreshes;
        lastScroll = scrollAddress;
    }

    std::vector<std::string> events;
    std::vector<FileFormat> asked;
    std::vector<std::string> recent;
    FileFlowOptions options;
    FileFormat answer = FileFormat::Binary;
    uint32_t answerBase = 0;
    std::optional<uint32_t> shownBase; // what the last question showed; nullopt: none (a save)
    int refreshes = 0;
    uint32_t lastScroll = 0;
};

const std::string kHex16 = ":10010000214601360121470136007EFE09D2190140\r\n:00000001FF\r\n";

class FileFlowTest : public ::testing::Test {
protected:
    TempDir dir;
    MemoryImage image = ClearedImage();
    RecordingHost host;
    FileFlow flow{image, host};
};

TEST_F(FileFlowTest, KnownExtensionLoadsWithoutAsking) {
    const std::string path = dir.File("prog.a43");
    WriteFile(path, kHex16);
    EXPECT_TRUE(flow.LoadFile(path));
    EXPECT_TRUE(host.asked.empty());
    EXPECT_EQ(host.events, (std::vector<std::string>{"log:Loading Intel HEX file \"prog.a43\"..", "mark:off",
                                                     "log:Load 16 bytes at 0x0100-0x010F"}));
    EXPECT_EQ(host.recent, std::vector<std::string>{path});
    EXPECT_EQ(flow.CurrentFile(), path);
    EXPECT_EQ(flow.WindowTitle(), "PYROLA - [prog.a43]");
    EXPECT_EQ(host.refreshes, 1);
    EXPECT_EQ(host.lastScroll, 0x0100u);
    EXPECT_EQ(image.CellAt(0x0100), 0x21);
}

TEST_F(FileFlowTest, UnknownExtensionAsksWithNothingPreselected) {
    const std::string path = dir.File("image.fw");
    WriteFile(path, "@1000\r\n01 02 03\r\nq\r\n");
    host.answer = FileFormat::TiTxt;
    EXPECT_TRUE(flow.LoadFile(path));
    EXPECT_EQ(host.asked, std::vector<FileFormat>{FileFormat::Unknown});
    EXPECT_EQ(host.events.front(), "log:Loading TI TXT file \"image.fw\"..");
    EXPECT_EQ(image.CellAt(0x1002), 0x03);
}

TEST_F(FileFlowTest, TheToolchainsExtensionsNeedNoQuestion) {
    // ".srec" used to be unknown (asked, "Binary" preselected); it is S-record now.
    const std::string path = dir.File("image.srec");
    WriteFile(path, "S1061000010203E3\r\nS9030000FC\r\n");
    EXPECT_TRUE(flow.LoadFile(path));
    EXPECT_TRUE(host.asked.empty());
    EXPECT_EQ(host.events.front(), "log:Loading Motorola S-record file \"image.srec\"..");
    EXPECT_EQ(image.CellAt(0x1002), 0x03);
    // The dialog may answer a format that is only read; loading takes it.
    host.options.autoDetect = false;
    host.answer = FileFormat::SRecord;
    EXPECT_TRUE(flow.LoadFile(path));
    EXPECT_EQ(host.asked, std::vector<FileFormat>{FileFormat::SRecord});
}

TEST_F(FileFlowTest, AnElfFileLoadsAsElfWithoutAQuestionWhateverItsName) {
    host.options.autoDetect = false; // would ask for any other file
    const std::string path = dir.File("image.bin");
    WriteFile(path, test::BuildElf({{0x1100, {1, 2, 3}}, {0xFFFE, {0x00, 0x11}}}));
    EXPECT_TRUE(flow.LoadFile(path));
    EXPECT_TRUE(host.asked.empty());
    // The count is of the bytes, the span says where they lie.
    EXPECT_EQ(host.events,
              (std::vector<std::string>{
                  "log:Loading ELF file \"image.bin\"..",
                  "log:Took 2 ELF segments, 5 bytes: segment 0x1100-0x1102, segment 0xFFFE-0xFFFF",
                  "mark:off", "log:Load 5 bytes at 0x1100-0xFFFF"}));
    EXPECT_EQ(image.CellAt(0x1102), 3);
}

TEST_F(FileFlowTest, SavingUnderAReadOnlyFormatsNameAsksForAWritableOne) {
    image.StoreByte(0x1000, 1);
    image.StoreByte(0x1001, 2);
    host.answer = FileFormat::IntelHex;
    EXPECT_TRUE(flow.SaveFile(dir.File("out.s19")));
    EXPECT_EQ(host.asked, std::vector<FileFormat>{FileFormat::Unknown});
    EXPECT_EQ(flow.CurrentFile(), dir.File("out.hex"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.s19")));
    // An answer that has no writer fails the save and writes nothing.
    host.answer = FileFormat::Elf;
    host.events.clear();
    EXPECT_FALSE(flow.SaveFile(dir.File("out.elf")));
    EXPECT_EQ(host.events, (std::vector<std::string>{"log:Saving ELF file \"out.elf\"..", "mark:on",
                                                     "log:Save failed. ELF files cannot be written"}));
    EXPECT_EQ(flow.CurrentFile(), "");
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.elf")));
}

TEST_F(FileFlowTest, AutodetectOffAlwaysAsksPreselectingTheExtensionsFormat) {
    host.options.autoDetect = false;
    const std::string path = dir.File("prog.HEX");
    WriteFile(path, kHex16);
    host.answer = FileFormat::Binary;
    EXPECT_TRUE(flow.LoadFile(path));
    EXPECT_EQ(host.asked, std::vector<FileFormat>{FileFormat::IntelHex});
    ASSERT_EQ(kHex16.size(), 58u); // the file's characters, as raw bytes from 0
    EXPECT_EQ(host.events.back(), "log:Load 58 bytes at 0x0000-0x0039");
    EXPECT_EQ(image.CellAt(0), ':');
}

TEST_F(FileFlowTest, FailedLoadMarksFailureAndForgetsTheFile) {
    const std::string good = dir.File("good.txt");
    WriteFile(good, "@1000\r\n01 02 03\r\nq\r\n");
    ASSERT_TRUE(flow.LoadFile(good));
    const std::string bad = dir.File("bad.hex");
    WriteFile(bad, ":10010000314601360121470136007EFE09D2190140\r\n");
    host.events.clear();
    EXPECT_FALSE(flow.LoadFile(bad));
    EXPECT_EQ(host.events, (std::vector<std::string>{"log:Loading Intel HEX file \"bad.hex\"..", "mark:on",
                                                     "log:Load failed. Line 1. Bad checksum"}));
    EXPECT_EQ(flow.CurrentFile(), "");
    EXPECT_EQ(flow.WindowTitle(), "PYROLA - []");
    EXPECT_EQ(host.recent, std::vector<std::string>{good});
    EXPECT_EQ(host.refreshes, 2);
}

TEST_F(FileFlowTest, AFileWithoutItsEndRecordLoadsWithAWarning) {
    const std::string cut = dir.File("cut.hex");
    WriteFile(cut, kHex16.substr(0, kHex16.find(":00000001FF")));
    EXPECT_TRUE(flow.LoadFile(cut));
    EXPECT_TRUE(flow.LastLoadUnterminated());
    EXPECT_EQ(host.events,
              (std::vector<std::string>{"log:Loading Intel HEX file \"cut.hex\"..", "mark:off",
                                        "log:Load 16 bytes at 0x0100-0x010F",
                                        "log:Warning: no end record; the file may be cut short"}));
    EXPECT_EQ(flow.CurrentFile(), cut);

    const std::string titxt = dir.File("cut.txt");
    WriteFile(titxt, "@1000\r\n01 02 03\r\n");
    EXPECT_TRUE(flow.LoadFile(titxt));
    EXPECT_TRUE(flow.LastLoadUnterminated());
    EXPECT_EQ(host.events.back(), "log:Warning: no end record; the file may be cut short");

    // A whole file, a binary file (it has no end record) and a failed load clear the mark.
    const std::string whole = dir.File("whole.hex");
    WriteFile(whole, kHex16);
    EXPECT_TRUE(flow.LoadFile(whole));
    EXPECT_FALSE(flow.LastLoadUnterminated());
    EXPECT_EQ(host.events.back(), "log:Load 16 bytes at 0x0100-0x010F");
    ASSERT_TRUE(flow.LoadFile(titxt));
    const std::string binary = dir.File("data.bin");
    WriteFile(binary, "0123456789");
    EXPECT_TRUE(flow.LoadFile(binary));
    EXPECT_FALSE(flow.LastLoadUnterminated());
    EXPECT_EQ(host.events.back(), "log:Load 10 bytes at 0x0000-0x0009");
    ASSERT_TRUE(flow.LoadFile(titxt));
    WriteFile(dir.File("bad.txt"), "@1000\r\n01 0\r\n");
    EXPECT_FALSE(flow.LoadFile(dir.File("bad.txt")));
    EXPECT_FALSE(flow.LastLoadUnterminated());
    EXPECT_EQ(host.events.back(), "log:Load failed. Line 2. Invalid format");
}

TEST_F(FileFlowTest, OneBytePatchesOverlapsAndABinaryBaseAreLoadedAndSaid) {
    // One byte is an image: loaded, and programmable.
    const std::string patch = dir.File("patch.hex");
    WriteFile(patch, ":01100000AA45\r\n:00000001FF\r\n");
    EXPECT_TRUE(flow.LoadFile(patch));
    EXPECT_EQ(host.events.back(), "log:Load 1 bytes at 0x1000-0x1000");
    EXPECT_EQ(flow.CurrentFile(), patch);

    // Two records for 0x1001: the later value stays, and the log says so.
    const std::string twice = dir.File("twice.hex");
    WriteFile(twice, ":02100000AABB89\r\n:01100100CC22\r\n:00000001FF\r\n");
    host.events.clear();
    EXPECT_TRUE(flow.LoadFile(twice));
    EXPECT_EQ(
        host.events,
        (std::vector<std::string>{
            "log:Loading Intel HEX file \"twice.hex\"..", "mark:off", "log:Load 2 bytes at 0x1000-0x1001",
            "log:Warning: 1 bytes given twice, first at 0x1001 (0xBB, then 0xCC: the later "
            "value kept)"}));
    EXPECT_EQ(flow.LastLoadOverlap().first, 0x1001u);
    EXPECT_EQ(image.CellAt(0x1001), 0xCC);
    ASSERT_TRUE(flow.LoadFile(patch));
    EXPECT_EQ(flow.LastLoadOverlap().count, 0u);

    // objcopy -O binary starts at the lowest address: the base puts it back there.
    const std::string binary = dir.File("app.bin");
    WriteFile(binary, "0123");
    flow.SetBinaryBase(0xF000);
    EXPECT_TRUE(flow.LoadFile(binary));
    EXPECT_EQ(host.events.back(), "log:Load 4 bytes at 0xF000-0xF003");
    EXPECT_EQ(image.CellAt(0xF003), '3');
}

TEST_F(FileFlowTest, TheFormatQuestionOfALoadShowsAndSetsTheBinaryBase) {
    const std::string path = dir.File("app.fw");
    WriteFile(path, "0123");
    host.answer = FileFormat::Binary;
    host.answerBase = 0x1100;
    EXPECT_TRUE(flow.LoadFile(path));
    EXPECT_EQ(host.shownBase, 0u);
    EXPECT_EQ(host.events.back(), "log:Load 4 bytes at 0x1100-0x1103");
    // The answer stays for the next load (a reload places the file the same way) and is
    // shown again.
    EXPECT_EQ(flow.BinaryBase(), 0x1100u);
    host.answerBase = 0x1100;
    EXPECT_TRUE(flow.LoadFile(path));
    EXPECT_EQ(host.shownBase, 0x1100u);
    // A save asks without a base: a binary file is written from 0.
    EXPECT_TRUE(flow.SaveFile(dir.File("out.fw")));
    EXPECT_EQ(host.shownBase, std::nullopt);
    EXPECT_EQ(std::filesystem::file_size(dir.File("out.bin")), 0x1104u);
}

TEST_F(FileFlowTest, FileThatCannotBeOpenedKeepsThePreviousImage) {
    image.StoreByte(0x3000, 0x12);
    image.StoreByte(0x3001, 0x34);
    EXPECT_FALSE(flow.LoadFile(dir.File("missing.bin")));
    // The failure, then the path tried and the system's reason.
    ASSERT_GE(host.events.size(), 2u);
    EXPECT_EQ(host.events[host.events.size() - 2], "log:Load failed. Can't open");
    EXPECT_EQ(host.events.back(), "reason:" + std::filesystem::absolute(dir.File("missing.bin")).string() +
                                      ": No such file or directory");
    EXPECT_EQ(image.CellAt(0x3001), 0x34);
    EXPECT_EQ(host.lastScroll, 0x3000u);
}

TEST_F(FileFlowTest, SavingANameWithoutExtensionAsksAndAddsTheChosenOne) {
    image.StoreByte(0xF000, 0x31);
    image.StoreByte(0xF001, 0x40);
    const std::string path = dir.File("firmware");
    host.answer = FileFormat::TiTxt;
    EXPECT_TRUE(flow.SaveFile(path));
    EXPECT_EQ(host.asked, std::vector<FileFormat>{FileFormat::Unknown});
    EXPECT_EQ(flow.CurrentFile(), path + ".txt");
    EXPECT_EQ(ReadFile(path + ".txt"), "@F000\r\n31 40\r\nq\r\n");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(host.events, (std::vector<std::string>{"log:Saving TI TXT file \"firmware.txt\"..", "mark:off",
                                                     "log:Save complete."}));
    EXPECT_EQ(host.recent, std::vector<std::string>{path + ".txt"});
    EXPECT_EQ(flow.WindowTitle(), "PYROLA - [firmware.txt]");
}

TEST_F(FileFlowTest, AutodetectOffReplacesTheExtensionWithTheChosenFormats) {
    host.options.autoDetect = false;
    image.StoreByte(0x1000, 1);
    image.StoreByte(0x1001, 2);
    host.answer = FileFormat::IntelHex;
    EXPECT_TRUE(flow.SaveFile(dir.File("out.a43")));
    EXPECT_EQ(host.asked, std::vector<FileFormat>{FileFormat::IntelHex});
    EXPECT_EQ(flow.CurrentFile(), dir.File("out.hex"));
    EXPECT_EQ(ReadFile(dir.File("out.hex")), ":021000000102EB\r\n:00000001FF\r\n");
}

TEST_F(FileFlowTest, SaveRemovesGapBlocksFirstWhenSetUp) {
    for (uint32_t a = 0x2000; a < 0x2030; ++a)
        image.StoreByte(a, 0xFF);
    image.StoreByte(0x2030, 0x42);
    image.StoreByte(0x2031, 0x43);
    host.options.removeGap = false;
    ASSERT_TRUE(flow.SaveFile(dir.File("keep.txt")));
    EXPECT_EQ(host.events.front(), "log:Saving TI TXT file \"keep.txt\"..");
    EXPECT_TRUE(image.IsPresent(0x2000));
    host.options.removeGap = true;
    host.events.clear();
    ASSERT_TRUE(flow.SaveFile(dir.File("thin.txt")));
    EXPECT_EQ(host.events.front(), "log:Remove 48 gap bytes");
    EXPECT_EQ(host.events[1], "log:Saving TI TXT file \"thin.txt\"..");
    EXPECT_EQ(ReadFile(dir.File("thin.txt")), "@2030\r\n42 43\r\nq\r\n");
    EXPECT_FALSE(image.IsPresent(0x2000)); // the image itself was thinned
    EXPECT_EQ(image.Low(), 0x2000u);
}

TEST_F(FileFlowTest, FailedSaveMarksFailureAndForgetsTheFile) {
    image.StoreByte(0x1000, 1);
    image.StoreByte(0x1001, 2);
    EXPECT_FALSE(flow.SaveFile(dir.File("missing-folder/out.bin")));
    ASSERT_GE(host.events.size(), 3u);
    EXPECT_EQ(host.events.back(),
              "reason:" + std::filesystem::absolute(dir.File("missing-folder/out.bin")).string() +
                  ": No such file or directory");
    EXPECT_EQ(host.events[host.events.size() - 2], "log:Save failed. Can't open");
    EXPECT_EQ(host.events[host.events.size() - 3], "mark:on");
    EXPECT_EQ(flow.CurrentFile(), "");
    EXPECT_TRUE(host.recent.empty());
}

TEST_F(FileFlowTest, OverlongPathsAreRefusedNotCut) {
    // Cutting the name to fit would open a different file.
    const std::string prefix = dir.File("");
    const std::string longPath = prefix + std::string(261 - prefix.size() - 4, 'n') + ".bin";
    ASSERT_EQ(longPath.size(), 261u);
    EXPECT_FALSE(flow.LoadFile(longPath));
    EXPECT_EQ(host.events,
              (std::vector<std::string>{"mark:on", "log:Load failed. Path longer than 260 characters"}));
    EXPECT_FALSE(image.IsPresent(0));
    EXPECT_EQ(flow.CurrentFile(), "");
    // Saving: the name grows past the limit only when the chosen extension is added.
    image.StoreByte(0, 1);
    image.StoreByte(1, 2);
    const std::string almost = prefix + std::string(258 - prefix.size(), 's');
    ASSERT_EQ(almost.size(), 258u);
    host.answer = FileFormat::Binary;
    host.events.clear();
    EXPECT_FALSE(flow.SaveFile(almost));
    EXPECT_EQ(host.events.back(), "log:Save failed. Path longer than 260 characters");
    EXPECT_FALSE(std::filesystem::exists(almost + ".bin"));
    EXPECT_FALSE(flow.SetCurrentFile(longPath));
    EXPECT_TRUE(flow.SetCurrentFile(longPath.substr(0, 260)));
    EXPECT_EQ(flow.CurrentFile(), longPath.substr(0, 260));
}

TEST(FilePath, ExtensionsAndNamesWithEitherSeparator) {
    const struct {
        const char* path;
        const char* extension;
        const char* name;
    } cases[] = {
        {"C:\\work\\prog.a43", "a43", "prog.a43"},
        {"/work/prog.a43", "a43", "prog.a43"},
        {"C:\\dir.v2\\firmware", "", "firmware"}, // the only "." is in a folder name
        {"/home/dir.v2/firmware", "", "firmware"},
        {".hex", "", ".hex"}, // a leading "." is not taken
        {"a.b.HEX", "HEX", "a.b.HEX"},
        {"name.", "", "name."},
        {"dir\\.profile", "profile", ".profile"}, // only the path's first character is excluded
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtensionOf(c.path), c.extension) << c.path;
        EXPECT_EQ(FileNamePart(c.path), c.name) << c.path;
    }
    EXPECT_EQ(WithExtension("C:\\out\\fw.a43", "hex"), "C:\\out\\fw.hex");
    EXPECT_EQ(WithExtension("/out.d/fw", "txt"), "/out.d/fw.txt");
    EXPECT_EQ(WithExtension("fw.", "bin"), "fw.bin");
}

TEST(FileFormatTable, ExtensionsMatchWithoutRegardToCase) {
    EXPECT_EQ(FileFormatForExtension("TXT"), FileFormat::TiTxt);
    EXPECT_EQ(FileFormatForExtension("a43"), FileFormat::IntelHex);
    EXPECT_EQ(FileFormatForExtension("dAt"), FileFormat::Binary);
    EXPECT_EQ(FileFormatForExtension("hexx"), FileFormat::Unknown);
    EXPECT_EQ(FileFormatForExtension(""), FileFormat::Unknown);
    EXPECT_STREQ(FileFormatName(FileFormat::Unknown), "Binary"); // the dialog's fallback
    for (const char* elf : {"elf", "OUT"})
        EXPECT_EQ(FileFormatForExtension(elf), FileFormat::Elf) << elf;
    for (const char* srec : {"s19", "S28", "s37", "srec", "MOT"})
        EXPECT_EQ(FileFormatForExtension(srec), FileFormat::SRecord) << srec;
    EXPECT_EQ(FileFormatForExtension("s"), FileFormat::Unknown);
    // The first three keep their values and texts; the read-only ones follow.
    EXPECT_EQ(static_cast<int>(FileFormat::Binary), 0);
    EXPECT_EQ(static_cast<int>(FileFormat::IntelHex), 1);
    EXPECT_EQ(static_cast<int>(FileFormat::TiTxt), 2);
    EXPECT_STREQ(FileFormatName(FileFormat::Elf), "ELF");
    EXPECT_STREQ(FileFormatName(FileFormat::SRecord), "Motorola S-record");
    EXPECT_FALSE(FileFormatWritable(FileFormat::Elf));
    EXPECT_FALSE(FileFormatWritable(FileFormat::SRecord));
    EXPECT_FALSE(FileFormatReadable(FileFormat::Unknown));
}

} // namespace
} // namespace pyrola
