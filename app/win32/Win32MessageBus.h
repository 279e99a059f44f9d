#pragma once
// The message bus of the Windows program: the registered window message
// "ZVN_PyrOLA_ExchMessage" to the main window, with the request code in wParam. Send is
// SendMessage (the window has copied a text when it returns), Post is PostMessage. A
// worker only calls these; it never touches a window itself.

#include "jobs/MessageBus.h"

#include <atomic>
#include <windows.h>

namespace pyrola::win32 {

inline constexpr const wchar_t* kBusMessageName = L"ZVN_PyrOLA_ExchMessage";

class Win32MessageBus : public MessageBus {
public:
    Win32MessageBus();

    // The registered message number; 0 when registration failed.
    UINT Message() const { return message_; }
    // The window every request goes to; requests before this are dropped.
    void Attach(HWND window) { window_ = window; }
    // From now on requests are dropped: the window is about to go.
    void Shutdown() { window_ = nullptr; }

    void Send(uint32_t code, uintptr_t value) override;
    void Post(uint32_t code, uintptr_t value) override;

private:
    UINT message_;
    std::atomic<HWND> window_{nullptr};
};

} // namespace pyrola::win32
