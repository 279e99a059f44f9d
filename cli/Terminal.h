#pragma once
// The little the headless program needs from the console: whether standard error is a
// terminal, and Ctrl+C turned into a flag the main loop polls.

namespace pyrola::cli {

bool StandardErrorIsTerminal();
// Installs the Ctrl+C handler (also for SIGTERM and SIGHUP, and a closed console on
// Windows). The first press increments the count InterruptCount
// returns; a second press ends the process with status 1.
void InstallInterruptHandler();
int InterruptCount();
// Writes text and a line end to standard error without the C library's buffers or locks
// (code that faulted may have left them taken) and ends the process with the status.
[[noreturn]] void AbandonProcess(const char* text, int status);

} // namespace pyrola::cli
