#include "app/win32/FileFormatDialog.h"

#include "app/FormatChoices.h"
#include "app/win32/controls/DialogObject.h"
#include "app/win32/controls/DialogPlacement.h"
#include "app/win32/controls/WideText.h"
#include "app/win32/resource.h"

#include <iterator>

namespace pyrola::win32 {

namespace {

int FormatCount() {
    return static_cast<int>(FormatDialogChoices().size());
}

// Dialog units: where the first button sits inside the group box, and the row pitch.
constexpr int kButtonLeft = 14, kFirstButtonTop = 19, kButtonPitch = 12, kButtonHeight = 10;

struct DialogState {
    HWND owner;
    FileFormat preselected;
    FileFormat chosen;
};

RECT DialogUnits(HWND dialog, int left, int top, int right, int bottom) {
    RECT r{left, top, right, bottom};
    MapDialogRect(dialog, &r);
    return r;
}

// One button per offered format inside the group box; the box, the OK button and the
// dialog grow or shrink to fit them.
void CreateFormatButtons(HWND dialog) {
    HWND group = GetDlgItem(dialog, IDC_FORMAT_GROUP);
    HWND ok = GetDlgItem(dialog, IDOK);
    RECT groupRect{};
    GetWindowRect(group, &groupRect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&groupRect), 2);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    HWND previous = group;
    for (int i = 0; i < FormatCount(); ++i) {
        const RECT at = DialogUnits(dialog, kButtonLeft, kFirstButtonTop + i * kButtonPitch, 0,
                                    kFirstButtonTop + i * kButtonPitch + kButtonHeight);
        const DWORD style = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
        HWND button = CreateWindowExW(
            0, L"BUTTON", Widen(FileFormatName(FormatDialogChoices()[i])).c_str(), style, at.left, at.top,
            groupRect.right - at.left - (at.left - groupRect.left), at.bottom - at.top, dialog,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FORMAT_FIRST + i)),
            reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)), nullptr);
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        // Tab order: the buttons follow the group box, before OK.
        SetWindowPos(button, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = button;
    }
    const RECT last = DialogUnits(dialog, 0, kFirstButtonTop + (FormatCount() - 1) * kButtonPitch, 0,
                                  kFirstButtonTop + (FormatCount() - 1) * kButtonPitch + kButtonHeight);
    const RECT spacing = DialogUnits(dialog, 0, 0, 0, 7);
    const int groupBottom = last.bottom + spacing.bottom;
    SetWindowPos(group, nullptr, 0, 0, groupRect.right - groupRect.left, groupBottom - groupRect.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    RECT okRect{};
    GetWindowRect(ok, &okRect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&okRect), 2);
    const int okTop = groupBottom + spacing.bottom;
    SetWindowPos(ok, nullptr, okRect.left, okTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    RECT client{0, 0, 0, okTop + (okRect.bottom - okRect.top) + spacing.bottom};
    RECT window{};
    GetWindowRect(dialog, &window);
    RECT current{};
    GetClientRect(dialog, &current);
    const int frame = (window.bottom - window.top) - current.bottom;
    SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left, client.bottom + frame,
                 SWP_NOMOVE | SWP_NOZORDER);
}

int IndexOf(FileFormat format) {
    for (int i = 0; i < FormatCount(); ++i) {
        if (FormatDialogChoices()[i] == format)
            return i;
    }
    return -1;
}

INT_PTR CALLBACK FormatProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = DialogObject<DialogState>(dialog, message, lParam);
    switch (message) {
    case WM_INITDIALOG: {
        CreateFormatButtons(dialog);
        int checked = IndexOf(state->preselected);
        if (checked < 0)
            checked = IndexOf(kFallbackFileFormat);
        CheckRadioButton(dialog, IDC_FORMAT_FIRST, IDC_FORMAT_FIRST + FormatCount() - 1,
                         IDC_FORMAT_FIRST + checked);
        CentreDialog(dialog, state->owner);
        SetFocus(GetDlgItem(dialog, IDC_FORMAT_FIRST + checked));
        return FALSE; // the focus is set
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && state) {
            state->chosen = kFallbackFileFormat;
            for (int i = 0; i < FormatCount(); ++i) {
                if (IsDlgButtonChecked(dialog, IDC_FORMAT_FIRST + i) == BST_CHECKED) {
                    state->chosen = FormatDialogChoices()[i];
                    break;
                }
            }
            EndDialog(dialog, IDOK);
        }
        return TRUE; // no Cancel: Escape and the rest do nothing
    case WM_CLOSE:
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

FileFormat RunFileFormatDialog(HWND owner, FileFormat preselected) {
    DialogState state{owner, preselected, kFallbackFileFormat};
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FILEFORMAT), owner, FormatProc,
                        reinterpret_cast<LPARAM>(&state)) != IDOK)
        return IndexOf(preselected) >= 0 ? preselected : kFallbackFileFormat;
    return state.chosen;
}

} // namespace pyrola::win32
