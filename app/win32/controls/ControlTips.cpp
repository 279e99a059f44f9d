#include "app/win32/controls/ControlTips.h"

#include <commctrl.h>

namespace pyrola::win32 {

namespace {

struct TipContext {
    HWND dialog;
    HWND tips;
    HINSTANCE instance;
};

BOOL CALLBACK AddTip(HWND child, LPARAM context) {
    const TipContext& c = *reinterpret_cast<const TipContext*>(context);
    if (GetParent(child) != c.dialog)
        return TRUE;
    const int id = GetDlgCtrlID(child);
    wchar_t text[256];
    if (id <= 0 || id == 0xFFFF || LoadStringW(c.instance, static_cast<UINT>(id), text, 256) <= 0)
        return TRUE;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS; // the tooltip sees the control's mouse messages
    tool.hwnd = c.dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(child);
    tool.lpszText = text;
    SendMessageW(c.tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    return TRUE;
}

} // namespace

HWND CreateControlTips(HWND dialog, HINSTANCE instance, int maxTipWidth) {
    HWND tips =
        CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr, instance, nullptr);
    if (!tips)
        return nullptr;
    TipContext context{dialog, tips, instance};
    EnumChildWindows(dialog, AddTip, reinterpret_cast<LPARAM>(&context));
    SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, maxTipWidth);
    SendMessageW(tips, TTM_ACTIVATE, TRUE, 0);
    return tips;
}

} // namespace pyrola::win32
