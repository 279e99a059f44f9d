#pragma once
// Where and how a serial number goes into flash, and the serial text itself. After a
// successful parse the text is always the rendered form of its SerialFormat.

#include "serialno/SerialType.h"

#include <cstdint>
#include <string>

namespace pyrola {

inline constexpr uint32_t kDefaultSerialAddress = 0x1000;
inline constexpr uint32_t kDefaultSerialType = kSerialCharPointer;
inline constexpr const char* kDefaultSerialText = "TEST00001M2";
// Longest serial text: a "char *" serial is at most 256 bytes in flash.
inline constexpr size_t kMaxSerialTextLength = 255;

struct SerialConfig {
    uint32_t address = kDefaultSerialAddress; // flash address of the serial's first byte
    uint32_t type = kDefaultSerialType;       // a SerialType, or any other value (places nothing)
    std::string serial = kDefaultSerialText;
};

} // namespace pyrola
