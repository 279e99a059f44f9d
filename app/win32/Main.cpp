// pyrola.exe: the programmer's window. One instance per session: a second start hands
// its command line to the running one and ends. The first builds the platform objects,
// the adapters and the main window, runs its own command line and then the message loop.

#include "adapters/bsl/BslAdapter.h"
#include "adapters/bsl/BslPatch.h"
#include "app/AdapterSuite.h"
#include "app/win32/FatalError.h"
#include "app/win32/MainWindow.h"
#include "app/win32/Win32MessageBus.h"
#include "app/win32/controls/WideText.h"
#include "platform/Clock.h"
#include "platform/DynamicLibrary.h"
#include "platform/FaultGuard.h"
#include "platform/InstanceChannel.h"
#include "platform/PortIo.h"
#include "platform/ProgramDirectory.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "platform/ThreadPriority.h"

#include <commctrl.h>
#include <memory>
#include <new>
#include <objbase.h>
#include <string>
#include <windows.h>

namespace pyrola::win32 {
namespace {

// The command line without the program's own path, which is either quoted or runs to
// the first blank; the blanks after it go too.
std::string ArgumentText(const wchar_t* commandLine) {
    std::wstring_view line(commandLine ? commandLine : L"");
    size_t at = 0;
    if (!line.empty() && line[0] == L'"') {
        const size_t closing = line.find(L'"', 1);
        at = closing == std::wstring_view::npos ? line.size() : closing + 1;
    } else {
        while (at < line.size() && line[at] != L' ' && line[at] != L'\t')
            ++at;
    }
    while (at < line.size() && (line[at] == L' ' || line[at] == L'\t'))
        ++at;
    return Narrow(line.substr(at));
}

int RunMessageLoop(MainWindow& window) {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1)
            return -1;
        if (window.TranslateFor(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

int RunApplication(HINSTANCE instance, int show, const std::string& arguments, InstanceChannel& channel) {
    Win32MessageBus bus;
    std::unique_ptr<SettingsStore> store = CreateSystemSettingsStore();
    AdapterSuite adapters(SystemLibraryLoader(), SystemPortIo(), SystemSerialPorts(), SystemClock(),
                          SystemFaultGuard());
    // The vendor's loader patch for old chips, when shipped beside the program.
    adapters.Bsl().patchFilePath = BesideProgram(kBslPatchFileName);

    MainWindow window(instance, *store, adapters.Set(), bus, &channel);
    window.Shell().Engine().SetPriorityHook(&SetCurrentThreadPriority);
    if (!window.Create(show))
        return 0;
    window.ProcessCommandLine(arguments);
    const int result = RunMessageLoop(window);
    bus.Shutdown();
    return result;
}

int Run(HINSTANCE instance, int show) {
    SetLastError(0);
    const std::string arguments = ArgumentText(GetCommandLineW());
    std::unique_ptr<InstanceChannel> channel = CreateInstanceChannel();
    if (!channel->BecomePrimary()) {
        // The running instance may come to the front: this start is what the user did last.
        AllowSetForegroundWindow(ASFW_ANY);
        const HandOverResult handed = channel->HandOver(arguments);
        if (handed == HandOverResult::Delivered)
            return 0;
        MessageBoxW(nullptr, Widen(HandOverResultText(handed)).c_str(), L"PYROLA",
                    MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    const int result = RunApplication(instance, show, arguments, *channel);
    if (SUCCEEDED(com))
        CoUninitialize();
    return result;
}

} // namespace
} // namespace pyrola::win32

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    pyrola::win32::InstallFatalErrorHandlers();
    try {
        return pyrola::win32::Run(instance, show);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        if (GetLastError() == 0)
            SetLastError(ERROR_INVALID_FUNCTION);
    }
    pyrola::win32::ExitAfterFatalError();
}
