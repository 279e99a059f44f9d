#pragma once
// The Device serialization dialog (template 203), modeless: it draws the serialization
// form and hands it what the user does. The form, and with it the configuration, belongs
// to the main window and outlives the dialog's window, so closing and opening again keeps
// what was set.

#include <functional>
#include <string>
#include <windows.h>

namespace pyrola {
class SerializationForm;
}

namespace pyrola::win32 {

class SerializationDialog {
public:
    // form must outlive the dialog. closing runs when OK or the cancel command closes the
    // window, before the form posts its request 2 (so the main window can re-enable its
    // command first).
    SerializationDialog(HINSTANCE instance, SerializationForm& form, std::function<void()> closing);
    ~SerializationDialog();
    SerializationDialog(const SerializationDialog&) = delete;
    SerializationDialog& operator=(const SerializationDialog&) = delete;

    // Creates the window over owner and shows it, or brings an existing one forward.
    // False when it could not be created.
    bool Show(HWND owner);
    bool Exists() const { return window_ != nullptr; }
    HWND Handle() const { return window_; }
    // Sets every control from the form again (after "In memory" changed, or a job began or
    // ended, which enables or disables Read and Write).
    void Redraw();
    // The dialog's keys (Tab, Enter, Escape) for a message bound for it. True: handled.
    bool TranslateFor(MSG& message);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(UINT id, UINT notification);
    void OnOpen();
    void OnSave();
    void Close();
    std::string FieldText(int id) const;
    void SetField(int id, const std::string& text);

    HINSTANCE instance_;
    SerializationForm& form_;
    std::function<void()> closing_;
    HWND window_ = nullptr;
    HWND owner_ = nullptr;
    // Set while the dialog writes its own controls: their change notifications are not the
    // user's.
    bool drawing_ = false;
};

} // namespace pyrola::win32
