#pragma once
// The process-wide simulated FET library: functions with the library's calling shapes,
// serialised by one lock, all working on one FetTarget of one generation. The shared
// libraries in sim/fetlib/ export them under the library's names (the version-2 build
// the thirteen of its generation, the version-3 build those of version 3);
// InProcessFetLoader hands out the same set without any shared library, for tests and
// benchmarks.

#include "platform/DynamicLibrary.h"
#include "sim/FetTarget.h"

#include <cstdint>

namespace pyrola::sim::fetlib {

int32_t Initialize(const char* port, int32_t* version);
int32_t Close(int32_t vccOff);
int32_t Identify(uint8_t* record, int32_t size, int32_t setId);
int32_t Device(int32_t index, uint8_t* record, int32_t size);
int32_t Configure(int32_t mode, int32_t value);
int32_t Vcc(int32_t millivolts);
int32_t Reset(int32_t method, int32_t execute, int32_t releaseJtag);
int32_t Erase(int32_t mode, int32_t address, int32_t length);
int32_t Memory(int32_t address, uint8_t* buffer, int32_t count, int32_t read);
int32_t VerifyMem(int32_t address, int32_t count, const uint8_t* data);
int32_t EraseCheck(int32_t address, int32_t length);
int32_t ErrorNumber();
const char* ErrorString(int32_t number);
// Version 3.
int32_t GetNumberOfUsbIfs(int32_t* number);
int32_t GetNameOfUsbIf(int32_t index, char** name, int32_t* status);
int32_t OpenDevice(const char* device, const char* password, int32_t passwordLength, int32_t deviceCode,
                   int32_t setId);
int32_t GetFoundDevice(uint8_t* buffer, int32_t count);
int32_t FwUpdate(const char* file, void* callback, int32_t clientHandle);

// The generation this process's library is (version 2 until a build or a test says
// otherwise); a change starts from a fresh target.
void UseGeneration(FetGeneration generation);

// Replaces the process-wide target (tests start from a fresh chip this way).
void ResetTarget(FetTarget::Environment environment);
// Runs `inspect` on the process-wide chip under the lock (null before Initialize).
void WithModel(const std::function<void(DeviceModel*)>& inspect);

// A LibraryLoader whose every library resolves the names of that generation to the
// functions above, and makes the process-wide target that generation.
LibraryLoader& InProcessFetLoader(FetGeneration generation = FetGeneration::Two);

} // namespace pyrola::sim::fetlib
