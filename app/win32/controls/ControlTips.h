#pragma once
// Tooltips for a dialog's controls: every child whose id has a string resource shows
// that string when the mouse rests on it.

#include <windows.h>

namespace pyrola::win32 {

// The tooltip window (owned by dialog, destroyed with it), or null when it could not be made.
HWND CreateControlTips(HWND dialog, HINSTANCE instance, int maxTipWidth);

} // namespace pyrola::win32
