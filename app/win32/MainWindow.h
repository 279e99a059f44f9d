#pragma once
// The main window: the resizable modeless dialog 129 that shows what the shell decides
// (command states, title, log, status, device, memory view) and hands on what the user
// did. Its window procedure translates each message into one shell call.

#include "app/AdapterSet.h"
#include "app/MainLayout.h"
#include "app/ProgrammerShell.h"
#include "app/ShellView.h"
#include "app/win32/SerializationDialog.h"
#include "app/win32/controls/LogList.h"
#include "app/win32/controls/MemoryView.h"
#include "app/win32/controls/StatusBar.h"
#include "serialno/SerializationForm.h"

#include <memory>
#include <string>
#include <windows.h>

#include <shellapi.h>

namespace pyrola {
class InstanceChannel;
class SettingsStore;
} // namespace pyrola

namespace pyrola::win32 {

class Win32MessageBus;

class MainWindow : public ShellView {
public:
    // Everything passed in must outlive the window; channel may be null.
    MainWindow(HINSTANCE instance, SettingsStore& store, const AdapterSet& adapters, Win32MessageBus& bus,
               InstanceChannel* channel);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the dialog and shows it in the given state. False when it could not be made.
    bool Create(int show);
    // The program's own command line, once the window is shown.
    void ProcessCommandLine(const std::string& text) { shell_.ProcessCommandLine(text); }
    // Accelerators and dialog keys for a message bound for this window. True: handled.
    bool TranslateFor(MSG& message);
    ProgrammerShell& Shell() { return shell_; }

    // ShellView
    void AppendLog(const std::string& line) override;
    void SetStatusText(const std::string& text) override;
    void SetStatusError(bool error) override;
    void SetAdapterLabel(const std::string& label) override;
    void ProgressCreate(uint32_t range) override;
    void ProgressStep() override;
    void ProgressSetPosition(uint32_t position) override;
    void ProgressDestroy() override;
    void SetTitle(const std::string& title) override;
    void SetCommandStates(const CommandStates& states) override;
    void ShowDevice(uint32_t index, const std::string& information) override;
    void RefreshMemoryView(uint32_t scrollAddress) override;
    FileFormat AskFormat(FileFormat preselected, uint32_t* binaryBase) override;
    void BringToFront() override;
    void RefreshSerialization() override;
    void Beep() override;
    std::optional<bool> Ask(const std::string& title, const std::string& question) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(UINT id, UINT notification);
    void OnBusMessage(WPARAM code, LPARAM value);
    void OnDrawItem(const DRAWITEMSTRUCT& item);
    void OnDropFiles(HDROP drop);
    void OnInitMenuPopup(HMENU menu);
    void OnGetMinMaxInfo(MINMAXINFO& info) const;
    void OnOpen();
    void OnSave();
    void OnAbout();
    void OnSetup();
    void OnSerialization();

    void MeasureLayout();
    void ApplyLayout();
    void FitInitialSize();
    void FillDeviceList();
    void FillRecentMenu();
    void MoveFocusOffDisabled(HWND focused);
    // A modal dialog of this window begins or ends; a hand-over that arrived meanwhile
    // runs once the last one has ended.
    void EnterModal() { ++modal_; }
    void LeaveModal();
    // Exit: cancel, save, then close once no worker can still send to the window.
    void BeginClose();
    void FinishCloseWhenIdle();

    HINSTANCE instance_;
    Win32MessageBus& bus_;
    HWND window_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HWND tips_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    MemoryView memory_;
    LogList log_;
    StatusBar status_;
    MainLayoutMetrics metrics_;
    int modal_ = 0;
    bool handOverWaiting_ = false;
    bool closing_ = false;
    // The serialization dialog and its form, made once the shell exists (the form fills the
    // engine's serial block) and gone after it.
    std::unique_ptr<SerializationForm> serialForm_;
    std::unique_ptr<SerializationDialog> serialDialog_;
    // Last: the shell goes first, so the views it talks to outlive it.
    ProgrammerShell shell_;
};

} // namespace pyrola::win32
