#pragma once
// The object a dialog procedure serves: handed over as the creation parameter
// (CreateDialogParam, DialogBoxParam) and kept in the dialog's user data from
// WM_INITDIALOG on. Null for the messages before it.

#include <windows.h>

namespace pyrola::win32 {

template <class T> T* DialogObject(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        return reinterpret_cast<T*>(lParam);
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

} // namespace pyrola::win32
