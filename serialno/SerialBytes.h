#pragma once
// The serial as bytes in flash: composed into the job engine's SerialBlock for the serial
// read and write jobs, its size, and what a block read from a device shows as text.

#include "jobs/SerialBlock.h"
#include "serialno/SerialFormat.h"

#include <cstdint>
#include <string>

namespace pyrola {

// By the config's type: "char *" the serial text and a zero byte, "char[]" the text alone,
// BYTE/WORD/DWORD the number's low 1, 2 or 4 bytes low byte first, any other type none.
// The block gets those bytes, the config's address and the valid flag 1.
void ComposeSerialBytes(const SerialFormat& format, SerialBlock& block);
// The byte count ComposeSerialBytes produces ("Size: %d bytes").
uint32_t SerialSize(const SerialFormat& format);
// The block as the serialization dialog's "In memory" field shows it: for the text types
// the bytes up to the first zero (or erased, 0xFF) byte when they hold a serial (a digit),
// for the numeric types the number in decimal, as the serial is written in the file and
// the log; "???" when the block is not valid, erased, too short for the type, holds no
// serial, or the type is unknown.
std::string DecodeSerial(const SerialBlock& block, uint32_t type);
// Every byte of the block is 0xFF: the serial's place is erased, it holds no number.
bool SerialAreaErased(const SerialBlock& block);

inline constexpr const char* kSerialUnknownText = "???";

} // namespace pyrola
