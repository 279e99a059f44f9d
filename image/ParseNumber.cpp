#include "image/ParseNumber.h"

namespace pyrola {

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

// The C locale's space class; the program never switches locales.
bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool HasHexPrefix(const char* p) {
    return p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
}

} // namespace

int32_t ParseNumber(const char* text, int radix, int width, bool* ok) {
    if (ok)
        *ok = false;
    if (!text)
        return 0;
    const char* p = text;
    while (IsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        ++p;
    }
    if (radix < 0 || radix == 1 || radix > 36)
        return 0;
    if (radix == 16 && HasHexPrefix(p)) {
        p += 2;
    } else if (radix == 0) {
        if (HasHexPrefix(p)) {
            p += 2;
            radix = 16;
        } else {
            radix = 10;
        }
    }
    // Kept one past the 32-bit signed range at most, so the negation below is defined.
    constexpr uint64_t kCap = 0x80000000u;
    uint64_t value = 0;
    int taken = 0;
    for (;;) {
        if (width != 0 && taken >= width)
            break;
        const int digit = DigitValue(*p);
        if (digit >= radix)
            break;
        value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(digit);
        if (value > kCap)
            value = kCap;
        ++taken;
        ++p;
    }
    if (taken == 0 || (width != 0 && taken < width))
        return 0;
    if (ok)
        *ok = true;
    if (negative)
        return static_cast<int32_t>(-static_cast<int64_t>(value));
    return value >= kCap ? INT32_MAX : static_cast<int32_t>(value);
}

} // namespace pyrola
