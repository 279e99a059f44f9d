#include "app/win32/FileFormatDialog.h"

#include "app/FormatChoices.h"
#include "app/win32/controls/DialogObject.h"
#include "app/win32/controls/DialogPlacement.h"
#include "app/win32/controls/WideText.h"
#include "app/win32/resource.h"
#include "image/ImageAddress.h"

#include <cwchar>
#include <iterator>
#include <optional>
#include <string>

namespace pyrola::win32 {

namespace {

int FormatCount() {
    return static_cast<int>(FormatDialogChoices().size());
}

// Dialog units: where the first button sits inside the group box, and the row pitch.
constexpr int kButtonLeft = 14, kFirstButtonTop = 19, kButtonPitch = 12, kButtonHeight = 10;

// The base field's row: its label's width and the edit's, in dialog units.
constexpr int kBaseLabelWidth = 46, kBaseEditWidth = 44, kBaseHeight = 12;

struct DialogState {
    HWND owner;
    FileFormat preselected;
    FileFormat chosen;
    uint32_t* binaryBase; // null: no base field
};

RECT DialogUnits(HWND dialog, int left, int top, int right, int bottom) {
    RECT r{left, top, right, bottom};
    MapDialogRect(dialog, &r);
    return r;
}

HWND CreateChild(HWND dialog, const wchar_t* kind, const std::wstring& text, DWORD style, const RECT& at,
                 int id) {
    HWND child =
        CreateWindowExW(kind == std::wstring(L"EDIT") ? WS_EX_CLIENTEDGE : 0, kind, text.c_str(),
                        WS_CHILD | WS_VISIBLE | style, at.left, at.top, at.right - at.left,
                        at.bottom - at.top, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)), nullptr);
    SendMessageW(child, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    return child;
}

// One button per offered format inside the group box, and for a load the base field below
// it; the box, the OK button and the dialog grow or shrink to fit them.
void CreateFormatButtons(HWND dialog, const uint32_t* binaryBase) {
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
    int below = groupBottom;
    if (binaryBase) {
        const RECT row = DialogUnits(dialog, 0, 0, kBaseLabelWidth, kBaseHeight);
        const RECT edit = DialogUnits(dialog, 0, 0, kBaseEditWidth, kBaseHeight);
        const int top = groupBottom + spacing.bottom / 2;
        CreateChild(dialog, L"STATIC", L"Binary file at:", SS_LEFT | SS_CENTERIMAGE,
                    {groupRect.left, top, groupRect.left + row.right, top + row.bottom},
                    IDC_FORMAT_BASE_LABEL);
        wchar_t text[16];
        swprintf(text, 16, L"0x%X", static_cast<unsigned>(*binaryBase));
        HWND field = CreateChild(dialog, L"EDIT", text, ES_AUTOHSCROLL | WS_TABSTOP,
                                 {groupRect.right - edit.right, top, groupRect.right, top + edit.bottom},
                                 IDC_FORMAT_BASE);
        SendMessageW(field, EM_LIMITTEXT, 9, 0);
        SetWindowPos(field, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        below = top + row.bottom;
    }
    RECT okRect{};
    GetWindowRect(ok, &okRect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&okRect), 2);
    const int okTop = below + spacing.bottom;
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
        CreateFormatButtons(dialog, state->binaryBase);
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
            if (state->binaryBase) {
                wchar_t text[16] = L"";
                GetDlgItemTextW(dialog, IDC_FORMAT_BASE, text, 16);
                const std::optional<uint32_t> base = ParseImageAddress(Narrow(text));
                if (!base) {
                    // No way out but OK: a base that is no address is asked for again.
                    MessageBeep(MB_ICONHAND);
                    SetFocus(GetDlgItem(dialog, IDC_FORMAT_BASE));
                    SendDlgItemMessageW(dialog, IDC_FORMAT_BASE, EM_SETSEL, 0, -1);
                    return TRUE;
                }
                *state->binaryBase = *base;
            }
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

FileFormat RunFileFormatDialog(HWND owner, FileFormat preselected, uint32_t* binaryBase) {
    DialogState state{owner, preselected, kFallbackFileFormat, binaryBase};
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FILEFORMAT), owner, FormatProc,
                        reinterpret_cast<LPARAM>(&state)) != IDOK)
        return IndexOf(preselected) >= 0 ? preselected : kFallbackFileFormat;
    return state.chosen;
}

} // namespace pyrola::win32
