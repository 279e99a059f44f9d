#pragma once
// The process-wide simulated FET library: thirteen functions with the library's calling
// shapes, serialised by one lock, all working on one FetTarget. The shared library in
// sim/fetlib/ exports them under the library's names; InProcessFetLoader hands them out
// without any shared library, for tests and benchmarks.

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

// Replaces the process-wide target (tests start from a fresh chip this way).
void ResetTarget(FetTarget::Environment environment);
// Runs `inspect` on the process-wide chip under the lock (null before Initialize).
void WithModel(const std::function<void(DeviceModel*)>& inspect);

// A LibraryLoader whose every library resolves the thirteen names to the functions above.
LibraryLoader& InProcessFetLoader();

} // namespace pyrola::sim::fetlib
