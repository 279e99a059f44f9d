#pragma once
// The FET library's entry points as this program calls them, for both generations the
// vendor shipped: version 2 (MSP430_Identify, ports by number) and version 3, the "MSP
// Debug Stack" (no MSP430_Identify since 3.2.5.4; FETs by enumerated name,
// MSP430_OpenDevice, MSP430_GetFoundDevice, MSP430_FET_FwUpdate).
//
// Types, from the vendor's API headers: every function returns STATUS_T (LONG; 0
// STATUS_OK, -1 STATUS_ERROR); LONG arguments are 32 bits. On Windows LONG is the 32-bit
// `long` of <windows.h>; the headers of the 64-bit Linux and macOS libraries write the
// same parameters as int32_t (MSP430_FET.h), so int32_t is the type on every platform.
// The calling convention is WINAPI: __stdcall on 32-bit Windows, the C one elsewhere
// (the headers define WINAPI empty off Windows).

#include <cstdint>

namespace pyrola {

#if defined(_WIN32) && !defined(_WIN64)
#define PYROLA_FET_CALL __stdcall
#else
#define PYROLA_FET_CALL
#endif

namespace fet {
// LONG of the headers.
using Long = int32_t;
static_assert(sizeof(Long) == 4, "the library's LONG is 32 bits on every platform it ships for");

using InitializeFn = Long(PYROLA_FET_CALL*)(const char* port, Long* version);
using CloseFn = Long(PYROLA_FET_CALL*)(Long vccOff);
using IdentifyFn = Long(PYROLA_FET_CALL*)(uint8_t* record, Long size, Long setId);
using DeviceFn = Long(PYROLA_FET_CALL*)(Long index, uint8_t* record, Long size);
using ConfigureFn = Long(PYROLA_FET_CALL*)(Long mode, Long value);
using VccFn = Long(PYROLA_FET_CALL*)(Long millivolts);
using ResetFn = Long(PYROLA_FET_CALL*)(Long method, Long execute, Long releaseJtag);
using EraseFn = Long(PYROLA_FET_CALL*)(Long mode, Long address, Long length);
using MemoryFn = Long(PYROLA_FET_CALL*)(Long address, uint8_t* buffer, Long count, Long read);
using VerifyMemFn = Long(PYROLA_FET_CALL*)(Long address, Long count, const uint8_t* data);
using EraseCheckFn = Long(PYROLA_FET_CALL*)(Long address, Long length);
using ErrorNumberFn = Long(PYROLA_FET_CALL*)();
using ErrorStringFn = const char*(PYROLA_FET_CALL*)(Long number);
// Version 3.
using GetNumberOfUsbIfsFn = Long(PYROLA_FET_CALL*)(Long* number);
using GetNameOfUsbIfFn = Long(PYROLA_FET_CALL*)(Long index, char** name, Long* status);
using OpenDeviceFn = Long(PYROLA_FET_CALL*)(const char* device, const char* password, Long passwordLength,
                                            Long deviceCode, Long setId);
using GetFoundDeviceFn = Long(PYROLA_FET_CALL*)(uint8_t* buffer, Long count);
// The callback (DLL430_FET_NOTIFY_FUNC) may be null; the adapter passes none.
using FwUpdateFn = Long(PYROLA_FET_CALL*)(const char* file, void* callback, Long clientHandle);

// Version-2 entry-point names in resolution order.
inline constexpr const char* kEntryPointNames[13] = {
    "MSP430_Initialize", "MSP430_Close",        "MSP430_Identify",    "MSP430_Device", "MSP430_Configure",
    "MSP430_VCC",        "MSP430_Reset",        "MSP430_Erase",       "MSP430_Memory", "MSP430_VerifyMem",
    "MSP430_EraseCheck", "MSP430_Error_Number", "MSP430_Error_String"};

// Version-3 entry-point names in resolution order: all present chooses the version-3 path.
inline constexpr const char* kEntryPointNamesThree[16] = {"MSP430_GetNumberOfUsbIfs",
                                                          "MSP430_GetNameOfUsbIf",
                                                          "MSP430_Initialize",
                                                          "MSP430_Close",
                                                          "MSP430_OpenDevice",
                                                          "MSP430_GetFoundDevice",
                                                          "MSP430_Configure",
                                                          "MSP430_VCC",
                                                          "MSP430_Reset",
                                                          "MSP430_Erase",
                                                          "MSP430_Memory",
                                                          "MSP430_VerifyMem",
                                                          "MSP430_EraseCheck",
                                                          "MSP430_Error_Number",
                                                          "MSP430_Error_String",
                                                          "MSP430_FET_FwUpdate"};

// MSP430_Initialize's version output when the FET's firmware must be updated first
// (-3: a major update).
inline constexpr Long kVersionNeedsUpdate = -1;
inline constexpr Long kVersionNeedsMajorUpdate = -3;
// CONFIG_MODE VERIFICATION_MODE: the library checks every flash write.
inline constexpr Long kVerificationMode = 0;
} // namespace fet

} // namespace pyrola
