#pragma once
// Name parts of a file path. Both '\\' and '/' separate folders, so Windows paths and
// POSIX paths behave the same on either system.

#include <string>
#include <string_view>

namespace pyrola {

inline constexpr size_t kMaxPathLength = 260;

// The text after the last "." that stands after the last separator, searching from the
// last character down to the second (a leading "." is not taken); empty when none.
std::string ExtensionOf(std::string_view path);
// The path without its folders.
std::string FileNamePart(std::string_view path);
// The path with its extension (from its "." on) replaced, or ".ext" appended when it has
// none.
std::string WithExtension(std::string_view path, std::string_view extension);

} // namespace pyrola
