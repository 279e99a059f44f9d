#pragma once
// The last resort for a failure that nothing else caught: a task-modal message box
// titled "Abnormal program termination" with the system's text for the last error, owned
// by the last active popup of the active window, then the end of the process with that
// error as its exit code (-1 when it is 0).

namespace pyrola::win32 {

[[noreturn]] void ExitAfterFatalError();
// Uncaught C++ exceptions (on any thread) and unhandled system exceptions end there.
// Called first thing, so that the adapters' fault guard, installed at its first use,
// passes every fault outside its guarded calls on to it.
void InstallFatalErrorHandlers();

} // namespace pyrola::win32
