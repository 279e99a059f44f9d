// A FET library of the tests' own that behaves like a healthy one (an F149 whose memory
// keeps what is written, for the life of the process) but raises a hardware fault inside the entry points
// that $PYROLA_TEST_FAULT names: "Erase:access", "Memory:arithmetic", "Identify:bus",
// "Erase:stuck" (an access fault with the standard output's lock left taken), several
// separated by commas. Built without sanitizers: the faults are the point.
#include "adapters/DeviceRecord.h"
#include "adapters/DeviceTable.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#define FAULTY_EXPORT extern "C" __declspec(dllexport)
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#define FAULTY_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

volatile int gZero = 0;
uint8_t gMemory[0x10000];

// A genuine bus error where the system can give one: a page of a file that ends before it.
void RaiseBusError() {
#if defined(_WIN32)
    RaiseException(EXCEPTION_IN_PAGE_ERROR, 0, 0, nullptr);
#else
    char path[] = "/tmp/pyrola-faulty-XXXXXX";
    const int fd = mkstemp(path);
    unlink(path);
    auto* page = static_cast<volatile char*>(mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0));
    (void)page[0]; // the file is empty: no page behind the mapping
#endif
}

void MaybeFault(const char* entry) {
    const char* faults = std::getenv("PYROLA_TEST_FAULT");
    if (faults == nullptr)
        return;
    const std::string list = std::string(",") + faults + ",";
    auto wants = [&](const char* kind) {
        return list.find(std::string(",") + entry + ":" + kind + ",") != std::string::npos;
    };
    if (wants("access")) {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }
    if (wants("arithmetic")) {
        volatile int value = 7 / gZero;
        (void)value;
    }
    if (wants("bus"))
        RaiseBusError();
    if (wants("stuck")) {
        // Faults with the standard output's lock taken, as a library may that faults in
        // the middle of printing: whoever writes there next waits for ever.
#if defined(_WIN32)
        _lock_file(stdout);
#else
        flockfile(stdout);
#endif
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }
}

} // namespace

FAULTY_EXPORT int32_t MSP430_Initialize(const char*, int32_t* version) {
    MaybeFault("Initialize");
    if (version)
        *version = 1;
    return 0;
}
FAULTY_EXPORT int32_t MSP430_Close(int32_t) {
    MaybeFault("Close");
    return 0;
}
FAULTY_EXPORT int32_t MSP430_Identify(uint8_t* record, int32_t size, int32_t) {
    MaybeFault("Identify");
    if (size < static_cast<int32_t>(sizeof(pyrola::DeviceRecord)))
        return -1;
    pyrola::FillDeviceRecord(7, reinterpret_cast<pyrola::DeviceRecord*>(record)); // MSP430F149
    return 0;
}
FAULTY_EXPORT int32_t MSP430_Device(int32_t, uint8_t*, int32_t) {
    return -1;
}
FAULTY_EXPORT int32_t MSP430_Configure(int32_t, int32_t) {
    return 0;
}
FAULTY_EXPORT int32_t MSP430_VCC(int32_t) {
    return 0;
}
FAULTY_EXPORT int32_t MSP430_Reset(int32_t, int32_t, int32_t) {
    MaybeFault("Reset");
    return 0;
}
FAULTY_EXPORT int32_t MSP430_Erase(int32_t, int32_t, int32_t) {
    MaybeFault("Erase");
    std::memset(gMemory, 0xFF, sizeof gMemory);
    return 0;
}
FAULTY_EXPORT int32_t MSP430_Memory(int32_t address, uint8_t* buffer, int32_t count, int32_t read) {
    MaybeFault("Memory");
    if (address < 0 || count < 0 || address + count > 0x10000 || buffer == nullptr)
        return -1;
    if (read)
        std::memcpy(buffer, gMemory + address, static_cast<size_t>(count));
    else
        std::memcpy(gMemory + address, buffer, static_cast<size_t>(count));
    return 0;
}
FAULTY_EXPORT int32_t MSP430_VerifyMem(int32_t, int32_t, const uint8_t*) {
    return 0;
}
FAULTY_EXPORT int32_t MSP430_EraseCheck(int32_t, int32_t) {
    MaybeFault("EraseCheck");
    return 0;
}
FAULTY_EXPORT int32_t MSP430_Error_Number() {
    return 0;
}
FAULTY_EXPORT const char* MSP430_Error_String(int32_t) {
    return "No error";
}
