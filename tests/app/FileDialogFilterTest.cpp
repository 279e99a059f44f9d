// The Open and Save dialogs' filter against the load flow's extension table.
#include "app/FileDialogFilter.h"
#include "image/FileFormat.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace pyrola {
namespace {

std::vector<std::string> Patterns(const std::string& joined) {
    std::vector<std::string> patterns;
    std::istringstream in(joined);
    for (std::string pattern; std::getline(in, pattern, ';');)
        patterns.push_back(pattern);
    return patterns;
}

TEST(FileDialogFilter, EachFormatsEntryListsExactlyTheExtensionsThatLoadAsIt) {
    const std::vector<FileDialogFilterEntry>& filter = FileDialogFilter();
    ASSERT_EQ(filter.size(), std::size(kFileFormats) + 2);
    EXPECT_EQ(filter[1].name, "Binary Files (.bin;.dat;.tsk)");
    EXPECT_EQ(filter[1].patterns, "*.bin;*.dat;*.tsk");
    EXPECT_EQ(filter[2].name, "TI TXT Files (.txt)");
    EXPECT_EQ(filter[3].name, "Intel HEX Files (.hex;.a43)");
    EXPECT_EQ(filter[3].patterns, "*.hex;*.a43");
    EXPECT_EQ(filter.back().name, "All Files (*.*)");
    EXPECT_EQ(filter.back().patterns, "*.*");

    std::set<FileFormat> covered;
    std::string allPatterns;
    for (size_t i = 1; i + 1 < filter.size(); ++i) {
        const std::vector<std::string> patterns = Patterns(filter[i].patterns);
        ASSERT_FALSE(patterns.empty()) << filter[i].name;
        const FileFormat format = FileFormatForExtension(patterns[0].substr(2));
        EXPECT_NE(format, FileFormat::Unknown) << filter[i].name;
        EXPECT_EQ(filter[i].name.rfind(std::string(FileFormatName(format)) + " Files (", 0), 0u)
            << filter[i].name;
        for (const std::string& pattern : patterns) {
            ASSERT_EQ(pattern.rfind("*.", 0), 0u) << pattern;
            EXPECT_EQ(FileFormatForExtension(pattern.substr(2)), format) << pattern;
            // Upper-case names match the same way.
            std::string upper = pattern.substr(2);
            for (char& c : upper)
                c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
            EXPECT_EQ(FileFormatForExtension(upper), format) << upper;
        }
        EXPECT_TRUE(covered.insert(format).second) << "two entries for " << filter[i].name;
        allPatterns += (allPatterns.empty() ? "" : ";") + filter[i].patterns;
    }
    EXPECT_EQ(covered.size(), std::size(kFileFormats));
    // The first entry is every extension above, in the same order.
    EXPECT_EQ(filter[0].patterns, allPatterns);
    EXPECT_EQ(filter[0].name.rfind("All Known Files (.bin;.dat;.tsk;.txt;.hex;.a43;", 0), 0u)
        << filter[0].name;
}

} // namespace
} // namespace pyrola
