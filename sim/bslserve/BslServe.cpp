// pyrola-bsl-sim: serves the simulated chip's bootstrap loader on a pseudo-terminal.
//
// Prints the terminal's path on standard output, then answers the loader protocol on it
// until it is killed (SIGINT, SIGTERM, SIGHUP) or standard input closes. The chip is
// $PYROLA_SIM_DEVICE (default MSP430F149), or the one the state file $PYROLA_SIM_STATE
// holds; on exit the chip's state is saved there.
//
// A pseudo-terminal carries no modem lines, so the reset and test pulses of the entry
// sequence never arrive: the served chip sits in its loader all the time. A purge of the
// terminal's output queue (which the programmer does only when it restarts the target)
// is taken as such a restart: the loader starts over, locked, with no patch running.

#include "sim/BslTarget.h"
#include "sim/DeviceModel.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) {
    gStop = 1;
}

uint64_t NowNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
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

int Serve() {
    using namespace pyrola::sim;
    const char* deviceName = std::getenv("PYROLA_SIM_DEVICE");
    const char* statePath = std::getenv("PYROLA_SIM_STATE");
    if (deviceName != nullptr && deviceName[0] != '\0' && !DeviceModel::IsDeviceName(deviceName)) {
        std::fprintf(stderr, "pyrola-bsl-sim: unknown device \"%s\" in PYROLA_SIM_DEVICE\n", deviceName);
        return 2;
    }
    DeviceModel device(deviceName != nullptr && deviceName[0] != '\0' ? deviceName : kDefaultChip);
    if (statePath != nullptr && statePath[0] != '\0') {
        struct stat info {};
        if (stat(statePath, &info) == 0 && !device.Load(statePath)) {
            std::fprintf(stderr, "pyrola-bsl-sim: cannot load the chip state from \"%s\"\n", statePath);
            return 2;
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

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // A programmer on a busy machine, or under an emulator, can pause between two bytes
    // of a frame far longer than a real line would; nothing gets lost on a terminal, so
    // the loader waits that long before it forgets a half-received frame.
    BslTargetTiming timing;
    timing.frameGapNs = 2000000000;
    BslTarget target(device, timing);
    target.StartLoader(NowNs());
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    bool stdinOpen = true;
    uint8_t buffer[1 + 4096];
    while (!gStop) {
        pollfd fds[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int ready = poll(fds, stdinOpen ? 2 : 1, 200);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char scratch[256];
            const ssize_t n = read(STDIN_FILENO, scratch, sizeof(scratch));
            if (n <= 0)
                break; // standard input closed: the run is over
        }
        if (stdinOpen && (fds[1].revents & POLLNVAL))
            stdinOpen = false;
        if (!(fds[0].revents & POLLIN))
            continue;
        const ssize_t n = read(master, buffer, sizeof(buffer));
        if (n <= 0)
            continue;
        const uint64_t now = NowNs();
        if (buffer[0] != TIOCPKT_DATA) {
            if (buffer[0] & TIOCPKT_FLUSHWRITE)
                target.StartLoader(now);
            continue;
        }
        for (ssize_t i = 1; i < n; ++i) {
            // Code started outside the loader would take the chip away for good here;
            // the served chip returns to its loader instead.
            if (target.Mode() != BslTargetMode::Loader)
                target.StartLoader(now);
            target.Receive(buffer[i], now);
        }
        std::vector<uint8_t> answer;
        for (const BslTimedByte& b : target.TakeOutput())
            answer.push_back(b.byte);
        if (!answer.empty() && !WriteAll(master, answer.data(), answer.size()))
            break;
    }

    int result = 0;
    if (statePath != nullptr && statePath[0] != '\0' && !device.Save(statePath)) {
        std::fprintf(stderr, "pyrola-bsl-sim: cannot save the chip state to \"%s\"\n", statePath);
        result = 1;
    }
    close(slave);
    close(master);
    return result;
}

} // namespace

int main() {
    return Serve();
}
