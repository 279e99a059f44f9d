#include "serialno/SerialType.h"

namespace pyrola {

namespace {
constexpr const char* kNames[kSerialTypeCount] = {"char *", "char[]", "BYTE", "WORD", "DWORD"};
} // namespace

const char* SerialTypeName(uint32_t type) {
    return type < kSerialTypeCount ? kNames[type] : nullptr;
}

bool IsTextSerialType(uint32_t type) {
    return type == kSerialCharPointer || type == kSerialCharArray;
}

uint32_t SerialNumberWidth(uint32_t type) {
    switch (type) {
    case kSerialByte:
        return 1;
    case kSerialWord:
        return 2;
    case kSerialDword:
        return 4;
    default:
        return 0;
    }
}

uint32_t SerialTypeLimit(uint32_t type) {
    if (IsTextSerialType(type))
        return 0xFFFFFFFF;
    const uint32_t width = SerialNumberWidth(type);
    return width == 0 ? 0 : uint32_t(0xFFFFFFFFu >> (32 - 8 * width));
}

} // namespace pyrola
