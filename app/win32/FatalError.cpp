#include "app/win32/FatalError.h"

#include <exception>
#include <windows.h>

namespace pyrola::win32 {

namespace {

// "An unhandled exception occurred" (winerror.h's ERROR_UNHANDLED_EXCEPTION).
constexpr DWORD kErrorUnhandledException = 574;

// The system exception as the error whose text the box shows.
DWORD ErrorForException(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
        return ERROR_NOACCESS;
    case EXCEPTION_STACK_OVERFLOW:
        return ERROR_STACK_OVERFLOW;
    default:
        return kErrorUnhandledException;
    }
}

LONG WINAPI UnhandledSystemException(EXCEPTION_POINTERS* exception) {
    SetLastError(ErrorForException(
        exception && exception->ExceptionRecord ? exception->ExceptionRecord->ExceptionCode : 0));
    ExitAfterFatalError();
}

void UncaughtException() {
    if (GetLastError() == 0)
        SetLastError(kErrorUnhandledException);
    ExitAfterFatalError();
}

} // namespace

void ExitAfterFatalError() {
    const DWORD error = GetLastError();
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    HWND owner = GetActiveWindow();
    if (owner)
        owner = GetLastActivePopup(owner);
    MessageBoxW(owner, text ? text : L"Unknown error", L"Abnormal program termination",
                MB_OK | MB_ICONHAND | MB_TASKMODAL);
    if (text)
        LocalFree(text);
    ExitProcess(error != 0 ? error : static_cast<UINT>(-1));
}

void InstallFatalErrorHandlers() {
    std::set_terminate(UncaughtException);
    SetUnhandledExceptionFilter(UnhandledSystemException);
}

} // namespace pyrola::win32
