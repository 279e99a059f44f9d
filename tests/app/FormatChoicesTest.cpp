// The File Format dialog's choices.
#include "app/FormatChoices.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace pyrola {
namespace {

TEST(FormatChoices, TheThreeComeFirstThenEveryOtherFormatOnce) {
    const std::vector<FileFormat>& choices = FormatDialogChoices();
    ASSERT_GE(choices.size(), 3u);
    EXPECT_EQ(choices[0], FileFormat::TiTxt);
    EXPECT_EQ(choices[1], FileFormat::IntelHex);
    EXPECT_EQ(choices[2], FileFormat::Binary);
    EXPECT_EQ(choices.size(), std::size(kFileFormats));
    for (FileFormat format : kFileFormats)
        EXPECT_EQ(std::count(choices.begin(), choices.end(), format), 1) << static_cast<int>(format);
    EXPECT_EQ(std::count(choices.begin(), choices.end(), FileFormat::Unknown), 0);
    EXPECT_NE(std::find(choices.begin(), choices.end(), kFallbackFileFormat), choices.end());
}

} // namespace
} // namespace pyrola
