#pragma once
// Error numbers of the direct JTAG adapter and their fixed texts.

#include <cstdint>

namespace pyrola {

enum RawError : int32_t {
    kRawNoError = 0,
    kRawInterfaceFailed = 1,
    kRawInvalidParameter = 2,
    kRawDeviceNotFound = 3,
    kRawUnknownDevice = 4,
    kRawReadFailed = 5,
    kRawWriteFailed = 6,
    kRawFusesUnreadable = 7,
    kRawResetFailed = 8,
    kRawEraseFailed = 9,
    kRawRunFailed = 10,
    kRawVerifyFailed = 11,
    kRawFuseBlowFailed = 12,
    kRawBadJtagId = 13,
    kRawFuseBlown = 14,
};

// The text of a number; "Invalid error number" for any number outside the table.
const char* RawErrorText(int32_t number);

} // namespace pyrola
