#pragma once
// Drives the Windows program from outside, as a user (or an accessibility tool) would:
// starts it, finds its windows and controls by id, clicks buttons and presses keys, and
// reads texts, list lines, enabled states, the status bar and the pixels on the screen.
// Controls whose messages carry pointers (status bar, list view) are read through a
// buffer placed in the program's own memory.

#include "tests/support/ProgramRun.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pyrola::ui_test {

using test::NativePath;
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);

// Polls until condition holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, uint32_t timeoutMs = 20000);

// A started program; terminated on destruction if it still runs.
class Process {
public:
    // environment: variables set for the child only (an empty value removes one).
    static std::unique_ptr<Process> Start(const std::string& program,
                                          const std::vector<std::string>& arguments,
                                          const std::vector<std::pair<std::string, std::string>>& environment,
                                          int show = SW_SHOWNORMAL);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The exit code once the program has ended within the time; nothing otherwise.
    std::optional<DWORD> WaitForExit(uint32_t timeoutMs);
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }

private:
    Process(HANDLE process, DWORD id) : process_(process), id_(id) {}
    HANDLE process_;
    DWORD id_;
};

// The top-level windows of process `id` whose class is a dialog's.
std::vector<HWND> DialogsOf(DWORD processId);
// The main window of the program: its dialog whose title starts with "PYROLA -".
HWND FindMainWindow(DWORD processId);
// A dialog of the process owned by owner (a message box, the File Format dialog, ...).
HWND FindOwnedDialog(DWORD processId, HWND owner);
// A visible dialog of the process by its caption.
HWND FindDialogTitled(DWORD processId, const std::wstring& caption);
// Restores window and makes it the foreground window; true once it is.
bool ComeToFront(HWND window);
// Key presses as the keyboard gives them to the foreground window: every key down in
// order, then up in reverse ({VK_CONTROL, 'L'} is Ctrl+L). True when all were sent.
bool PressKeys(const std::vector<WORD>& keys);
// Types path into an open or save file dialog and confirms it.
void ChooseFileInDialog(HWND fileDialog, const std::string& path);

struct Pixel {
    uint8_t red = 0, green = 0, blue = 0;
};

// The screen's pixels over a window's rectangle.
struct Screenshot {
    RECT area{}; // screen coordinates
    std::vector<uint8_t> rgb;
    int Width() const { return area.right - area.left; }
    int Height() const { return area.bottom - area.top; }
    Pixel At(int screenX, int screenY) const;
    bool SavePng(const std::string& path) const;
};
Screenshot CaptureWindow(HWND window);

// One window of the driven program and its controls.
class RemoteWindow {
public:
    RemoteWindow(HWND window, HANDLE process) : window_(window), process_(process) {}
    HWND Handle() const { return window_; }
    HWND Control(int id) const { return GetDlgItem(window_, id); }

    std::wstring Title() const;
    std::wstring Text(int id) const;
    // Replaces a control's text as typing does: an edit field tells its dialog it changed.
    void SetText(int id, const std::string& text) const;
    bool Enabled(int id) const;
    bool Checked(int id) const;
    // A click as BM_CLICK; PostClick does not wait for the program (a click that opens
    // a modal dialog).
    void Click(int id) const;
    void PostClick(int id) const;
    void PostCommand(int id) const;
    // A key press (down and up) posted to the window's focused control.
    void PostKey(UINT virtualKey) const;
    // Files dropped on the window as the shell delivers them: a drop block in the program's
    // memory (a fixed memory block's handle is its address). The program's DragFinish
    // cannot free that block, which under Wine only fails quietly.
    void DropFiles(const std::vector<std::string>& paths) const;

    std::vector<std::wstring> ListLines(int id) const;
    int ComboCount(int id) const;
    int ComboSelection(int id) const;
    std::wstring ComboText(int id, int index) const;
    void SelectCombo(int id, int index) const;

    // Status bar parts: the text of an ordinary part, or the text an owner-drawn part
    // holds as its data.
    std::wstring StatusPart(int id, int part) const;
    RECT StatusPartRect(int id, int part) const; // screen coordinates
    int ListViewCount(int id) const;
    int ListViewColumnWidth(int id) const;
    RECT ListViewRowRect(int id, int row) const; // screen coordinates
    // The control that has the keyboard focus in the program's window thread.
    HWND Focus() const;

private:
    // Copies size bytes out of the program's memory at address; false when unreadable.
    bool ReadRemote(uintptr_t address, void* target, size_t size) const;
    // Sends a message whose lParam points at a buffer of size bytes in the program,
    // filled with `in` first and read back into `out` afterwards.
    LRESULT SendWithBuffer(HWND control, UINT message, WPARAM wParam, const void* in, void* out,
                           size_t size) const;

    HWND window_;
    HANDLE process_;
};

} // namespace pyrola::ui_test
