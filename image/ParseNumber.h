#pragma once
// The number parser behind every numeric field of the image files, the serialization
// settings and the command line.

#include <cstdint>

namespace pyrola {

// Skips leading white space, takes an optional sign, for radix 16 an optional "0x"
// (radix 0: "0x" selects 16, anything else 10), then digits of the radix; with a
// non-zero width it takes at most, and needs exactly, that many digits. Returns 0 with
// ok false when no digit (or too few) was taken or the radix is invalid. Magnitudes
// beyond the 32-bit range saturate instead of wrapping, so an oversized address can
// never alias a small one. text must be NUL-terminated.
int32_t ParseNumber(const char* text, int radix, int width, bool* ok);

// The common case of a file field, without the general parser's cost: when p[0] and p[1]
// are both hex digits, stores their value (exactly what ParseNumber(p, 16, 2) gives) and
// returns true; otherwise returns false and the caller falls back to ParseNumber.
struct HexDigitTable {
    int8_t value[256];
    constexpr HexDigitTable() : value() {
        for (int c = 0; c < 256; ++c)
            value[c] = -1;
        for (int d = 0; d < 10; ++d)
            value['0' + d] = static_cast<int8_t>(d);
        for (int d = 0; d < 6; ++d) {
            value['A' + d] = static_cast<int8_t>(10 + d);
            value['a' + d] = static_cast<int8_t>(10 + d);
        }
    }
};
inline constexpr HexDigitTable kHexDigits{};

inline bool TwoHexDigits(const char* p, int32_t& value) {
    const int high = kHexDigits.value[static_cast<unsigned char>(p[0])];
    if (high < 0)
        return false;
    const int low = kHexDigits.value[static_cast<unsigned char>(p[1])];
    if (low < 0)
        return false;
    value = high << 4 | low;
    return true;
}

} // namespace pyrola
