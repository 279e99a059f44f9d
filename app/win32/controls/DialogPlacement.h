#pragma once
// Puts a dialog where it should open: centred over its owner, or over the work area when
// the owner is missing, hidden or minimised, and moved inside the work area.

#include <windows.h>

namespace pyrola::win32 {

void CentreDialog(HWND dialog, HWND owner);

} // namespace pyrola::win32
