#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace pyrola {
namespace {

namespace fs = std::filesystem;

class ProfileFileTest : public ::testing::Test {
protected:
    ProfileFileTest() {
        static int counter = 0;
        folder_ = fs::temp_directory_path() / ("pyrola-profile-" + std::to_string(++counter) + "-" +
                                               std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::create_directories(folder_);
        path_ = fs::absolute(folder_ / "serial.sprj").string();
    }
    ~ProfileFileTest() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string Contents() {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path folder_;
    std::string path_;
    ProfileFile& profile_ = SystemProfileFile();
};

TEST_F(ProfileFileTest, MissingFileSectionOrKeyGivesTheFallback) {
    EXPECT_EQ(profile_.ReadString(path_, "Options", "Address", "4096", 255), "4096");
    ASSERT_TRUE(profile_.WriteString(path_, "Options", "Type", "3"));
    EXPECT_EQ(profile_.ReadString(path_, "Options", "Address", "4096", 255), "4096");
    EXPECT_EQ(profile_.ReadString(path_, "Other", "Type", "x", 255), "x");
    EXPECT_EQ(profile_.ReadString(path_, "options", "TYPE", "x", 255), "3"); // names ignore case
}

TEST_F(ProfileFileTest, WritesTheSerializationLayoutAndReadsItBack) {
    ASSERT_TRUE(profile_.WriteString(path_, "Options", "Address", "4096"));
    ASSERT_TRUE(profile_.WriteString(path_, "Options", "Type", "0"));
    ASSERT_TRUE(profile_.WriteString(path_, "Options", "Serial", "TEST00001M2"));
    std::string text = Contents();
    for (const char* line : {"[Options]", "Address=4096", "Type=0", "Serial=TEST00001M2"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    // Rewriting a key changes it in place.
    ASSERT_TRUE(profile_.WriteString(path_, "Options", "Address", "0x1000"));
    EXPECT_EQ(profile_.ReadString(path_, "Options", "Address", "", 255), "0x1000");
    EXPECT_EQ(profile_.ReadString(path_, "Options", "Serial", "", 255), "TEST00001M2");
    EXPECT_EQ(profile_.ReadString(path_, "Options", "Serial", "", 4), "TEST");
}

TEST_F(ProfileFileTest, HandEditedFilesKeepTheirOtherLines) {
    {
        std::ofstream out(path_, std::ios::binary);
        out << "; made by hand\r\n[Other]\r\nkeep = me \r\n[Options]\r\nSerial = \"AB CD\"\r\nnot a key "
               "line\r\n";
    }
    EXPECT_EQ(profile_.ReadString(path_, "Options", "Serial", "", 255), "AB CD");
    EXPECT_EQ(profile_.ReadString(path_, "Other", "keep", "", 255), "me");
    ASSERT_TRUE(profile_.WriteString(path_, "Options", "Type", "2"));
    EXPECT_EQ(profile_.ReadString(path_, "Options", "Type", "", 255), "2");
    EXPECT_EQ(profile_.ReadString(path_, "Other", "keep", "", 255), "me");
    EXPECT_NE(Contents().find("; made by hand"), std::string::npos);
}

TEST(ProfileText, UpdatePlacesKeysInTheirSection) {
    std::optional<std::string> text = ProfileUpdate("[A]\nx=1\n\n[B]\ny=2\n", "A", "z", "3");
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "[A]\nx=1\nz=3\n\n[B]\ny=2\n");
    text = ProfileUpdate(*text, "C", "w", "4");
    ASSERT_TRUE(text);
    EXPECT_EQ(ProfileLookup(*text, "c", "W"), "4");
    EXPECT_EQ(ProfileLookup(*text, "B", "y"), "2");
    EXPECT_FALSE(ProfileUpdate("", "A", "k", "two\nlines").has_value());
    EXPECT_FALSE(ProfileLookup("[A]\nk=1\n", "B", "k").has_value());
}

} // namespace
} // namespace pyrola

namespace pyrola {
TEST(ProfileText, AChangedLineKeepsItsLineEnd) {
    EXPECT_EQ(ProfileUpdate("[Options]\r\nSerial=A1\r\nType=0\r\n", "Options", "Serial", "A2"),
              "[Options]\r\nSerial=A2\r\nType=0\r\n");
    EXPECT_EQ(ProfileUpdate("[Options]\nSerial=A1\n", "Options", "Serial", "A2"), "[Options]\nSerial=A2\n");
}
} // namespace pyrola
