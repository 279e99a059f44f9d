#include "app/win32/controls/LogList.h"

#include <cstring>

namespace pyrola::win32 {

void LogList::Append(const std::wstring& line) {
    const LRESULT index = SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    if (index < 0)
        return;
    SendMessageW(list_, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool LogList::CopySelection(HWND owner) const {
    const LRESULT selected = SendMessageW(list_, LB_GETCURSEL, 0, 0);
    if (selected < 0)
        return false;
    const LRESULT length = SendMessageW(list_, LB_GETTEXTLEN, static_cast<WPARAM>(selected), 0);
    if (length < 0)
        return false;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(list_, LB_GETTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));

    if (!OpenClipboard(owner))
        return false;
    EmptyClipboard();
    bool copied = false;
    if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
        if (void* target = GlobalLock(block)) {
            std::memcpy(target, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
            GlobalUnlock(block);
            copied = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        }
        if (!copied)
            GlobalFree(block); // the clipboard owns the block only once it took it
    }
    CloseClipboard();
    return copied;
}

} // namespace pyrola::win32
