// The simulated FET interface library's exported entry points (C names, 32-bit
// arguments), each handing over to the process-wide simulated target. PYROLA_FET_GENERATION
// chooses the build: 2 exports the thirteen names of the older library, 3 those of the
// version-3 library, which has no MSP430_Identify.
#include "sim/FetEntryPoints.h"

#include <cstdint>

#if defined(_WIN32)
#define PYROLA_FET_EXPORT extern "C" __declspec(dllexport)
#else
#define PYROLA_FET_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace fl = pyrola::sim::fetlib;

PYROLA_FET_EXPORT int32_t MSP430_Initialize(const char* port, int32_t* version) {
    return fl::Initialize(port, version);
}
PYROLA_FET_EXPORT int32_t MSP430_Close(int32_t vccOff) {
    return fl::Close(vccOff);
}
PYROLA_FET_EXPORT int32_t MSP430_Configure(int32_t mode, int32_t value) {
    return fl::Configure(mode, value);
}
PYROLA_FET_EXPORT int32_t MSP430_VCC(int32_t millivolts) {
    return fl::Vcc(millivolts);
}
PYROLA_FET_EXPORT int32_t MSP430_Reset(int32_t method, int32_t execute, int32_t releaseJtag) {
    return fl::Reset(method, execute, releaseJtag);
}
PYROLA_FET_EXPORT int32_t MSP430_Erase(int32_t mode, int32_t address, int32_t length) {
    return fl::Erase(mode, address, length);
}
PYROLA_FET_EXPORT int32_t MSP430_Memory(int32_t address, uint8_t* buffer, int32_t count, int32_t read) {
    return fl::Memory(address, buffer, count, read);
}
PYROLA_FET_EXPORT int32_t MSP430_VerifyMem(int32_t address, int32_t count, const uint8_t* data) {
    return fl::VerifyMem(address, count, data);
}
PYROLA_FET_EXPORT int32_t MSP430_EraseCheck(int32_t address, int32_t length) {
    return fl::EraseCheck(address, length);
}
PYROLA_FET_EXPORT int32_t MSP430_Error_Number() {
    return fl::ErrorNumber();
}
PYROLA_FET_EXPORT const char* MSP430_Error_String(int32_t number) {
    return fl::ErrorString(number);
}

#if PYROLA_FET_GENERATION == 3

namespace {
// The process-wide target is a version-3 one before any call reaches it.
const bool kGenerationChosen = (fl::UseGeneration(pyrola::sim::FetGeneration::Three), true);
} // namespace

PYROLA_FET_EXPORT int32_t MSP430_GetNumberOfUsbIfs(int32_t* number) {
    return fl::GetNumberOfUsbIfs(number);
}
PYROLA_FET_EXPORT int32_t MSP430_GetNameOfUsbIf(int32_t index, char** name, int32_t* status) {
    return fl::GetNameOfUsbIf(index, name, status);
}
PYROLA_FET_EXPORT int32_t MSP430_OpenDevice(const char* device, const char* password, int32_t passwordLength,
                                            int32_t deviceCode, int32_t setId) {
    return fl::OpenDevice(device, password, passwordLength, deviceCode, setId);
}
PYROLA_FET_EXPORT int32_t MSP430_GetFoundDevice(uint8_t* buffer, int32_t count) {
    return fl::GetFoundDevice(buffer, count);
}
PYROLA_FET_EXPORT int32_t MSP430_FET_FwUpdate(const char* file, void* callback, int32_t clientHandle) {
    return fl::FwUpdate(file, callback, clientHandle);
}

#else

PYROLA_FET_EXPORT int32_t MSP430_Identify(uint8_t* record, int32_t size, int32_t setId) {
    return fl::Identify(record, size, setId);
}
PYROLA_FET_EXPORT int32_t MSP430_Device(int32_t index, uint8_t* record, int32_t size) {
    return fl::Device(index, record, size);
}

#endif
