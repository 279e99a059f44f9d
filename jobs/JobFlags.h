#pragma once
// One bit per step of a job list. The same bits come from the buttons, the command line,
// the Auto setting and the serialization dialog.

#include <cstdint>

namespace pyrola {

inline constexpr uint32_t kJobProgram = 0x0001;
inline constexpr uint32_t kJobErase = 0x0002;
inline constexpr uint32_t kJobRead = 0x0004;
inline constexpr uint32_t kJobBlankCheck = 0x0008;
inline constexpr uint32_t kJobVerify = 0x0010;
inline constexpr uint32_t kJobDebugOneWire = 0x0040;
inline constexpr uint32_t kJobWriteSerial = 0x0080;
inline constexpr uint32_t kJobReadSerial = 0x0100;
inline constexpr uint32_t kJobReset = 0x0200;
inline constexpr uint32_t kJobDumpRam = 0x0400;
inline constexpr uint32_t kJobDumpLoader = 0x0800;
inline constexpr uint32_t kJobDumpDeviceId = 0x1000;
inline constexpr uint32_t kJobReload = 0x2000;     // consumed by the job start
inline constexpr uint32_t kJobAttachOnly = 0x8000; // attach and identify, nothing else
inline constexpr uint32_t kJobCancel = 0x10000;    // consumed by the job start

// Auto's default flag set: Program, Erase, Blank check, Verify.
inline constexpr uint32_t kJobAutoDefault = kJobProgram | kJobErase | kJobBlankCheck | kJobVerify;

// Worker priorities handed to the worker start.
inline constexpr int kWorkerPriorityNormal = 0;
inline constexpr int kWorkerPriorityTimeCritical = 15;

} // namespace pyrola
