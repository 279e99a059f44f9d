// Gang programming against one board alone, side by side in one run, through the real
// `pyrola` program:
//   - 8 served loaders (pyrola-bsl-sim, paced like real chips: 9600 baud and the flash's
//     times), erase, blank check, program and verify of a 2 KiB image: 8 boards with
//     --gang 1-8 against one board alone;
//   - 4 FET stations on the simulated FET library with a cable delay per call, the same
//     job: --gang 1-4 against one alone.
// Target: the gang's wall time at most 1.25 times that of one board alone. POSIX only (the
// served loader needs pseudo-terminals).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
int main() {
    std::printf("bench_gang_program: served loaders need POSIX pseudo-terminals; not run\n");
    return 0;
}
#else
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

constexpr double kTargetRatio = 1.25;
constexpr int kLoaders = 8;
constexpr int kFetStations = 4;

// Runs a shell command; its wall time in seconds, or a negative number when it failed.
double Timed(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) {
        std::printf("failed (status %d): %s\n", status, command.c_str());
        return -1.0;
    }
    return seconds;
}

// A TI TXT image of `bytes` bytes of code at 0xF000 and a reset vector.
void WriteImage(const std::string& path, int bytes) {
    std::ofstream file(path);
    file << "@F000\n";
    for (int i = 0; i < bytes; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X", (i * 37 + 11) & 0xFF);
        file << byte << ((i % 16 == 15) ? "\n" : " ");
    }
    file << "@FFFE\n00 F0\nq\n";
}

bool Compare(const char* what, double alone, double gang, int boards) {
    if (alone <= 0 || gang <= 0)
        return false;
    const double ratio = gang / alone;
    std::printf("%-28s one board %6.2f s, %d boards %6.2f s: %.2fx (target <= %.2fx) %s\n", what, alone,
                boards, gang, ratio, kTargetRatio, ratio <= kTargetRatio ? "ok" : "TOO SLOW");
    return ratio <= kTargetRatio;
}

} // namespace

int main() {
    const std::string work = std::string(PYROLA_BINARY_DIR) + "/bench/gang_work";
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work);
    const std::string pyrola = PYROLA_PROGRAM;
    const std::string image = work + "/image.txt";
    WriteImage(image, 2048);
    setenv("PYROLA_SETTINGS", (work + "/settings.ini").c_str(), 1);
    const std::string quiet = " >/dev/null 2>&1";

    // --- served loaders, paced like the chip --------------------------------------------------
    unsetenv("PYROLA_SIM_PACE");
    bool started = true;
    for (int port = 1; port <= kLoaders; ++port) {
        const std::string link = work + "/COM" + std::to_string(port);
        const std::string command = "PYROLA_SIM_STATE=" + work + "/bsl" + std::to_string(port) + ".state " +
                                    PYROLA_BSL_SIM + " --detach --link " + link + quiet;
        started = started && std::system(command.c_str()) == 0;
        setenv(("PYROLA_COM" + std::to_string(port)).c_str(), link.c_str(), 1);
    }
    double bslAlone = -1;
    double bslGang = -1;
    if (started) {
        bslAlone = Timed(pyrola + " -bsl -c1 +ebpv " + image + quiet);
        bslGang = Timed(pyrola + " --gang 1-" + std::to_string(kLoaders) + " -bsl +ebpv " + image + quiet);
    }
    for (int port = 1; port <= kLoaders; ++port)
        std::filesystem::remove(work + "/COM" + std::to_string(port)); // ends that server
    const bool bslOk = Compare("BSL, 8 served loaders:", bslAlone, bslGang, kLoaders);

    // --- FET stations with a slow cable -----------------------------------------------------------
    setenv("PYROLA_FET_LIBRARY", PYROLA_FET_LIBRARY, 1);
    setenv("PYROLA_SIM_STATE", (work + "/chip%p.state").c_str(), 1);
    setenv("PYROLA_SIM_FET_DELAY", "100", 1);
    const double fetAlone = Timed(pyrola + " -fet -c1 +ebpv " + image + quiet);
    const double fetGang =
        Timed(pyrola + " --gang 1-" + std::to_string(kFetStations) + " -fet +ebpv " + image + quiet);
    const bool fetOk = Compare("FET, 4 stations:", fetAlone, fetGang, kFetStations);
    return bslOk && fetOk ? 0 : 1;
}
#endif
