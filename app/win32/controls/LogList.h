#pragma once
// The log: a list box of time-stamped lines that only grows; the newest line is shown and
// selected, and Copy puts the selected line on the clipboard.

#include <string>
#include <windows.h>

namespace pyrola::win32 {

class LogList {
public:
    void Attach(HWND list) { list_ = list; }
    HWND Handle() const { return list_; }
    void Append(const std::wstring& line);
    // The selected line as plain text on the clipboard. False, and the clipboard left
    // alone, when no line is selected or the clipboard cannot be had.
    bool CopySelection(HWND owner) const;

private:
    HWND list_ = nullptr;
};

} // namespace pyrola::win32
