#pragma once
// The 104-byte device description shared with the FET library (its device structure).
// The layout is a binary format: little-endian, fixed offsets.

#include "image/MemoryRanges.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pyrola {

struct DeviceRecord {
    uint16_t marker = 0;    // 0xAA55 once filled from the device table
    uint16_t index = 0;     // device-table index of the identified device
    char name[32] = {};     // NUL-terminated device name
    uint16_t mainStart = 0; // first address of main flash
    uint16_t infoStart = 0; // first address of information flash
    uint16_t ramEnd = 0;    // last address of RAM
    uint8_t reserved42[12] = {};
    uint16_t supplyMillivolts = 0; // written as 3600 before every Open
    uint8_t reserved56[8] = {};
    uint16_t infoEnd = 0; // last address of information flash
    uint8_t reserved66[2] = {};
    uint32_t mainEnd = 0; // last address of main flash
    uint8_t reserved72[32] = {};
};

// The memory bounds the record holds.
inline MemoryRanges MemoryRangesOf(const DeviceRecord& device) {
    return {device.infoStart, device.infoEnd, device.mainStart, device.mainEnd, device.ramEnd};
}

// The device name; the FET library fills it, so it is never trusted to be terminated.
inline std::string DeviceRecordName(const DeviceRecord& device) {
    size_t length = 0;
    while (length < sizeof device.name && device.name[length] != '\0')
        ++length;
    return std::string(device.name, length);
}

inline constexpr uint16_t kDeviceRecordMarker = 0xAA55;
inline constexpr uint32_t kDeviceRecordSize = 104;

static_assert(std::endian::native == std::endian::little, "the record is little-endian on the wire");
static_assert(sizeof(DeviceRecord) == kDeviceRecordSize);
static_assert(offsetof(DeviceRecord, marker) == 0);
static_assert(offsetof(DeviceRecord, index) == 2);
static_assert(offsetof(DeviceRecord, name) == 4);
static_assert(offsetof(DeviceRecord, mainStart) == 36);
static_assert(offsetof(DeviceRecord, infoStart) == 38);
static_assert(offsetof(DeviceRecord, ramEnd) == 40);
static_assert(offsetof(DeviceRecord, supplyMillivolts) == 54);
static_assert(offsetof(DeviceRecord, infoEnd) == 64);
static_assert(offsetof(DeviceRecord, mainEnd) == 68);

} // namespace pyrola
