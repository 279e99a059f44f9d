#pragma once
// The little the headless program needs from the console: whether standard error is a
// terminal, and Ctrl+C turned into a flag the main loop polls.

namespace pyrola::cli {

bool StandardErrorIsTerminal();
// Installs the Ctrl+C handler (also for SIGTERM and SIGHUP, and a closed console on
// Windows). Each press increments the count InterruptCount returns; press number
// pressesToEnd ends the process with status 1 (a program that acts on an earlier press
// itself asks for a later one).
void InstallInterruptHandler(int pressesToEnd = 2);
int InterruptCount();
// Writes text and a line end to standard error without the C library's buffers or locks
// (code that faulted may have left them taken) and ends the process with the status.
[[noreturn]] void AbandonProcess(const char* text, int status);

} // namespace pyrola::cli
