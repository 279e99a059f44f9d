#include "serial/SerialType.h"

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

uint32_t SerialTypeLimit(uint32_t type) {
    switch (type) {
    case kSerialByte:
        return 0xFF;
    case kSerialWord:
        return 0xFFFF;
    case kSerialCharPointer:
    case kSerialCharArray:
    case kSerialDword:
        return 0xFFFFFFFF;
    default:
        return 0;
    }
}

} // namespace pyrola
