#include "image/ParseNumber.h"

#include <gtest/gtest.h>

#include <climits>

namespace pyrola {
namespace {

struct Case {
    const char* text;
    int radix;
    int width;
    bool ok;
    int32_t value;
};

TEST(ParseNumber, DigitsPrefixesSignsAndWidths) {
    const Case cases[] = {
        {"1F", 16, 2, true, 0x1F},
        {"1f", 16, 2, true, 0x1F},  // letters by their upper-case value
        {"123", 16, 2, true, 0x12}, // stops after width digits
        {"1", 16, 2, false, 0},     // fewer than width digits
        {"1G", 16, 2, false, 0},    // a non-digit inside the width
        {"", 16, 0, false, 0},
        {"G", 16, 0, false, 0},
        {"  \t-12", 10, 0, true, -12}, // white space and sign before digits
        {"+7", 10, 0, true, 7},
        {"0x1A", 16, 0, true, 0x1A}, // optional prefix for radix 16
        {"0X1a", 0, 0, true, 0x1A},  // radix 0: prefix selects 16
        {"012", 0, 0, true, 12},     // radix 0 without prefix is decimal, no octal
        {"19z", 10, 0, true, 19},    // stops at the first non-digit
        {"0x", 16, 0, false, 0},     // a prefix alone holds no digit
        {"zz", 36, 0, true, 35 * 36 + 35},
        {"12", 1, 0, false, 0}, // invalid radixes
        {"12", 37, 0, false, 0},
        {"12", -1, 0, false, 0},
        {"-0x10", 0, 0, true, -16},
        {"F000\r\n", 16, 0, true, 0xF000},
        {"\xC0"
         "1",
         16, 0, false, 0}, // 8-bit characters are no digits
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        const int32_t value = ParseNumber(c.text, c.radix, c.width, &ok);
        EXPECT_EQ(ok, c.ok) << '"' << c.text << "\" radix " << c.radix << " width " << c.width;
        EXPECT_EQ(value, c.value) << '"' << c.text << "\" radix " << c.radix << " width " << c.width;
    }
}

TEST(ParseNumber, OversizedMagnitudesSaturateInsteadOfWrapping) {
    bool ok = false;
    EXPECT_EQ(ParseNumber("7FFFFFFF", 16, 0, &ok), INT32_MAX);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ParseNumber("-80000000", 16, 0, &ok), INT32_MIN);
    EXPECT_TRUE(ok);
    // 0x100000000 would wrap to 0 and alias address 0.
    EXPECT_EQ(ParseNumber("100000000", 16, 0, &ok), INT32_MAX);
    EXPECT_EQ(ParseNumber("99999999999999999999", 10, 0, &ok), INT32_MAX);
    EXPECT_EQ(ParseNumber("-FFFFFFFFFFFF", 16, 0, &ok), INT32_MIN);
    EXPECT_TRUE(ok);
}

TEST(ParseNumber, NullTextAndNullFlagAreSafe) {
    bool ok = true;
    EXPECT_EQ(ParseNumber(nullptr, 16, 0, &ok), 0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ParseNumber("42", 10, 0, nullptr), 42);
}

} // namespace
} // namespace pyrola
