// Host cost of the FET path: program and verify 60 KiB (information and main memory of
// an MSP430F149) through FetAdapter and the simulated FET library, in 256-byte blocks as
// the memory jobs do. Prints CPU time per KiB, without and with the state file that
// separate runs share (written after every changing call).
//
//   bench_fet_program [rounds]
//
// With PYROLA_FET_LIBRARY set, the library is loaded from that file through the system
// loader; otherwise the simulated entry points are used in-process.
#include "adapters/fet/FetAdapter.h"
#include "platform/DynamicLibrary.h"
#include "sim/FetEntryPoints.h"
#include "sim/SimEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace pyrola;

constexpr uint32_t kStart = 0x1000;
constexpr uint32_t kLength = 60 * 1024;
constexpr uint32_t kBlock = 256;

using sim::SetEnvValue;

// One program-and-verify pass; false (with a message) when anything fails.
bool Pass(FetAdapter& fet, const std::vector<uint8_t>& image) {
    DeviceRecord record;
    record.supplyMillivolts = 3600;
    fet.deviceRecord = &record;
    if (!fet.Open()) {
        std::fprintf(stderr, "open failed: %s\n", fet.GetErrorText(fet.GetErrorNumber()));
        return false;
    }
    bool ok = fet.Erase(kEraseAll, 0x1100, 0xEF00) == 0 && fet.EraseCheck(kStart, kLength) == 0;
    for (uint32_t offset = 0; ok && offset < kLength; offset += kBlock) {
        ok = fet.WriteMemory(kStart + offset, image.data() + offset, kBlock) == 0;
    }
    std::vector<uint8_t> back(kBlock);
    for (uint32_t offset = 0; ok && offset < kLength; offset += kBlock) {
        ok = fet.ReadMemory(kStart + offset, back.data(), kBlock) == 0 &&
             std::equal(back.begin(), back.end(), image.begin() + offset);
    }
    for (uint32_t offset = 0; ok && offset < kLength; offset += kBlock) {
        ok = fet.VerifyMemory(kStart + offset, image.data() + offset, kBlock) == 0;
    }
    if (!ok) {
        std::fprintf(stderr, "pass failed: %s\n", fet.GetErrorText(fet.GetErrorNumber()));
    }
    fet.Close();
    return ok;
}

bool Measure(const char* label, FetAdapter& fet, const std::vector<uint8_t>& image, int rounds) {
    std::clock_t begin = std::clock();
    for (int i = 0; i < rounds; ++i) {
        if (!Pass(fet, image)) {
            return false;
        }
    }
    double seconds = double(std::clock() - begin) / CLOCKS_PER_SEC;
    double kib = double(kLength) / 1024.0 * rounds;
    std::printf("%-28s %3d x 60 KiB  CPU %8.3f ms  = %8.2f us per KiB (program + read back + verify)\n",
                label, rounds, seconds * 1e3, seconds * 1e6 / kib);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    if (rounds < 1) {
        rounds = 1;
    }
    std::vector<uint8_t> image(kLength);
    for (uint32_t i = 0; i < kLength; ++i) {
        image[i] = static_cast<uint8_t>((i * 31u) ^ (i >> 8));
    }
    const char* named = std::getenv("PYROLA_FET_LIBRARY");
    const bool external = named != nullptr && named[0] != '\0';
    LibraryLoader& loader = external ? SystemLibraryLoader() : sim::fetlib::InProcessFetLoader();
    SetEnvValue("PYROLA_SIM_DEVICE", "MSP430F149");
    SetEnvValue("PYROLA_SIM_FAULTS", "");
    std::printf("FET path on a simulated MSP430F149, library: %s\n", external ? named : "in-process");

    FetAdapter fet(loader);
    if (!fet.LibraryReady()) {
        std::fprintf(stderr, "library not loaded: %s\n", fet.LibraryName().c_str());
        return 1;
    }
    SetEnvValue("PYROLA_SIM_STATE", "");
    bool ok = Measure("chip in memory", fet, image, rounds);

    std::string state = (std::filesystem::temp_directory_path() /
                         ("pyrola_bench_fet_" + std::to_string(std::random_device{}()) + ".bin"))
                            .string();
    SetEnvValue("PYROLA_SIM_STATE", state);
    ok = ok && Measure("chip saved after each call", fet, image, rounds > 4 ? rounds / 4 : 1);
    SetEnvValue("PYROLA_SIM_STATE", "");
    std::filesystem::remove(state);
    return ok ? 0 : 1;
}
