#include "platform/ChildProcess.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pyrola {

struct ChildProcess::Handles {
    pid_t pid = -1;
    int output = -1;
    int errors = -1;
    std::atomic<bool> ended{false}; // reaped: the number may belong to another process now
    ChildExit exit;
};

ChildProcess::ChildProcess() : handles_(std::make_unique<Handles>()) {}

ChildProcess::~ChildProcess() {
    if (handles_->pid > 0 && !handles_->ended) {
        Kill();
        Wait();
    }
    for (int fd : {handles_->output, handles_->errors}) {
        if (fd >= 0)
            close(fd);
    }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         std::string& error) {
    int output[2] = {-1, -1};
    int errors[2] = {-1, -1};
    if (pipe2(output, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        for (int fd : {output[0], output[1]}) {
            if (fd >= 0)
                close(fd);
        }
        return false;
    }
    std::vector<std::string> words;
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own: the terminal's Ctrl+C reaches the driver alone, which passes it
    // on once; the child's own handlers count a second one as "end at once".
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        sigaddset(&defaults, signal);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(output[1]);
    close(errors[1]);
    if (result != 0) {
        close(output[0]);
        close(errors[0]);
        error = std::strerror(result);
        return false;
    }
    handles_->pid = pid;
    handles_->output = output[0];
    handles_->errors = errors[0];
    return true;
}

size_t ChildProcess::Read(Stream stream, char* buffer, size_t size) {
    const int fd = stream == Stream::Output ? handles_->output : handles_->errors;
    if (fd < 0)
        return 0;
    for (;;) {
        const ssize_t n = read(fd, buffer, size);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            return 0;
    }
}

void ChildProcess::Interrupt() {
    if (handles_->pid > 0 && !handles_->ended)
        kill(handles_->pid, SIGINT);
}

void ChildProcess::Kill() {
    if (handles_->pid > 0 && !handles_->ended)
        kill(handles_->pid, SIGKILL);
}

ChildExit ChildProcess::Wait() {
    if (handles_->pid <= 0 || handles_->ended)
        return handles_->exit;
    int status = 0;
    pid_t done = -1;
    do {
        done = waitpid(handles_->pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    handles_->ended = true;
    if (done == handles_->pid && WIFEXITED(status))
        handles_->exit = {true, WEXITSTATUS(status)};
    else if (done == handles_->pid && WIFSIGNALED(status))
        handles_->exit = {false, WTERMSIG(status)};
    else
        handles_->exit = {true, 255};
    return handles_->exit;
}

std::string RunningProgramPath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

void WatchForInterrupt(void (*)()) {
    // Interrupt is SIGINT, which the program's own handler takes.
}

} // namespace pyrola
