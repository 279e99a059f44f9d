#include "app/win32/controls/DialogPlacement.h"

#include "app/WindowPlacement.h"

namespace pyrola::win32 {

namespace {
ScreenRect ToScreenRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
} // namespace

void CentreDialog(HWND dialog, HWND owner) {
    RECT own{};
    const bool overOwner = owner && IsWindowVisible(owner) && !IsIconic(owner) && GetWindowRect(owner, &own);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT work{};
    if (GetMonitorInfoW(MonitorFromWindow(overOwner ? owner : dialog, MONITOR_DEFAULTTOPRIMARY), &monitor))
        work = monitor.rcWork;
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT self{};
    GetWindowRect(dialog, &self);
    const ScreenRect over = ToScreenRect(own);
    const ScreenRect placed = CentredPlacement(overOwner ? &over : nullptr, self.right - self.left,
                                               self.bottom - self.top, ToScreenRect(work));
    SetWindowPos(dialog, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace pyrola::win32
