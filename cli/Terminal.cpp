#include "cli/Terminal.h"

#include "platform/ChildProcess.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace pyrola::cli {

namespace {
std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");
// Set once before the handler is installed: whether a progress bar may stand on the line.
bool eraseLineOnExit = false;
// The press that ends the process at once (set before the handler is installed).
int endingPress = 2;
// Carriage return, blanks over the widest progress bar, carriage return.
constexpr char kEraseLine[] =
    "\r                                                                               \r";

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD type) {
    // The second press is left to the system, which ends the process at once.
    if ((type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) && interrupts.fetch_add(1) + 1 < endingPress)
        return TRUE;
    // A closed console ends the process when this returns: the main thread gets a few
    // seconds to cancel the job and write its log line first.
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        interrupts.fetch_add(1);
        Sleep(4000);
        return TRUE;
    }
    if (eraseLineOnExit) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), kEraseLine, sizeof kEraseLine - 1, &written, nullptr);
    }
    return FALSE;
}
#else
void OnInterrupt(int) {
    // The first press cancels the job; a second one does not wait for a hung adapter call.
    if (interrupts.fetch_add(1) + 1 >= endingPress) {
        // The terminal is left clean: no half-drawn progress bar after the prompt.
        if (eraseLineOnExit) {
            [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kEraseLine, sizeof kEraseLine - 1);
        }
        _exit(1);
    }
}
#endif
} // namespace

bool StandardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void InstallInterruptHandler(int pressesToEnd) {
    eraseLineOnExit = StandardErrorIsTerminal();
    endingPress = pressesToEnd;
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    // A gang driver's cancel request for this station counts as a press.
    WatchForInterrupt([] { interrupts.fetch_add(1); });
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    // A line controller stopping the program (kill, a closed terminal) cancels the job as
    // Ctrl+C does, so the run still ends with its log line.
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A reader that went away (a killed gang driver, `| head`) must not end a board half
    // done: the output is lost, the job and its log line are not.
    signal(SIGPIPE, SIG_IGN);
#endif
}

int InterruptCount() {
    return interrupts.load();
}

void AbandonProcess(const char* text, int status) {
    std::string line = std::string(text) + "\n";
#ifdef _WIN32
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
              nullptr);
    ExitProcess(static_cast<UINT>(status));
#else
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line.data(), line.size());
    _exit(status);
#endif
}

} // namespace pyrola::cli
