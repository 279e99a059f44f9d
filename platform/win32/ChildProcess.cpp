#include "platform/ChildProcess.h"

#include "platform/win32/SystemErrorText.h"

#include <windows.h>

#include <atomic>
#include <thread>

namespace pyrola {

namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

// One argument as the C runtime's command-line reading takes it back: quoted when it holds
// a blank or a quote, backslashes doubled only before a quote.
void AppendArgument(std::wstring& line, const std::wstring& argument) {
    if (!line.empty())
        line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

// The event a child waits on for its parent's cancel request: console control events
// reach only processes on the sender's console, which a driver started by a service or
// under Wine may not have.
std::wstring CancelEventName(DWORD processId) {
    return L"Local\\PyrolaCancel" + std::to_wstring(processId);
}

} // namespace

struct ChildProcess::Handles {
    HANDLE process = nullptr;
    DWORD id = 0;
    HANDLE output = nullptr;
    HANDLE errors = nullptr;
    HANDLE cancel = nullptr; // the child's cancel event
    std::atomic<bool> ended{false};
    ChildExit exit;
};

ChildProcess::ChildProcess() : handles_(std::make_unique<Handles>()) {}

ChildProcess::~ChildProcess() {
    if (handles_->process && !handles_->ended) {
        Kill();
        Wait();
    }
    for (HANDLE handle : {handles_->output, handles_->errors, handles_->cancel, handles_->process}) {
        if (handle)
            CloseHandle(handle);
    }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         std::string& error) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output[2] = {nullptr, nullptr};
    HANDLE errors[2] = {nullptr, nullptr};
    if (!CreatePipe(&output[0], &output[1], &inherit, 0) ||
        !CreatePipe(&errors[0], &errors[1], &inherit, 0)) {
        error = win32::SystemErrorText(GetLastError());
        for (HANDLE handle : {output[0], output[1]}) {
            if (handle)
                CloseHandle(handle);
        }
        return false;
    }
    // Only the child's ends are inherited; children are started one after another, each
    // parent copy closed before the next start.
    SetHandleInformation(output[0], HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errors[0], HANDLE_FLAG_INHERIT, 0);
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    std::wstring line;
    AppendArgument(line, Wide(program));
    for (const std::string& argument : arguments)
        AppendArgument(line, Wide(argument));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input != INVALID_HANDLE_VALUE ? input : nullptr;
    startup.hStdOutput = output[1];
    startup.hStdError = errors[1];
    PROCESS_INFORMATION info{};
    const std::wstring path = Wide(program);
    // A group of its own: the console's Ctrl+C reaches the driver alone, which passes it on
    // once through the child's cancel event.
    const BOOL started = CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, TRUE,
                                        CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &info);
    const DWORD why = GetLastError();
    CloseHandle(output[1]);
    CloseHandle(errors[1]);
    if (input != INVALID_HANDLE_VALUE)
        CloseHandle(input);
    if (!started) {
        CloseHandle(output[0]);
        CloseHandle(errors[0]);
        error = win32::SystemErrorText(why);
        return false;
    }
    CloseHandle(info.hThread);
    // Made (or opened, should the child have been first) while the child runs, so that a
    // request made before the child looks is kept for it.
    handles_->cancel = CreateEventW(nullptr, TRUE, FALSE, CancelEventName(info.dwProcessId).c_str());
    handles_->process = info.hProcess;
    handles_->id = info.dwProcessId;
    handles_->output = output[0];
    handles_->errors = errors[0];
    return true;
}

size_t ChildProcess::Read(Stream stream, char* buffer, size_t size) {
    const HANDLE pipe = stream == Stream::Output ? handles_->output : handles_->errors;
    DWORD read = 0;
    if (!pipe || !ReadFile(pipe, buffer, static_cast<DWORD>(size), &read, nullptr))
        return 0; // ERROR_BROKEN_PIPE: the child closed its end
    return read;
}

void ChildProcess::Interrupt() {
    if (!handles_->process || handles_->ended)
        return;
    // Without a console to share, the child cannot be asked: it is ended instead.
    // Without the child's event (it could not be made) the child cannot be asked: it is
    // ended instead.
    if (!handles_->cancel || !SetEvent(handles_->cancel))
        TerminateProcess(handles_->process, 1);
}

void ChildProcess::Kill() {
    if (handles_->process && !handles_->ended)
        TerminateProcess(handles_->process, 1);
}

ChildExit ChildProcess::Wait() {
    if (!handles_->process || handles_->ended)
        return handles_->exit;
    WaitForSingleObject(handles_->process, INFINITE);
    DWORD code = 255;
    GetExitCodeProcess(handles_->process, &code);
    handles_->exit = {true, static_cast<int>(code)};
    handles_->ended = true;
    return handles_->exit;
}

std::string RunningProgramPath() {
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2)
        return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), text.data(), size, nullptr, nullptr);
    return text;
}

void WatchForInterrupt(void (*cancel)()) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, CancelEventName(GetCurrentProcessId()).c_str());
    if (!event)
        return;
    std::thread([event, cancel] {
        if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0)
            cancel();
    }).detach();
}

} // namespace pyrola
