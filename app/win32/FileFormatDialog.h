#pragma once
// The File Format dialog (template 102): one radio button for each of its choices
// (FormatDialogChoices), the preselected one checked (the fallback when it is none), and
// an OK button as the only way out. Opens centred over its owner, or over the work area
// when the owner is missing, hidden or minimised, and always inside the work area. For a
// load it also shows where a binary file's first byte goes ("Binary file at: 0x1100"),
// as objcopy -O binary writes a file from its lowest address.

#include "image/FileFormat.h"

#include <windows.h>

#include <cstdint>

namespace pyrola::win32 {

// The checked format when OK is pressed. binaryBase, when not null, is shown in the base
// field and set to what it holds at OK (OK does nothing while it holds no address up to
// 0xFFFFF); null leaves the field out (a save).
FileFormat RunFileFormatDialog(HWND owner, FileFormat preselected, uint32_t* binaryBase);

} // namespace pyrola::win32
