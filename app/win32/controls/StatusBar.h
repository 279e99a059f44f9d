#pragma once
// The main window's status bar: part 0 the adapter label, part 1 the status text drawn
// by its owner in the normal or the error colour, part 2 the home of a progress bar that
// exists between its creation and its removal. Part edges at 70 and 330 pixels and the
// window's edge.

#include <cstdint>
#include <string>
#include <windows.h>

namespace pyrola::win32 {

class StatusBar {
public:
    StatusBar() = default;
    StatusBar(const StatusBar&) = delete;
    StatusBar& operator=(const StatusBar&) = delete;

    void Attach(HWND bar);
    HWND Handle() const { return bar_; }
    int Height() const;

    void SetLabel(const std::wstring& label);
    // The part's owner-draw data is the text itself, so SB_GETTEXT gives its address.
    void SetText(const std::wstring& text);
    void SetError(bool error);
    // WM_DRAWITEM from the bar (part 1).
    void Draw(const DRAWITEMSTRUCT& item) const;

    // Range 0..range (at most 65535).
    void ProgressCreate(uint32_t range);
    void ProgressStep();
    void ProgressSetPosition(uint32_t position);
    void ProgressDestroy();

    // After the parent changed size: the bar takes its place, the progress bar follows part 2.
    void Resize();

private:
    void FitProgress();
    // Three parts while a progress bar shows, else two (the text to the right edge).
    void SetParts(bool withProgress);

    HWND bar_ = nullptr;
    HWND progress_ = nullptr;
    std::wstring text_;
    bool error_ = false;
};

} // namespace pyrola::win32
