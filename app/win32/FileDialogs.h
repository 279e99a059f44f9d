#pragma once
// The Open and Save dialogs of the main window, with the image-file filter. Both start
// from the current file name; Open wants an existing file, Save asks before overwriting.

#include <optional>
#include <string>
#include <windows.h>

namespace pyrola::win32 {

// The chosen path, or nothing when the user cancelled.
std::optional<std::string> AskOpenPath(HWND owner, const std::string& current);
std::optional<std::string> AskSavePath(HWND owner, const std::string& current);

} // namespace pyrola::win32
