// pyrola-bsl-sim: serves the simulated chip's bootstrap loader on a pseudo-terminal.
//
//   pyrola-bsl-sim [--link PATH [--detach]]
//
// Prints the terminal's path on standard output, then answers the loader protocol on it
// until it is killed (SIGINT, SIGTERM, SIGHUP) or standard input closes. With --link it
// also makes PATH a symbolic link to the terminal, and ends when that link is removed;
// with --detach it goes on in the background once the link is there (the command itself
// returns at once), so that a shell can serve the loader and program through it in two
// plain commands.
//
// The chip is $PYROLA_SIM_DEVICE (default MSP430F169, loader version 1.60), or the one the state file
// $PYROLA_SIM_STATE holds; on exit the chip's state is saved there. $PYROLA_SIM_FAULTS
// injects faults (FaultList.h), $PYROLA_SIM_BSL_PATCH names the TI TXT file of the patch
// that works on the chip's old loader, and $PYROLA_SIM_PACE=0 answers at once instead of
// at the line rate and the chip's erase and programming times.
//
// A pseudo-terminal carries no modem lines, so the reset and test pulses of the entry
// sequence never arrive: the served chip sits in its loader all the time. A purge of the
// terminal's output queue (which the programmer does only when it restarts the target)
// is taken as such a restart: the loader starts over, locked, with no patch running. The
// terminal does carry the rate the programmer set on it: bytes sent, and answers due,
// while that rate is not the loader's are lost, as on a cable.

#include "image/ImageFileContext.h"
#include "image/MemoryImage.h"
#include "image/TiTxtReader.h"
#include "sim/BoardSocket.h"
#include "sim/BslServedLine.h"
#include "sim/BslTarget.h"
#include "sim/DeviceModel.h"
#include "sim/FaultList.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace pyrola::sim;

constexpr int kExitUsage = 2;
constexpr uint32_t kPatchAddress = 0x0220;
// A chip whose loader has the erase check and the faster rates, so that a plain
// erase, blank check, program and verify runs as on most boards in the field.
constexpr const char* kServedChip = "MSP430F169";

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) {
    gStop = 1;
}

uint64_t NowNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// The rate the programmer's side of the terminal is set to; 0 when it cannot be told.
uint32_t TerminalRate(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return 0;
    switch (cfgetospeed(&tio)) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

bool WriteAll(int fd, const uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t n = write(fd, data, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

int Usage(FILE* to, int status) {
    std::fprintf(to, "usage: pyrola-bsl-sim [--link PATH [--detach]]\n"
                     "  --link PATH  make PATH a symbolic link to the terminal; removing it ends the server\n"
                     "  --detach     go on in the background once the link is there\n");
    return status;
}

struct Options {
    std::string link;
    bool detach = false;
};

std::optional<Options> ParseOptions(int argc, char** argv, int& status) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            status = Usage(stdout, 0);
            return std::nullopt;
        }
        if (argument == "--link" && i + 1 < argc && argv[i + 1][0] != '\0') {
            options.link = argv[++i];
        } else if (argument == "--detach") {
            options.detach = true;
        } else {
            std::fprintf(stderr, "pyrola-bsl-sim: unknown or incomplete option \"%s\"\n", argument.c_str());
            status = Usage(stderr, kExitUsage);
            return std::nullopt;
        }
    }
    if (options.detach && options.link.empty()) {
        std::fprintf(stderr,
                     "pyrola-bsl-sim: --detach needs --link PATH (removing the link ends the server)\n");
        status = Usage(stderr, kExitUsage);
        return std::nullopt;
    }
    return options;
}

const char* Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// The bytes of the working patch: a TI TXT file whose data start at 0x0220 and run
// without gaps.
bool ReadWorkingPatch(const char* path, std::vector<uint8_t>& bytes, std::string& reason) {
    pyrola::MemoryImage image;
    image.Clear();
    pyrola::ImageFileContext context;
    context.image = &image;
    if (pyrola::ReadTiTxtFile(context, path) <= 0 || !context.errorText.empty()) {
        reason = context.errorText.empty() ? "no data" : context.errorText;
        return false;
    }
    if (image.Low() != kPatchAddress) {
        reason = "data does not start at 0x0220";
        return false;
    }
    for (uint32_t address = kPatchAddress; address <= image.High(); ++address) {
        if (!image.IsPresent(address)) {
            reason = "gap in the data";
            return false;
        }
        bytes.push_back(image.ValueAt(address));
    }
    return true;
}

// The link to the terminal: made at start, watched while serving, removed at the end
// when it still points at this server's terminal.
class TerminalLink {
public:
    TerminalLink(std::string path, std::string terminal)
        : path_(std::move(path)), terminal_(std::move(terminal)) {}
    ~TerminalLink() {
        if (made_ && StillOurs())
            unlink(path_.c_str());
    }

    bool Make(std::string& reason) {
        struct stat info {};
        if (lstat(path_.c_str(), &info) == 0) {
            if (!S_ISLNK(info.st_mode)) {
                reason = "exists and is not a symbolic link; it is left alone";
                return false;
            }
            unlink(path_.c_str()); // a link left by an earlier server
        }
        if (symlink(terminal_.c_str(), path_.c_str()) != 0) {
            reason = std::strerror(errno);
            return false;
        }
        made_ = true;
        return true;
    }

    bool StillOurs() const {
        char target[512];
        const ssize_t n = readlink(path_.c_str(), target, sizeof(target) - 1);
        return n > 0 && std::string(target, static_cast<size_t>(n)) == terminal_;
    }

private:
    std::string path_;
    std::string terminal_;
    bool made_ = false;
};

// Standard input, output and error of a server in the background: nothing holds the
// caller's pipes open, and a terminal keeps getting the error messages.
void LeaveTheForeground() {
    setsid();
    const int null = open("/dev/null", O_RDWR);
    if (null < 0)
        return;
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    if (!isatty(STDERR_FILENO))
        dup2(null, STDERR_FILENO);
    if (null > STDERR_FILENO)
        close(null);
}

int Serve(const Options& options) {
    const char* deviceName = Environment("PYROLA_SIM_DEVICE");
    const char* statePath = Environment("PYROLA_SIM_STATE");
    const char* faults = Environment("PYROLA_SIM_FAULTS");
    const char* pace = Environment("PYROLA_SIM_PACE");
    const char* patchPath = Environment("PYROLA_SIM_BSL_PATCH");
    if (deviceName != nullptr && !DeviceModel::IsDeviceName(deviceName)) {
        std::fprintf(stderr,
                     "pyrola-bsl-sim: unknown device \"%s\" in PYROLA_SIM_DEVICE; the known devices:\n",
                     deviceName);
        for (const std::string& name : DeviceModel::DeviceNames())
            std::fprintf(stderr, "%s\n", name.c_str());
        return kExitUsage;
    }
    if (pace != nullptr && std::strcmp(pace, "0") != 0 && std::strcmp(pace, "1") != 0) {
        std::fprintf(stderr, "pyrola-bsl-sim: PYROLA_SIM_PACE must be 0 (unpaced) or 1 (paced), not \"%s\"\n",
                     pace);
        return kExitUsage;
    }
    std::vector<uint8_t> workingPatch;
    if (patchPath != nullptr) {
        std::string reason;
        if (!ReadWorkingPatch(patchPath, workingPatch, reason)) {
            std::fprintf(stderr, "pyrola-bsl-sim: PYROLA_SIM_BSL_PATCH \"%s\": %s\n", patchPath,
                         reason.c_str());
            return kExitUsage;
        }
    }
    DeviceModel device(deviceName != nullptr ? deviceName : kServedChip);
    if (statePath != nullptr) {
        struct stat info {};
        if (stat(statePath, &info) == 0 && !device.Load(statePath)) {
            std::fprintf(stderr, "pyrola-bsl-sim: cannot load the chip state from \"%s\"\n", statePath);
            return kExitUsage;
        }
    }
    LoaderFaults loaderFaults;
    if (faults != nullptr) {
        std::string error;
        if (!ApplyFaultList(faults, device, &error, &loaderFaults)) {
            std::fprintf(stderr, "pyrola-bsl-sim: PYROLA_SIM_FAULTS: %s\n", error.c_str());
            return kExitUsage;
        }
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "pyrola-bsl-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const char* slaveName = ptsname(master);
    if (slaveName == nullptr) {
        std::fprintf(stderr, "pyrola-bsl-sim: no terminal name: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string slavePath = slaveName;
    // Holding the terminal open keeps it alive between programmer runs, and raw mode
    // keeps the line discipline from echoing or translating before a programmer opens it.
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        std::fprintf(stderr, "pyrola-bsl-sim: cannot open %s: %s\n", slavePath.c_str(), std::strerror(errno));
        return 1;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    // Packet mode reports the terminal's queue purges alongside the data.
    int packet = 1;
    if (ioctl(master, TIOCPKT, &packet) != 0) {
        std::fprintf(stderr, "pyrola-bsl-sim: packet mode unavailable: %s\n", std::strerror(errno));
        return 1;
    }
    std::optional<TerminalLink> link;
    if (!options.link.empty()) {
        link.emplace(options.link, slavePath);
        std::string reason;
        if (!link->Make(reason)) {
            std::fprintf(stderr, "pyrola-bsl-sim: cannot make the link \"%s\": %s\n", options.link.c_str(),
                         reason.c_str());
            return 1;
        }
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);
    if (options.detach) {
        const pid_t child = fork();
        if (child < 0) {
            std::fprintf(stderr, "pyrola-bsl-sim: cannot go into the background: %s\n", std::strerror(errno));
            return 1;
        }
        if (child > 0)
            _exit(0); // the link and the terminal now belong to the server in the background
        LeaveTheForeground();
    }

    // A programmer on a busy machine, or under an emulator, can pause between two bytes
    // of a frame far longer than a real line would; nothing gets lost on a terminal, so
    // the loader waits that long before it forgets a half-received frame.
    BslTargetTiming timing;
    timing.frameGapNs = 2000000000;
    BslTarget target(device, timing);
    target.SetWorkingPatch(workingPatch);
    BslServedLine line(target, pace == nullptr || std::strcmp(pace, "1") == 0);
    line.SetFaults(loaderFaults);
    target.StartLoader(NowNs());
    // A test's board socket: boards pulled out and put in while the server runs.
    std::optional<BoardSocket> socket;
    if (const char* board = Environment("PYROLA_SIM_BOARD"))
        socket.emplace(board, statePath != nullptr ? std::string(statePath) + ".board" : std::string());
    bool boardAbsent = false;
    auto lookAtSocket = [&](uint64_t now) {
        std::string error;
        switch (socket->Check(device, &loaderFaults, false, error)) {
        case BoardSocket::Look::Invalid:
            std::fprintf(stderr, "pyrola-bsl-sim: PYROLA_SIM_BOARD: %s\n", error.c_str());
            break;
        case BoardSocket::Look::Absent:
            boardAbsent = true;
            target.SetSilent(true);
            break;
        case BoardSocket::Look::Inserted:
            line.SetFaults(loaderFaults);
            target.StartLoader(now);
            boardAbsent = false;
            break;
        case BoardSocket::Look::Present:
        case BoardSocket::Look::AsItIs:
            if (boardAbsent) {
                target.StartLoader(now); // put back: it starts again, locked
                target.SetSilent(loaderFaults.silent);
            }
            boardAbsent = false;
            break;
        }
    };
    if (socket)
        lookAtSocket(NowNs());
    uint64_t nextSocketCheck = 0;

    const bool watchInput = !options.detach;
    uint64_t nextLinkCheck = 0;
    uint8_t buffer[1 + 4096];
    while (!gStop) {
        uint64_t now = NowNs();
        int timeoutMs = 200;
        const uint64_t due = line.NextDueNs();
        if (due != kBslNothingDue)
            timeoutMs =
                due <= now ? 0 : static_cast<int>(std::min<uint64_t>(200, (due - now + 999999) / 1000000));
        pollfd fds[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int ready = poll(fds, watchInput ? 2 : 1, timeoutMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (watchInput && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char scratch[256];
            if (read(STDIN_FILENO, scratch, sizeof(scratch)) <= 0)
                break; // standard input closed: the run is over
        }
        now = NowNs();
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            const ssize_t n = read(master, buffer, sizeof(buffer));
            if (n > 0 && buffer[0] == TIOCPKT_DATA)
                line.FromHost(buffer + 1, static_cast<size_t>(n - 1), now, TerminalRate(slave));
            else if (n > 0 && (buffer[0] & TIOCPKT_FLUSHWRITE))
                line.Restart(now);
        }
        const std::vector<uint8_t> answer = line.TakeDue(now, TerminalRate(slave));
        if (!answer.empty() && !WriteAll(master, answer.data(), answer.size()))
            break;
        if (socket && now >= nextSocketCheck) {
            lookAtSocket(now);
            nextSocketCheck = now + 100000000;
        }
        if (link && now >= nextLinkCheck) {
            if (!link->StillOurs())
                break; // the link was removed: the user is done
            nextLinkCheck = now + 200000000;
        }
    }

    int result = 0;
    if (statePath != nullptr && !device.Save(statePath)) {
        std::fprintf(stderr, "pyrola-bsl-sim: cannot save the chip state to \"%s\"\n", statePath);
        result = 1;
    }
    close(slave);
    close(master);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    const std::optional<Options> options = ParseOptions(argc, argv, status);
    if (!options)
        return status;
    return Serve(*options);
}
