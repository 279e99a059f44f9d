#pragma once
// Small text helpers shared by file names, options and settings keys.

#include <string>
#include <string_view>

namespace pyrola {

// Equal when the texts differ only in the case of ASCII letters.
bool SameIgnoringCase(std::string_view a, std::string_view b);
// The text without leading and trailing blanks, tabs and carriage returns.
std::string TrimBlanks(std::string_view text);

} // namespace pyrola
