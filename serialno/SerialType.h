#pragma once
// How a serial number is laid out in flash. The config keeps the type as a plain number:
// a value outside the five known ones (possible from a hand-edited file) places nothing.

#include <cstdint>

namespace pyrola {

enum SerialType : uint32_t {
    kSerialCharPointer = 0, // the text and a terminating zero byte
    kSerialCharArray = 1,   // the text alone
    kSerialByte = 2,        // the counter's low 8 bits
    kSerialWord = 3,        // the counter's low 16 bits, low byte first
    kSerialDword = 4,       // the counter's 32 bits, low byte first
};

inline constexpr uint32_t kSerialTypeCount = 5;

// "char *", "char[]", "BYTE", "WORD", "DWORD"; null for any other value.
const char* SerialTypeName(uint32_t type);
// Types 0 and 1: the serial is a text with a counter inside it.
bool IsTextSerialType(uint32_t type);
// Bytes of the counter in flash for the numeric types (1, 2, 4); 0 for the text types and
// unknown ones.
uint32_t SerialNumberWidth(uint32_t type);
// Largest counter the type holds without losing bits (0xFFFFFFFF for the 32-bit and text
// types, 0 for an unknown type).
uint32_t SerialTypeLimit(uint32_t type);

} // namespace pyrola
