#include "adapters/DeviceTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace pyrola;

namespace {

using IdBlock = std::array<uint8_t, 16>;

IdBlock Block(uint8_t b0, uint8_t b1, uint8_t b2 = 0x00, uint8_t b3 = 0x00, uint8_t b8 = 0x00,
              uint8_t b9 = 0x00, uint8_t b13 = 0x00) {
    IdBlock block{};
    block[0] = b0;
    block[1] = b1;
    block[2] = b2;
    block[3] = b3;
    block[8] = b8;
    block[9] = b9;
    block[13] = b13;
    return block;
}

uint32_t Lookup(const IdBlock& block, uint16_t fuses) {
    return LookupDevice(block.data(), fuses);
}

DeviceRecord PatternedRecord() {
    DeviceRecord record;
    std::memset(static_cast<void*>(&record), 0x5A, sizeof record);
    return record;
}

} // namespace

TEST(DeviceTableLookup, FuseSelectsTheF13xAndF14xVariants) {
    const IdBlock f1x = Block(0xF1, 0x49);
    EXPECT_EQ(Lookup(f1x, 0x00), 7u);
    EXPECT_STREQ(DeviceName(7), "MSP430F149");
    EXPECT_EQ(Lookup(f1x, 0x05), 3u);
    EXPECT_STREQ(DeviceName(3), "MSP430F133");
    EXPECT_EQ(Lookup(f1x, 0x04), 4u);
    EXPECT_EQ(Lookup(f1x, 0x02), 5u);
    EXPECT_EQ(Lookup(f1x, 0x01), 6u);
    // The mask 0x000F ignores every fuse bit above bit 3.
    EXPECT_EQ(Lookup(f1x, 0xFFF0), 7u);
    EXPECT_EQ(Lookup(f1x, 0x0035), 3u);
    // A fuse value no row carries: no match at all.
    EXPECT_EQ(Lookup(f1x, 0x0003), 0u);
}

TEST(DeviceTableLookup, UnreadableFusesMatchOnlyRowsWhoseValueCoversTheMask) {
    // 0xFFFF is what the bootstrap loader passes: it cannot read the fuses.
    EXPECT_EQ(Lookup(Block(0xF1, 0x49), 0xFFFF), 0u);
    EXPECT_EQ(Lookup(Block(0xF1, 0x6C), 0xFFFF), 41u);
    EXPECT_STREQ(DeviceName(41), "MSP430F169");
    // Rows without a fuse value are unaffected.
    EXPECT_EQ(Lookup(Block(0xF1, 0x23), 0xFFFF), 11u);
    EXPECT_EQ(Lookup(Block(0xF1, 0x23), 0x0000), 11u);
    EXPECT_EQ(Lookup(Block(0xF4, 0x39, 0, 0, 0, 0, 0x47), 0xFFFF), 42u);
}

TEST(DeviceTableLookup, ByteThirteenAndByteTwoSeparateTheFe42xRows) {
    EXPECT_EQ(Lookup(Block(0xF4, 0x27, 0x10, 0x00, 0x00, 0x00, 0x45), 0x01), 23u);
    EXPECT_STREQ(DeviceName(23), "MSP430FE425_N");
    EXPECT_EQ(Lookup(Block(0xF4, 0x27, 0x00, 0x00, 0x00, 0x00, 0x45), 0x02), 19u);
    EXPECT_EQ(Lookup(Block(0xF4, 0x27, 0x00, 0x00, 0x00, 0x00, 0x45), 0x00), 21u);
    // Byte 2 neither 0x00 nor 0x10: the generic FE42x rows.
    EXPECT_EQ(Lookup(Block(0xF4, 0x27, 0x20, 0x00, 0x00, 0x00, 0x45), 0x01), 26u);
    // The mask 0x001F keeps bit 4: 0x11 is no FE425.
    EXPECT_EQ(Lookup(Block(0xF4, 0x27, 0x20, 0x00, 0x00, 0x00, 0x45), 0x11), 0u);
    // Byte 13 = 0x57 is the FW42x row whatever the fuses.
    EXPECT_EQ(Lookup(Block(0xF4, 0x27, 0x10, 0x00, 0x00, 0x00, 0x57), 0x06), 31u);
    // Byte 13 matching nothing.
    EXPECT_EQ(Lookup(Block(0xF4, 0x27, 0x10, 0x00, 0x00, 0x00, 0x44), 0x01), 0u);
}

TEST(DeviceTableLookup, ScanOrderDecidesTies) {
    // Rows 28 and 30 carry the same patterns and fuse value: 30 is reachable only by index.
    EXPECT_EQ(Lookup(Block(0xF4, 0x27, 0x20, 0x00, 0x00, 0x00, 0x45), 0x06), 28u);
    EXPECT_STREQ(DeviceName(28), "MSP430F423");
    // Row 0 catches every block whose byte 0 is 0x00, so DEFAULT never results.
    IdBlock zeros{};
    EXPECT_EQ(Lookup(zeros, 0x0000), 0u);
    IdBlock leadingZero = Block(0x00, 0x49, 0x12, 0x34, 0x56, 0x78, 0x9A);
    EXPECT_EQ(Lookup(leadingZero, 0x1234), 0u);
    // Exact F11x1 variants win over the later rows with the same first bytes.
    EXPECT_EQ(Lookup(Block(0xF1, 0x12, 0x00, 0x43, 0x00, 0x08), 0), 1u);
    EXPECT_EQ(Lookup(Block(0xF1, 0x12, 0x10, 0x40, 0x00, 0x00), 0), 2u);
    EXPECT_EQ(Lookup(Block(0xF1, 0x12, 0x13, 0x40, 0x00, 0x00), 0), 10u);
    // A one-byte difference in byte 9 defeats row 1.
    EXPECT_EQ(Lookup(Block(0xF1, 0x12, 0x00, 0x43, 0x00, 0x09), 0), 0u);
    // Preliminary F16x comes before the F15x/F16x fuse rows.
    EXPECT_EQ(Lookup(Block(0xF1, 0x69, 0x00, 0x40), 0x06), 18u);
    EXPECT_EQ(Lookup(Block(0xF1, 0x69, 0x01, 0x40), 0x06), 32u);
    // F43x by id and F43x by fuse are two rows with one name.
    EXPECT_EQ(Lookup(Block(0xF4, 0x37), 0), 12u);
    EXPECT_EQ(Lookup(Block(0xF4, 0x49), 0x02), 13u);
    EXPECT_EQ(Lookup(Block(0xF4, 0x49), 0x00), 14u);
    EXPECT_STREQ(DeviceName(12), DeviceName(13));
}

TEST(DeviceTableLookup, BlocksMatchingNoRowGiveZero) {
    IdBlock ones;
    ones.fill(0xFF);
    EXPECT_EQ(Lookup(ones, 0xFFFF), 0u);
    EXPECT_EQ(Lookup(ones, 0x0000), 0u);
    EXPECT_EQ(LookupDevice(nullptr, 0), 0u);
}

TEST(DeviceTableLookup, EveryRowButTheShadowedOnesIsReachable) {
    // Build each row's block and fuse from the table itself through a search: every row
    // except 30 and 43 must be the first match for some block/fuse combination.
    std::set<uint32_t> found;
    const uint8_t byte0[] = {0x00, 0x11, 0x12, 0xF1, 0xF4};
    const uint8_t byte1[] = {0x03, 0x12, 0x13, 0x23, 0x27, 0x32, 0x37, 0x39, 0x49, 0x69, 0x6C};
    const uint8_t byte2[] = {0x00, 0x02, 0x10, 0x13, 0x20};
    const uint8_t byte3[] = {0x40, 0x43};
    const uint8_t byte9[] = {0x00, 0x08};
    const uint8_t byte13[] = {0x45, 0x47, 0x57};
    for (uint8_t a : byte0)
        for (uint8_t b : byte1)
            for (uint8_t c : byte2)
                for (uint8_t d : byte3)
                    for (uint8_t e : byte9)
                        for (uint8_t f : byte13)
                            for (uint16_t fuse = 0; fuse < 8; ++fuse)
                                found.insert(Lookup(Block(a, b, c, d, 0x00, e, f), fuse));
    for (uint32_t i = 0; i < kDeviceCount; ++i) {
        // Row 30 and the smaller members of a line share an earlier row's identification:
        // a lookup never gives them, the candidate set always holds them with that row.
        // The F447 row (54) is what fuses the F4 49 rows do not claim come to.
        const bool shadowed = i == 30 || i == 43 || (i > kDeviceDefaultRow && i != 54);
        EXPECT_EQ(found.count(i), shadowed ? 0u : 1u) << i;
        if (shadowed && i != 43) {
            const std::vector<uint32_t> siblings = DeviceSiblings(i);
            EXPECT_GE(siblings.size(), 2u) << i;
            EXPECT_LT(siblings.front(), i) << i;
            // The shared row's main memory lies inside every sibling's.
            for (uint32_t sibling : siblings)
                EXPECT_GE(DeviceBounds(DeviceSharedRow(siblings)).mainStart, DeviceBounds(sibling).mainStart)
                    << i;
        }
    }
}

TEST(DeviceTableIdentity, WithoutFusesTheIdentificationNamesASetOfParts) {
    const IdBlock f1x = Block(0xF1, 0x49);
    const std::vector<uint32_t> f14x = DeviceCandidates(f1x.data(), std::nullopt);
    EXPECT_EQ(f14x, (std::vector<uint32_t>{3, 4, 5, 6, 7}));
    EXPECT_EQ(DeviceListText(f14x), "MSP430F133, F135, F147, F148, F149");
    // The memory all five have is the F133's; a part of the set is found by its row or name.
    EXPECT_EQ(DeviceSharedRow(f14x), 3u);
    EXPECT_EQ(DeviceAmong(f14x, 7), 7u);
    EXPECT_EQ(DeviceAmong(f14x, 37), 0u); // an F169 is not one of them
    EXPECT_EQ(DeviceAmong(f14x, 0), 0u);
    // Read fuses narrow the set to the one part.
    EXPECT_EQ(DeviceCandidates(f1x.data(), 0x0000), std::vector<uint32_t>{7});

    const IdBlock f16c = Block(0xF1, 0x6C);
    const std::vector<uint32_t> f161x = DeviceCandidates(f16c.data(), std::nullopt);
    EXPECT_EQ(DeviceListText(f161x), "MSP430F1610, F1611, F1612, F169");
    EXPECT_EQ(DeviceBounds(DeviceSharedRow(f161x)).mainStart, 0x8000);
    EXPECT_EQ(DeviceAmong(f161x, 37), 41u); // the F169 named by its first row

    // A line's row answers to its part's name; its smaller members follow.
    const IdBlock fg43x = Block(0xF4, 0x39, 0, 0, 0, 0, 0x47);
    const std::vector<uint32_t> fg = DeviceCandidates(fg43x.data(), 0x0000);
    EXPECT_EQ(DeviceListText(fg), "MSP430FG439, FG437, FG438");
    EXPECT_EQ(DeviceBounds(DeviceSharedRow(fg)).mainStart, 0x8000);
    EXPECT_EQ(DeviceSiblings(42), fg);

    EXPECT_TRUE(DeviceCandidates(Block(0x00, 0x00).data(), std::nullopt).empty());
    EXPECT_TRUE(DeviceCandidates(Block(0xFF, 0xFF).data(), std::nullopt).empty());
    // Parts told apart only by an index: the F423 and F427 rows.
    EXPECT_EQ(DeviceSiblings(28), (std::vector<uint32_t>{28, 30}));
    EXPECT_EQ(DeviceSiblings(7), std::vector<uint32_t>{7});
}

TEST(DeviceTableIdentity, TheTestPinIsAFieldOfEveryRow) {
    // The prototype and preliminary rows of the small F1xx lines included.
    for (uint32_t row : {1u, 2u, 10u, 11u, 15u, 16u, 17u})
        EXPECT_TRUE(DeviceHasTestPin(row)) << DeviceName(row);
    for (uint32_t row : {0u, 7u, 8u, 18u, 42u, 43u})
        EXPECT_FALSE(DeviceHasTestPin(row)) << DeviceName(row);
}

TEST(DeviceTableRecord, DefaultRowHasTheF149Bounds) {
    DeviceRecord record = PatternedRecord();
    FillDeviceRecord(43, &record);
    EXPECT_EQ(record.marker, kDeviceRecordMarker);
    EXPECT_EQ(record.index, 43);
    EXPECT_STREQ(record.name, "DEFAULT");
    EXPECT_EQ(record.mainStart, 0x1100);
    EXPECT_EQ(record.mainEnd, 0xFFFFu);
    EXPECT_EQ(record.infoStart, 0x1000);
    EXPECT_EQ(record.infoEnd, 0x10FF);
    EXPECT_EQ(record.ramEnd, 0x09FF);
    // Same bounds as the F149 row, which shares the family.
    DeviceRecord f149 = PatternedRecord();
    FillDeviceRecord(7, &f149);
    EXPECT_EQ(f149.mainStart, record.mainStart);
    EXPECT_EQ(f149.ramEnd, record.ramEnd);
}

TEST(DeviceTableRecord, UnknownAndOutOfRangeIndexesFillRowZero) {
    for (uint32_t index : {0u, kDeviceCount, 1000u, 0xFFFFFFFFu}) {
        DeviceRecord record = PatternedRecord();
        FillDeviceRecord(index, &record);
        EXPECT_EQ(record.marker, kDeviceRecordMarker) << index;
        EXPECT_EQ(record.index, 0) << index;
        EXPECT_STREQ(record.name, "Device unknown");
        EXPECT_EQ(record.mainStart, 0);
        EXPECT_EQ(record.mainEnd, 0u);
        EXPECT_EQ(record.infoStart, 0);
        EXPECT_EQ(record.infoEnd, 0);
        EXPECT_EQ(record.ramEnd, 0);
    }
    EXPECT_STREQ(DeviceName(kDeviceCount), "Device unknown");
    EXPECT_EQ(DeviceBounds(kDeviceCount).mainStart, 0);
}

TEST(DeviceTableRecord, FillTouchesOnlyItsFields) {
    DeviceRecord record = PatternedRecord();
    record.supplyMillivolts = 3600;
    FillDeviceRecord(7, &record);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    // Name bytes after the terminating NUL keep their old content.
    const size_t nameLength = std::strlen("MSP430F149");
    for (size_t i = 4 + nameLength + 1; i < 36; ++i)
        EXPECT_EQ(bytes[i], 0x5A) << "offset " << i;
    for (size_t i = 42; i < 54; ++i)
        EXPECT_EQ(bytes[i], 0x5A) << "offset " << i;
    EXPECT_EQ(record.supplyMillivolts, 3600);
    for (size_t i = 56; i < 64; ++i)
        EXPECT_EQ(bytes[i], 0x5A) << "offset " << i;
    EXPECT_EQ(bytes[66], 0x5A);
    EXPECT_EQ(bytes[67], 0x5A);
    for (size_t i = 72; i < kDeviceRecordSize; ++i)
        EXPECT_EQ(bytes[i], 0x5A) << "offset " << i;
    // The written fields sit at their wire offsets, little-endian.
    EXPECT_EQ(bytes[0], 0x55);
    EXPECT_EQ(bytes[1], 0xAA);
    EXPECT_EQ(bytes[2], 7);
    EXPECT_EQ(bytes[3], 0);
    EXPECT_EQ(bytes[36] | bytes[37] << 8, 0x1100);
    EXPECT_EQ(bytes[68] | bytes[69] << 8 | bytes[70] << 16 | bytes[71] << 24, 0xFFFF);
    FillDeviceRecord(7, nullptr); // tolerated
}

TEST(DeviceTableRecord, PrototypeF11x1KeepsInformationMemoryBelowMain) {
    DeviceRecord record{};
    FillDeviceRecord(1, &record);
    EXPECT_EQ(record.infoStart, 0xEF00);
    EXPECT_EQ(record.infoEnd, 0xEFFF);
    EXPECT_EQ(record.mainStart, 0xF000);
}

TEST(DeviceTableRecord, RecordAgreesWithFamilyBoundsForEveryRow) {
    for (uint32_t i = 0; i < kDeviceCount; ++i) {
        DeviceRecord record{};
        FillDeviceRecord(i, &record);
        const FamilyBounds bounds = DeviceBounds(i);
        EXPECT_EQ(record.index, i);
        EXPECT_STREQ(record.name, DeviceName(i));
        EXPECT_LT(std::strlen(record.name), sizeof record.name);
        EXPECT_EQ(record.mainStart, bounds.mainStart) << i;
        EXPECT_EQ(record.mainEnd, bounds.mainEnd) << i;
        EXPECT_EQ(record.infoStart, bounds.infoStart) << i;
        EXPECT_EQ(record.infoEnd, bounds.infoEnd) << i;
        EXPECT_EQ(record.ramEnd, bounds.ramEnd) << i;
        if (i == 0)
            continue;
        // Sound memory maps: ordered ranges, RAM from 0x0200, information memory of
        // 256 bytes (the read step's buffer holds at most 512).
        EXPECT_LT(bounds.mainStart, bounds.mainEnd) << i;
        EXPECT_EQ(bounds.mainEnd, 0xFFFF) << i;
        EXPECT_EQ(bounds.infoEnd - bounds.infoStart + 1, 256) << i;
        // RAM from 0x0200, or from 0x1100 on the F161x (mirrored at 0x0200).
        EXPECT_EQ(bounds.ramStart, i >= 38 && i <= 40 ? 0x1100 : 0x0200) << i;
        EXPECT_GT(bounds.ramEnd, bounds.ramStart) << i;
        EXPECT_TRUE(bounds.infoEnd < bounds.mainStart) << i;
        EXPECT_TRUE(bounds.ramEnd < bounds.mainStart) << i;
    }
}

TEST(DeviceTableNames, ListHoldsDistinctRowsInTableOrder) {
    EXPECT_STREQ(DeviceName(0), "Device unknown");
    EXPECT_STREQ(DeviceName(43), "DEFAULT");
    std::set<std::string> names;
    for (uint32_t i = 0; i < kDeviceCount; ++i)
        names.insert(DeviceName(i));
    // Two names appear twice: MSP430F43x (rows 12, 13) and MSP430F169 (rows 37, 41).
    EXPECT_EQ(names.size(), kDeviceCount - 2);
    EXPECT_STREQ(DeviceName(37), DeviceName(41));
    EXPECT_EQ(DeviceFamily(37), DeviceFamily(41));
}

TEST(DeviceRecordName, StopsAtTheEndOfTheFieldWhenTheLibraryLeftNoTerminator) {
    DeviceRecord record;
    std::fill(std::begin(record.name), std::end(record.name), 'X');
    EXPECT_EQ(DeviceRecordName(record), std::string(32, 'X'));
    record.name[3] = '\0';
    EXPECT_EQ(DeviceRecordName(record), "XXX");
}

TEST(DeviceIndexOfPart, NamesTheExactRowElseTheFamilyWhoseXStandsForADigit) {
    EXPECT_EQ(DeviceIndexOfPart("MSP430F1611"), 39u);
    EXPECT_EQ(DeviceIndexOfPart("MSP430F169"), 37u); // the first of the two rows of that name
    EXPECT_EQ(DeviceIndexOfPart("MSP430F1121"), 2u); // not "Prototype MSP430F11x1"
    EXPECT_EQ(DeviceIndexOfPart("MSP430F1121A"), 10u);
    EXPECT_EQ(DeviceIndexOfPart("MSP430F413"), 9u); // not "Preliminary MSP430F413"
    EXPECT_EQ(DeviceIndexOfPart("MSP430F437"), 12u);
    EXPECT_EQ(DeviceIndexOfPart("MSP430F1232"), 17u); // "MSP430F12x2/F11x2", first alternative
    EXPECT_EQ(DeviceIndexOfPart("MSP430F1132"), 16u); // "MSP430F11x2" comes before the pair
    // A smaller member of a line has a row of its own, with its own map.
    EXPECT_EQ(DeviceIndexOfPart("MSP430F1122"), 49u);
    EXPECT_EQ(DeviceIndexOfPart("MSP430F448"), 55u);
    EXPECT_EQ(DeviceIndexOfPart("MSP430FW427"), 31u);
    EXPECT_EQ(DeviceIndexOfPart("MSP430FG439"), 42u);
    // Parts the table does not hold, and texts that only look like a family.
    EXPECT_EQ(DeviceIndexOfPart("MSP430F2274"), 0u);
    EXPECT_EQ(DeviceIndexOfPart("MSP430F43A"), 0u);
    EXPECT_EQ(DeviceIndexOfPart("Device unknown"), 0u);
    EXPECT_EQ(DeviceIndexOfPart(""), 0u);
}
