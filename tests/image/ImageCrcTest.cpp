// The production log's fingerprint of an image.
#include "image/ImageCrc.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace pyrola;

TEST(ImageCrc, StandardCrc32OverThePresentBytesInAddressOrder) {
    const char* check = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(check), std::strlen(check)), 0xCBF43926u);
    EXPECT_EQ(
        Crc32(reinterpret_cast<const uint8_t*>(check), 4, Crc32(reinterpret_cast<const uint8_t*>(check), 0)),
        Crc32(reinterpret_cast<const uint8_t*>(check), 4));

    MemoryImage image;
    image.Clear();
    EXPECT_EQ(ImageCrc32(image), 0u); // nothing present
    // The same bytes at other addresses, with gaps between them, give the same CRC: only
    // the present bytes count, in address order.
    for (int i = 0; i < 9; ++i)
        image.StoreByte(0xF000 + 0x10 * i, uint8_t(check[i]));
    EXPECT_EQ(ImageCrc32(image), 0xCBF43926u);
    image.StoreByte(0x1000, 'x');
    EXPECT_NE(ImageCrc32(image), 0xCBF43926u);
    image.Clear();
    image.StoreByte(0xFFFF, '1');
    EXPECT_EQ(ImageCrc32(image), Crc32(reinterpret_cast<const uint8_t*>("1"), 1));
}
