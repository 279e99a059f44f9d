#pragma once
// The one conversion between the program's 8-bit text and the UTF-16 text of the window
// system. The 8-bit side is the system's ANSI code page, the one the C library's file
// functions take paths in (UTF-8 where the program's manifest has the system use it).

#include <string>
#include <string_view>

namespace pyrola::win32 {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

} // namespace pyrola::win32
