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

} // namespace pyrola
