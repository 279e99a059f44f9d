#pragma once
// The Open and Save dialogs: the main window's, with the image-file filter, and the
// serialization dialog's, with the ".sprj" filter and that default extension. Each starts
// from the current file name; Open wants an existing file, Save asks before overwriting.

#include <optional>
#include <string>
#include <windows.h>

namespace pyrola::win32 {

// The chosen path, or nothing when the user cancelled.
std::optional<std::string> AskOpenPath(HWND owner, const std::string& current);
std::optional<std::string> AskSavePath(HWND owner, const std::string& current);
std::optional<std::string> AskOpenSerialConfigPath(HWND owner, const std::string& current);
std::optional<std::string> AskSaveSerialConfigPath(HWND owner, const std::string& current);

} // namespace pyrola::win32
