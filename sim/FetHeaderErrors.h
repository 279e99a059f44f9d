#pragma once
// The error numbers and texts of the version-3 FET library, as its API header (MSP430.h,
// the ERROR_DEFINITIONS list: the enum numbers them from 0 in list order) gives them, and
// which of them the simulated library reports for each of its own failures.

#include "sim/FetTarget.h"

#include <cstdint>

namespace pyrola::sim {

// The header's numbers this library uses.
enum FetHeaderError : int32_t {
    kHeaderNoError = 0,
    kHeaderInitializeErr = 1,
    kHeaderParameterErr = 3,
    kHeaderNoDeviceErr = 4,
    kHeaderDeviceUnknownErr = 5,
    kHeaderWriteMemoryErr = 7,
    kHeaderVccErr = 10,
    kHeaderEraseErr = 14,
    kHeaderVerifyErr = 28,
    kHeaderFuseBlownErr = 30,
    kHeaderInterfaceSupportErr = 34,
    kHeaderCommErr = 35,
    kHeaderUsbFetNotFoundErr = 57,
    kHeaderFoundOtherDevice = 63,
    kHeaderInternalErr = 68,
    kHeaderInvalidErr = 69,
};

// The header's number for one of this library's failures.
int32_t HeaderErrorOf(FetError error);
// The header's text for a number; the text of INVALID_ERR for one outside the list.
const char* HeaderErrorText(int32_t number);

} // namespace pyrola::sim
