#pragma once
// The system's own text for a Win32 error code, for log lines that say why something failed.

#include <windows.h>

#include <string>

namespace pyrola::win32 {

// FormatMessage's text without its line end, e.g. "The system cannot find the file
// specified."; "error <n>" when the system has no text for the code.
std::string SystemErrorText(DWORD code);

} // namespace pyrola::win32
