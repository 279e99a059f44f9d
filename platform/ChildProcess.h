#pragma once
// Another program started with its standard output and standard error each on a pipe
// this side reads, its standard input empty. The gang driver runs one station per child,
// so that a fault on one station ends only that child. The child is in a process group of
// its own, so that a terminal's Ctrl+C reaches only the driver, which passes it on once.
// Backends: POSIX (posix_spawn, pipes; Interrupt is SIGINT) and Win32 (CreateProcess,
// pipes; Interrupt sets an event named after the child's process, which the child watches
// with WatchForInterrupt: console control events reach only a shared console, which a
// driver started by a service or under Wine may not have).

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace pyrola {

// How a child ended: its exit status, or the signal (POSIX) that ended it.
struct ChildExit {
    bool exited = false; // false: ended by a signal
    int status = 0;      // the exit status, or the signal's number
};

class ChildProcess {
public:
    enum class Stream { Output, Errors };

    ChildProcess();
    ~ChildProcess(); // ends a child still running (Kill, Wait)
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `arguments` (not counting the program itself). False with the
    // system's words in `error` when it could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& arguments, std::string& error);
    // Blocks until the child writes to the stream; 0 once the child has closed it (it ended).
    // Each stream may be read by its own thread.
    size_t Read(Stream stream, char* buffer, size_t size);
    // Asks the child to cancel as Ctrl+C would.
    void Interrupt();
    // Ends the child at once.
    void Kill();
    // Waits for the child to end; once it has, the same answer again.
    ChildExit Wait();

    struct Handles;

private:
    std::unique_ptr<Handles> handles_;
};

// The child's side of Interrupt where no signal carries it (Windows): `cancel` is called
// once, on a thread of its own, when the parent asks. Nothing on POSIX.
void WatchForInterrupt(void (*cancel)());

// The file of the running program, for starting it again; empty when the system cannot tell.
std::string RunningProgramPath();

} // namespace pyrola
