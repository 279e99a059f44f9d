#include "app/win32/controls/HyperLink.h"

#include <commctrl.h>
#include <shellapi.h>

namespace pyrola::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);

struct Link {
    std::wstring target;
    HFONT underlined = nullptr;
};

void Paint(HWND control, Link& link) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(control, &paint);
    if (!link.underlined) {
        LOGFONTW face{};
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        GetObjectW(font ? font : GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
        face.lfUnderline = TRUE;
        link.underlined = CreateFontIndirectW(&face);
    }
    wchar_t text[256];
    const int length = GetWindowTextW(control, text, 256);
    RECT client;
    GetClientRect(control, &client);
    HGDIOBJ previous = SelectObject(dc, link.underlined);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kLinkColour);
    DrawTextW(dc, text, length, &client, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, previous);
    EndPaint(control, &paint);
}

LRESULT CALLBACK LinkProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                          DWORD_PTR data) {
    Link& link = *reinterpret_cast<Link*>(data);
    switch (message) {
    case WM_PAINT:
        Paint(control, link);
        return 0;
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_LBUTTONUP:
        ShellExecuteW(GetParent(control), L"open", link.target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(control, LinkProc, kSubclassId);
        if (link.underlined)
            DeleteObject(link.underlined);
        delete &link;
        break;
    default:
        break;
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

} // namespace

void MakeHyperLink(HWND control, const std::wstring& target) {
    if (!control)
        return;
    auto* link = new Link{target};
    if (!SetWindowSubclass(control, LinkProc, kSubclassId, reinterpret_cast<DWORD_PTR>(link)))
        delete link;
}

} // namespace pyrola::win32
