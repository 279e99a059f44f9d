#include "app/win32/Win32MessageBus.h"

namespace pyrola::win32 {

Win32MessageBus::Win32MessageBus() : message_(RegisterWindowMessageW(kBusMessageName)) {}

void Win32MessageBus::Send(uint32_t code, uintptr_t value) {
    HWND window = window_.load();
    if (window && message_)
        SendMessageW(window, message_, code, static_cast<LPARAM>(value));
}

void Win32MessageBus::Post(uint32_t code, uintptr_t value) {
    HWND window = window_.load();
    if (window && message_)
        PostMessageW(window, message_, code, static_cast<LPARAM>(value));
}

} // namespace pyrola::win32
