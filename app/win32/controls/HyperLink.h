#pragma once
// A static control as a link: its text in blue and underlined, a hand over it, and a
// click opens the target (a web address or a mailto: address) with the system's handler.
// The control needs the SS_NOTIFY style to see clicks.

#include <string>
#include <windows.h>

namespace pyrola::win32 {

void MakeHyperLink(HWND control, const std::wstring& target);

} // namespace pyrola::win32
