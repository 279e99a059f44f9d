// Serial texts split into prefix, counter and suffix; stepping; the bytes in flash and
// their display.
#include "serialno/SerialFormat.h"
#include "serialno/SerialBytes.h"

#include <gtest/gtest.h>

using namespace pyrola;

namespace {

struct Parsed {
    explicit Parsed(uint32_t type, const std::string& text) {
        config.type = type;
        ok = format.ParseSerial(text, true);
    }
    SerialConfig config;
    SerialFormat format{config};
    bool ok = false;
};

std::vector<uint8_t> Composed(const SerialFormat& format) {
    SerialBlock block;
    ComposeSerialBytes(format, block);
    EXPECT_EQ(block.valid, 1);
    EXPECT_EQ(block.address, format.Config().address);
    EXPECT_EQ(block.bytes.size(), SerialSize(format));
    return block.bytes;
}

SerialBlock Block(std::vector<uint8_t> bytes, uint8_t valid = 1) {
    SerialBlock block;
    block.bytes = std::move(bytes);
    block.valid = valid;
    return block;
}

} // namespace

TEST(SerialFormat, DefaultSerialSplitsAndStepsWithItsWidth) {
    Parsed p(kSerialCharPointer, kDefaultSerialText);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.format.Prefix(), "TEST");
    EXPECT_EQ(p.format.DigitCount(), 5u);
    EXPECT_EQ(p.format.Number(), 1u);
    EXPECT_EQ(p.format.Suffix(), "M2");
    p.format.StepUp();
    EXPECT_EQ(p.config.serial, "TEST00002M2");
    // The counter widens past its digits instead of being cut.
    p.format.SetNumber(99999);
    p.format.StepUp();
    EXPECT_EQ(p.config.serial, "TEST100000M2");
    EXPECT_EQ(SerialSize(p.format), 13u);
}

TEST(SerialFormat, TextWithPrefixAndZerosIsAZeroTerminatedCharPointer) {
    Parsed p(kSerialCharPointer, "SN-0042");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.format.Prefix(), "SN-");
    EXPECT_EQ(p.format.DigitCount(), 4u);
    EXPECT_EQ(p.format.Number(), 42u);
    EXPECT_EQ(SerialSize(p.format), 8u);
    EXPECT_EQ(Composed(p.format), (std::vector<uint8_t>{'S', 'N', '-', '0', '0', '4', '2', 0}));
    p.format.StepDown();
    EXPECT_EQ(p.config.serial, "SN-0041");
}

TEST(SerialFormat, OnlyTheFirstDigitRunCounts) {
    Parsed p(kSerialCharArray, "12AB34");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.format.Prefix(), "");
    EXPECT_EQ(p.format.DigitCount(), 2u);
    EXPECT_EQ(p.format.Number(), 12u);
    EXPECT_EQ(p.format.Suffix(), "AB34");
    EXPECT_EQ(Composed(p.format), (std::vector<uint8_t>{'1', '2', 'A', 'B', '3', '4'})); // no zero byte
    p.format.StepUp();
    EXPECT_EQ(p.config.serial, "13AB34");
}

TEST(SerialFormat, TextWithoutDigitFailsAndKeepsNumberAndText) {
    Parsed p(kSerialCharArray, "SN-0042");
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.format.ParseSerial("ABC", false));
    EXPECT_EQ(p.format.Prefix(), "SN-"); // a check changes nothing
    EXPECT_FALSE(p.format.ParseSerial("ABC", true));
    EXPECT_EQ(p.config.serial, "SN-0042");
    EXPECT_EQ(p.format.Number(), 42u);
    // ... but the split was reset, so the next render is the bare number.
    EXPECT_EQ(p.format.Prefix(), "");
    EXPECT_EQ(p.format.DigitCount(), 0u);
    p.format.StepUp();
    EXPECT_EQ(p.config.serial, "43");
}

TEST(SerialFormat, NumericTypesReadTheWholeTextAsANumber) {
    Parsed p(kSerialWord, "0x1F");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.format.Number(), 31u);
    EXPECT_EQ(p.config.serial, "31");
    EXPECT_EQ(SerialSize(p.format), 2u);
    EXPECT_EQ(Composed(p.format), (std::vector<uint8_t>{0x1F, 0x00}));
    // Blanks and a sign are accepted; text after the number is not a number.
    Parsed blanks(kSerialDword, "  +7");
    EXPECT_TRUE(blanks.ok);
    EXPECT_EQ(blanks.format.Number(), 7u);
    Parsed letters(kSerialByte, "x12");
    EXPECT_FALSE(letters.ok);
    Parsed dword(kSerialDword, "305419896");
    EXPECT_EQ(Composed(dword.format), (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
    // A value wider than the type is taken; only its low bits reach the device.
    Parsed wide(kSerialByte, "300");
    ASSERT_TRUE(wide.ok);
    EXPECT_EQ(Composed(wide.format), (std::vector<uint8_t>{0x2C}));
}

TEST(SerialFormat, ByteAndWordWrapToZeroOtherTypesAt32Bits) {
    Parsed byte(kSerialByte, "255");
    byte.format.StepUp();
    EXPECT_EQ(byte.format.Number(), 0u);
    EXPECT_EQ(byte.config.serial, "0");
    Parsed word(kSerialWord, "65535");
    word.format.StepUp();
    EXPECT_EQ(word.format.Number(), 0u);
    Parsed dword(kSerialDword, "65535");
    dword.format.StepUp();
    EXPECT_EQ(dword.format.Number(), 65536u);
    dword.format.SetNumber(0xFFFFFFFF);
    dword.format.StepUp();
    EXPECT_EQ(dword.format.Number(), 0u);
    // Stepping down stops at 0.
    Parsed zero(kSerialCharPointer, "N0");
    zero.format.StepDown();
    EXPECT_EQ(zero.format.Number(), 0u);
    EXPECT_EQ(zero.config.serial, "N0");
}

TEST(SerialFormat, AffixLimits) {
    // A suffix is cut to 127 characters.
    Parsed cut(kSerialCharPointer, "A1" + std::string(200, 'z'));
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ(cut.format.Suffix().size(), kMaxSerialAffixLength);
    EXPECT_EQ(cut.config.serial, "A1" + std::string(127, 'z'));
    // A prefix that long has no room: refused rather than changed.
    Parsed longPrefix(kSerialCharPointer, std::string(128, 'p') + "1");
    EXPECT_FALSE(longPrefix.ok);
    Parsed fits(kSerialCharPointer, std::string(127, 'p') + "1");
    EXPECT_TRUE(fits.ok);
    // Beyond 255 characters the text is not read.
    Parsed tooLong(kSerialCharPointer, std::string(255, 'p') + "1");
    EXPECT_FALSE(tooLong.ok);
}

TEST(SerialFormat, UnknownTypeHasNoBytes) {
    Parsed p(7, "12");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(SerialSize(p.format), 0u);
    EXPECT_TRUE(Composed(p.format).empty());
    EXPECT_EQ(SerialTypeName(7), nullptr);
    EXPECT_STREQ(SerialTypeName(kSerialCharArray), "char[]");
}

TEST(SerialDecode, NumbersInDecimalTextsWhenTheyHoldASerial) {
    // Decimal, as the file and the log write the number.
    EXPECT_EQ(DecodeSerial(Block({0x78, 0x56, 0x34, 0x12}), kSerialDword), "305419896");
    EXPECT_EQ(DecodeSerial(Block({0x12, 0x00}), kSerialWord), "18");
    EXPECT_EQ(DecodeSerial(Block({0xAB, 0xCD}), kSerialByte), "171");
    EXPECT_EQ(DecodeSerial(Block({'S', 'N', '7', 0, 'x'}), kSerialCharPointer), "SN7");
    EXPECT_EQ(DecodeSerial(Block({'S', 'N', '7'}), kSerialCharArray), "SN7");
    // A shorter text in a longer place: the erased bytes after it are no part of it.
    EXPECT_EQ(DecodeSerial(Block({'S', 'N', '7', 0xFF, 0xFF}), kSerialCharArray), "SN7");
    // An erased place holds no number, whatever its type.
    EXPECT_EQ(DecodeSerial(Block({0xFF, 0xFF}), kSerialWord), "???");
    EXPECT_TRUE(SerialAreaErased(Block({0xFF, 0xFF})));
    EXPECT_FALSE(SerialAreaErased(Block({0xFF, 0xFE})));
    // Erased flash, a text without a digit, a block not read, too few bytes, unknown type.
    EXPECT_EQ(DecodeSerial(Block({0xFF, 0xFF, 0xFF}), kSerialCharPointer), "???");
    EXPECT_EQ(DecodeSerial(Block({'A', 'B', 0}), kSerialCharPointer), "???");
    EXPECT_EQ(DecodeSerial(Block({0x78, 0x56, 0x34, 0x12}, 0), kSerialDword), "???");
    EXPECT_EQ(DecodeSerial(Block({0x78, 0x56}), kSerialDword), "???");
    EXPECT_EQ(DecodeSerial(Block({1, 2, 3, 4}), 5), "???");
    // The longest "char *" serial: 255 characters and the zero byte.
    std::vector<uint8_t> longest(256, '9');
    longest.back() = 0;
    EXPECT_EQ(DecodeSerial(Block(longest), kSerialCharPointer), std::string(255, '9'));
}
