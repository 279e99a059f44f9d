#pragma once
// printf-style formatting into a std::string (integer conversions and %s).

#include <cstdarg>
#include <string>

namespace pyrola {

#if defined(__GNUC__)
#define PYROLA_PRINTF(fmtIndex, argIndex) __attribute__((format(printf, fmtIndex, argIndex)))
#else
#define PYROLA_PRINTF(fmtIndex, argIndex)
#endif

std::string Format(const char* format, ...) PYROLA_PRINTF(1, 2);
std::string FormatV(const char* format, va_list args);

} // namespace pyrola
