#include "app/win32/AboutDialog.h"

#include "app/Version.h"
#include "app/win32/controls/DialogObject.h"
#include "app/win32/controls/DialogPlacement.h"
#include "app/win32/controls/HyperLink.h"
#include "app/win32/controls/WideText.h"
#include "app/win32/resource.h"
#include "base/TextFormat.h"
#include "jobs/CommandLine.h"

#include <algorithm>
#include <string>

namespace pyrola::win32 {

namespace {

constexpr const wchar_t* kMailTarget = L"mailto:pyrola@qorvane.example?subject=PYROLA_" PYROLA_VERSION_TEXT;
constexpr const wchar_t* kWebTarget = L"https://qorvane.example/pyrola";
constexpr int kUsageFontHeight = 13;

struct AboutState {
    HWND owner = nullptr;
    HFONT usageFont = nullptr;
};

void Offset(HWND dialog, int id, int dx, int dy, int grow) {
    HWND control = GetDlgItem(dialog, id);
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(control, nullptr, r.left + dx, r.top + dy, r.right - r.left + grow, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The usage text keeps its lines whole whatever the font: its box, and the dialog with
// it, grow to the text's size; the controls below move down.
void FitUsage(HWND dialog, const std::wstring& usage, HFONT font, HWND owner) {
    HWND box = GetDlgItem(dialog, IDC_ABOUT_USAGE);
    RECT need{};
    HDC dc = GetDC(box);
    HGDIOBJ previous = SelectObject(dc, font);
    DrawTextW(dc, usage.c_str(), static_cast<int>(usage.size()), &need, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(box, dc);
    RECT client{};
    GetClientRect(box, &client);
    const int dx = std::max(0, static_cast<int>(need.right - client.right));
    const int dy = std::max(0, static_cast<int>(need.bottom - client.bottom));
    RECT r{};
    for (HWND control : {box, GetDlgItem(dialog, IDC_ABOUT_FRAME)}) {
        GetWindowRect(control, &r);
        SetWindowPos(control, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    Offset(dialog, IDC_ABOUT_VERSION, 0, 0, dx);
    Offset(dialog, IDC_ABOUT_MAIL, 0, dy, 0);
    Offset(dialog, IDC_ABOUT_WEB, 0, dy, 0);
    Offset(dialog, IDOK, dx, dy, 0);
    GetWindowRect(dialog, &r);
    SetWindowPos(dialog, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER);
    CentreDialog(dialog, owner);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = DialogObject<AboutState>(dialog, message, lParam);
    switch (message) {
    case WM_INITDIALOG: {
        const std::string version = Format("PYROLA v%s", PYROLA_VERSION_TEXT) +
                                    "\r\nFlash programmer for MSP430 microcontrollers by " PYROLA_MAKER;
        SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, Widen(version).c_str());
        // The usage lines line up in columns: a fixed-pitch font keeps them so.
        LOGFONTW face{};
        face.lfHeight = kUsageFontHeight;
        face.lfWeight = FW_NORMAL;
        face.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        wcscpy(face.lfFaceName, L"Courier New");
        state->usageFont = CreateFontIndirectW(&face);
        SendDlgItemMessageW(dialog, IDC_ABOUT_USAGE, WM_SETFONT, reinterpret_cast<WPARAM>(state->usageFont),
                            FALSE);
        const std::wstring usage = Widen(kCommandLineUsage);
        SetDlgItemTextW(dialog, IDC_ABOUT_USAGE, usage.c_str());
        FitUsage(dialog, usage, state->usageFont, state->owner);
        MakeHyperLink(GetDlgItem(dialog, IDC_ABOUT_MAIL), kMailTarget);
        MakeHyperLink(GetDlgItem(dialog, IDC_ABOUT_WEB), kWebTarget);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        // The usage text sits on the white box behind it.
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_ABOUT_USAGE) {
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
        }
        return FALSE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDC_ABOUT_MAIL || id == IDC_ABOUT_WEB)
            return TRUE; // the link opens its target itself
        EndDialog(dialog, id == IDOK ? 1 : 2);
        return TRUE;
    }
    case WM_DESTROY:
        if (state && state->usageFont)
            DeleteObject(state->usageFont);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

int RunAboutDialog(HWND owner) {
    AboutState state;
    state.owner = owner;
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), owner,
                                           AboutProc, reinterpret_cast<LPARAM>(&state));
    return result == 1 ? 1 : 2;
}

} // namespace pyrola::win32
