#pragma once
// The headless program's reading of a ".sprj" file. Stricter than the dialog's, which
// turns anything unreadable into a default: a production line must not write numbers
// from a file it misread, nor hand one number to two boards. Address and Type may be
// missing (their defaults hold); every value present must be a whole number, the type
// one of the five, the serial a number of its type that can be stepped without
// repeating, and the serial must fit one flash segment of at least one known device.

#include "serialno/SerialConfig.h"
#include "serialno/SerialFormat.h"

#include <functional>
#include <optional>
#include <string>

namespace pyrola {

// The value of a key of section [Options], or nothing when the key is missing.
using SerialConfigLookup = std::function<std::optional<std::string>(const char* key)>;

struct SerialConfigCheck {
    std::optional<SerialConfig> config; // set when the file is usable
    std::string problem;                // why it is not ("Invalid Address '12x'", ...)
};

SerialConfigCheck CheckSerialConfig(const SerialConfigLookup& lookup);

// Largest counter the headless program hands out: ParseNumber stops at the signed 32-bit
// maximum, so a larger number would read back as this one and repeat.
inline constexpr uint32_t kLastSerialNumber = 0x7FFFFFFE;

// Why the serial cannot be used as the next board's number: its counter lies beyond
// kLastSerialNumber or beyond its type's range, or (text types) the file's text is not the
// rendered form the device would get. Empty when it can. The format must hold the
// successful parse of text.
std::string SerialNumberProblem(const SerialFormat& format, const std::string& text);

} // namespace pyrola
