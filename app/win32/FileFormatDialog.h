#pragma once
// The File Format dialog (template 102): one radio button for each of its choices
// (FormatDialogChoices), the preselected one checked (the fallback when it is none), and
// an OK button as the only way out. Opens centred over its owner, or over the work area
// when the owner is missing, hidden or minimised, and always inside the work area.

#include "image/FileFormat.h"

#include <windows.h>

namespace pyrola::win32 {

// The checked format when OK is pressed.
FileFormat RunFileFormatDialog(HWND owner, FileFormat preselected);

} // namespace pyrola::win32
