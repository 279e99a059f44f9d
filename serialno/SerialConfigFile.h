#pragma once
// The serialization configuration file (".sprj"): a profile text with the section
// [Options] and the keys Address, Type and Serial. The dialog reads a missing or
// unreadable value as its default, and writes the three keys in that order.

#include "platform/ProfileFile.h"
#include "serialno/SerialConfig.h"

#include <string>

namespace pyrola {

inline constexpr const char* kSerialConfigSection = "Options";
inline constexpr const char* kSerialConfigAddressKey = "Address";
inline constexpr const char* kSerialConfigTypeKey = "Type";
inline constexpr const char* kSerialConfigSerialKey = "Serial";
inline constexpr const char* kSerialConfigExtension = "sprj";

// Address and Type read with ParseNumber at radix 0 (decimal, or hexadecimal after "0x"),
// defaults 4096 and 0; Serial up to 255 characters, default empty. A missing file reads
// as all defaults. Any Type value is taken (an unknown one places nothing).
SerialConfig ReadSerialConfig(ProfileFile& profile, const std::string& path);
// Address and Type in decimal, then Serial. False when a value could not be written.
bool WriteSerialConfig(ProfileFile& profile, const std::string& path, const SerialConfig& config);

} // namespace pyrola
