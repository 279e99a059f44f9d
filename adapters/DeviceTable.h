#pragma once
// The program's own catalogue of the MSP430 devices it knows. The row number is the
// device index everywhere: device list position, requested device, record index.

#include "adapters/DeviceRecord.h"

#include <cstdint>
#include <string>

namespace pyrola {

inline constexpr uint32_t kDeviceCount = 44;
inline constexpr uint32_t kDeviceFamilyCount = 35;
// Identification block: 16 bytes of target memory from this address.
inline constexpr uint32_t kIdentificationAddress = 0x0FF0;
inline constexpr uint32_t kIdentificationLength = 16;
// A pattern or fuse value that matches anything.
inline constexpr uint16_t kDeviceAny = 0xFFFF;

struct FamilyBounds {
    uint16_t mainStart, mainEnd, infoStart, infoEnd, ramStart, ramEnd;
};

// First row whose identification patterns and fuse test pass; 0 when none does.
uint32_t LookupDevice(const uint8_t identification[16], uint16_t fuses);
// Writes marker, index, name and the family's bounds; every other byte stays as it was.
// An index of kDeviceCount or more fills row 0.
void FillDeviceRecord(uint32_t index, DeviceRecord* record);
// The row that names a part, for a library that reports parts by name: a row of exactly
// that name first, else a family row whose "x" stands for one digit ("MSP430F1121" is
// "MSP430F11x1"; "/" separates alternatives). Prototype and preliminary rows and row 0
// never match. 0 when no row does.
uint32_t DeviceIndexOfPart(const std::string& part);
// Row name; an index of kDeviceCount or more gives row 0's name.
const char* DeviceName(uint32_t index);
// Bounds of the row's family (all zero for row 0 and out-of-range indexes).
FamilyBounds DeviceBounds(uint32_t index);
// Family number of a row (row 0's for out-of-range indexes).
uint8_t DeviceFamily(uint32_t index);

} // namespace pyrola
