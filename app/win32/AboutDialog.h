#pragma once
// The About box (template 100): the version and the maker, the command-line usage, and
// links to the maker's mail address and web site.

#include <windows.h>

namespace pyrola::win32 {

// 1 when closed with OK, 2 when closed any other way.
int RunAboutDialog(HWND owner);

} // namespace pyrola::win32
