#pragma once
// The device description the version-3 FET library writes into MSP430_GetFoundDevice's
// buffer: DEVICE_T of MSP430.h, a union of a 112-byte buffer with a packed structure
// (#pragma pack(1)), little-endian. Only what this program reads is named; the table
// gives the bounds (the library's own ids and field set change between its versions).

#include <cstddef>
#include <cstdint>
#include <string>

namespace pyrola {

#pragma pack(push, 1)
// DEVICE_T, packed: MSP430.h of the FET library (3.2.5.4).
struct FetFoundDevice {
    uint16_t endian = 0; // 0xAA55
    uint16_t id = 0;     // the library's own device id
    char string[32] = {};
    uint16_t mainStart = 0;
    uint16_t infoStart = 0;
    uint16_t ramEnd = 0;
    uint8_t fields42[22] = {}; // nBreakpoints .. ram2End
    uint16_t infoEnd = 0;
    uint32_t mainEnd = 0;      // ULONG right after infoEnd: offset 66, not the 68 of the older record
    uint8_t fields70[42] = {}; // bslStart .. HasFramMemroy and the buffer's spare bytes
};
#pragma pack(pop)

static_assert(sizeof(FetFoundDevice) == 112, "DEVICE_T's buffer is 112 bytes");
static_assert(offsetof(FetFoundDevice, id) == 2);
static_assert(offsetof(FetFoundDevice, string) == 4);
static_assert(offsetof(FetFoundDevice, mainStart) == 36);
static_assert(offsetof(FetFoundDevice, infoStart) == 38);
static_assert(offsetof(FetFoundDevice, ramEnd) == 40);
static_assert(offsetof(FetFoundDevice, infoEnd) == 64);
static_assert(offsetof(FetFoundDevice, mainEnd) == 66);

// The part name; never trusted to be terminated.
inline std::string FoundDeviceName(const FetFoundDevice& device) {
    size_t length = 0;
    while (length < sizeof device.string && device.string[length] != '\0')
        ++length;
    return std::string(device.string, length);
}

} // namespace pyrola
