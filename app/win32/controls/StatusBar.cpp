#include "app/win32/controls/StatusBar.h"

#include "app/ViewColours.h"

#include <commctrl.h>

namespace pyrola::win32 {

namespace {
constexpr int kPartEdges[3] = {70, 330, -1};
constexpr int kTextPart = 1;
constexpr int kProgressPart = 2;
constexpr int kTextIndent = 3;
} // namespace

void StatusBar::Attach(HWND bar) {
    bar_ = bar;
    SetParts(false);
    SetText(L"");
}

// Without a progress bar the status text takes the progress part's room too, so that a
// long error is not cut short beside an empty pane.
void StatusBar::SetParts(bool withProgress) {
    int edges[3] = {kPartEdges[0], withProgress ? kPartEdges[1] : -1, kPartEdges[2]};
    SendMessageW(bar_, SB_SETPARTS, withProgress ? 3 : 2, reinterpret_cast<LPARAM>(edges));
    SendMessageW(bar_, SB_SETTEXTW, kTextPart | SBT_OWNERDRAW, reinterpret_cast<LPARAM>(text_.c_str()));
}

int StatusBar::Height() const {
    RECT r{};
    GetWindowRect(bar_, &r);
    return r.bottom - r.top;
}

void StatusBar::SetLabel(const std::wstring& label) {
    SendMessageW(bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(label.c_str()));
}

void StatusBar::SetText(const std::wstring& text) {
    text_ = text;
    SendMessageW(bar_, SB_SETTEXTW, kTextPart | SBT_OWNERDRAW, reinterpret_cast<LPARAM>(text_.c_str()));
    RECT part{};
    if (SendMessageW(bar_, SB_GETRECT, kTextPart, reinterpret_cast<LPARAM>(&part)))
        InvalidateRect(bar_, &part, TRUE);
}

void StatusBar::SetError(bool error) {
    error_ = error;
    RECT part{};
    if (SendMessageW(bar_, SB_GETRECT, kTextPart, reinterpret_cast<LPARAM>(&part)))
        InvalidateRect(bar_, &part, TRUE);
}

void StatusBar::Draw(const DRAWITEMSTRUCT& item) const {
    if (static_cast<int>(item.itemID) != kTextPart)
        return;
    RECT at = item.rcItem;
    at.left += kTextIndent;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(bar_, WM_GETFONT, 0, 0));
    HGDIOBJ previous = SelectObject(item.hDC, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC,
                 error_ ? RGB(kStatusErrorColour.red, kStatusErrorColour.green, kStatusErrorColour.blue)
                        : GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(item.hDC, text_.c_str(), static_cast<int>(text_.size()), &at,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(item.hDC, previous);
}

void StatusBar::ProgressCreate(uint32_t range) {
    ProgressDestroy();
    SetParts(true);
    progress_ =
        CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, bar_, nullptr,
                        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(bar_, GWLP_HINSTANCE)), nullptr);
    if (!progress_)
        return;
    FitProgress();
    SendMessageW(progress_, PBM_SETRANGE, 0, MAKELPARAM(0, range > 0xFFFF ? 0xFFFF : range));
}

void StatusBar::ProgressStep() {
    if (progress_)
        SendMessageW(progress_, PBM_STEPIT, 0, 0);
}

void StatusBar::ProgressSetPosition(uint32_t position) {
    if (progress_)
        SendMessageW(progress_, PBM_SETPOS, position, 0);
}

void StatusBar::ProgressDestroy() {
    if (progress_) {
        DestroyWindow(progress_);
        SetParts(false);
    }
    progress_ = nullptr;
}

void StatusBar::Resize() {
    SendMessageW(bar_, WM_SIZE, 0, 0);
    FitProgress();
}

void StatusBar::FitProgress() {
    RECT part{};
    if (!progress_ || !SendMessageW(bar_, SB_GETRECT, kProgressPart, reinterpret_cast<LPARAM>(&part)))
        return;
    // Clear of the size grip at the bar's right end.
    const int grip = GetSystemMetrics(SM_CXVSCROLL);
    if (GetWindowLongW(bar_, GWL_STYLE) & SBARS_SIZEGRIP)
        part.right -= grip;
    MoveWindow(progress_, part.left + 1, part.top + 1, part.right - part.left - 2, part.bottom - part.top - 2,
               TRUE);
}

} // namespace pyrola::win32
