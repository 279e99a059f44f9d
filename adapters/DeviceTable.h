#pragma once
// The program's own catalogue of the MSP430 devices it knows. The row number is the
// device index everywhere: device list position, requested device, record index.

#include "adapters/DeviceRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pyrola {

inline constexpr uint32_t kDeviceCount = 60;
inline constexpr uint32_t kDeviceFamilyCount = 37;
// "DEFAULT": reached only by index, for a chip nothing else describes.
inline constexpr uint32_t kDeviceDefaultRow = 43;
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
// Whether the row's part needs its TEST pin driven high before its JTAG pins work.
bool DeviceHasTestPin(uint32_t index);
// The part whose memory map the row holds: the row's name, or for a row named after a line
// (such as "MSP430FG43x") the member it describes ("MSP430FG439").
const char* DevicePartName(uint32_t index);

// Identity as a set. Every row that names a part and fits the identification block; with
// the fuses unknown (nullopt: the bootstrap loader cannot read them) the fuse test rules out
// nothing. Empty for an erased identification or no match.
std::vector<uint32_t> DeviceCandidates(const uint8_t identification[16], std::optional<uint16_t> fuses);
// The rows that a lookup cannot tell from this one (same patterns and fuse test), the row
// itself included; just the row for row 0 and DEFAULT.
std::vector<uint32_t> DeviceSiblings(uint32_t index);
// Of several rows, the one whose memory every one of them has: the highest main-flash start,
// then the least RAM. 0 for an empty set.
uint32_t DeviceSharedRow(const std::vector<uint32_t>& rows);
// The row of `rows` that is the wanted row or names the same part; 0 when none is.
uint32_t DeviceAmong(const std::vector<uint32_t>& rows, uint32_t wanted);
// "MSP430F133, F135, F147": the parts of the rows, each once, in row order.
std::string DeviceListText(const std::vector<uint32_t>& rows);

} // namespace pyrola
