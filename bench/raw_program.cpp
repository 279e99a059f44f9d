// Programs and verifies the whole main flash of a simulated MSP430F149 (61,184 bytes,
// about 60 KiB) through the RAW adapter on the simulated parallel port, in virtual time at
// 300, 1000 and 2000 ns per port access (or the access times given as arguments), and
// reports what the bit-banged JTAG costs and whether the flash was timed right: the TCLK
// rate the chip's flash timing generator measured during erase and program against its
// window (257 to 476 kHz), the program and verify times, and port accesses per programmed
// word. Exits non-zero when an operation ran outside the window, when the chip does not
// hold the image, when a port the adapter refused could have been paced into the window,
// or when programming takes more than 15 s at 1 us per access.

#include "adapters/raw/RawJtagAdapter.h"
#include "platform/VirtualClock.h"
#include "sim/DeviceModel.h"
#include "sim/JtagTarget.h"
#include "sim/LptJtagWire.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kStart = 0x1100; // F149 main flash 0x1100-0xFFFF
constexpr uint32_t kLength = 0x10000 - kStart;
constexpr uint32_t kJobBlock = 4 * 256; // the jobs move four adapter blocks at a time
constexpr double kWindowLowHz = 257e3;
constexpr double kWindowHighHz = 476e3;
constexpr double kProgramTargetS = 15.0; // at 1 us per access

double Seconds(uint64_t ns) {
    return double(ns) / 1e9;
}

struct Phase {
    bool ok = false;
    uint64_t accesses = 0;
    uint64_t ns = 0;
    uint64_t outOfWindow = 0;
    uint64_t lastHz = 0;
};

// One run at `accessNs`; false when it shows a fault.
bool RunAt(uint64_t accessNs, const std::vector<uint8_t>& image) {
    using namespace pyrola;
    sim::DeviceModel device("MSP430F149");
    sim::JtagTarget target(device);
    VirtualClock clock;
    sim::LptJtagWire wire(target, clock, accessNs);
    RawJtagAdapter adapter(wire, clock);
    DeviceRecord record{};
    adapter.deviceRecord = &record;
    auto& flash = target.Chip().Flash();

    auto measure = [&](auto&& work) {
        Phase p{false, wire.Accesses(), clock.Nanoseconds(), flash.OperationsOutOfWindow(), 0};
        p.ok = work();
        p.accesses = wire.Accesses() - p.accesses;
        p.ns = clock.Nanoseconds() - p.ns;
        p.outOfWindow = flash.OperationsOutOfWindow() - p.outOfWindow;
        p.lastHz = flash.LastFrequencyHz();
        return p;
    };
    std::printf("%llu ns per port access:\n", static_cast<unsigned long long>(accessNs));
    const Phase open = measure([&] { return adapter.Open(); });
    if (!open.ok) {
        std::printf("  could not open the simulated chip: %s\n",
                    adapter.GetErrorText(adapter.GetErrorNumber()));
        return false;
    }
    const double pacedHz = double(adapter.Port().TclkHz());
    const Phase erase = measure([&] { return adapter.Erase(kEraseMain, kStart, kLength) == 0; });
    if (!adapter.Port().FlashTimingOk()) {
        // Two port writes make the fastest TCLK cycle this port can give.
        const double fastestHz = 1e9 / (2.0 * double(adapter.Port().AccessNs()));
        const bool right = !erase.ok && erase.outOfWindow == 0 && fastestHz < kWindowLowHz;
        std::printf("  refused for erase and program: measured %llu ns per access, at most %.0f kHz of TCLK "
                    "(window %.0f-%.0f kHz): %s\n",
                    static_cast<unsigned long long>(adapter.Port().AccessNs()), fastestHz / 1e3,
                    kWindowLowHz / 1e3, kWindowHighHz / 1e3, right ? "right, nothing was erased" : "WRONG");
        return right;
    }
    if (!erase.ok) {
        std::printf("  erase failed: %s\n", adapter.GetErrorText(adapter.GetErrorNumber()));
        return false;
    }
    const uint64_t eraseHz = erase.lastHz;
    const Phase program = measure([&] {
        for (uint32_t done = 0; done < kLength; done += kJobBlock) {
            const uint32_t n = std::min(kJobBlock, kLength - done);
            if (adapter.WriteMemory(kStart + done, image.data() + done, n) != 0)
                return false;
        }
        return true;
    });
    const Phase verify = measure([&] { return adapter.VerifyMemory(kStart, image.data(), kLength) == 0; });
    std::vector<uint8_t> back(kJobBlock + 1);
    const Phase read = measure([&] {
        for (uint32_t done = 0; done < kLength; done += kJobBlock) {
            const uint32_t n = std::min(kJobBlock, kLength - done);
            if (adapter.ReadMemory(kStart + done, back.data(), n) != 0 ||
                !std::equal(back.begin(), back.begin() + n, image.begin() + done))
                return false;
        }
        return true;
    });
    adapter.Close();
    bool exact = program.ok && verify.ok && read.ok;
    for (uint32_t i = 0; exact && i < kLength; ++i)
        exact = device.Read(kStart + i) == image[i];

    const double words = kLength / 2.0;
    auto inside = [](double hz) { return hz >= kWindowLowHz && hz <= kWindowHighHz; };
    std::printf(
        "  TCLK paced to %.0f kHz (%u port accesses per cycle); the chip measured %.0f kHz during the "
        "erase, %.0f kHz during the program; %llu operations outside the window\n",
        pacedHz / 1e3, adapter.Port().CycleAccesses(), eraseHz / 1e3, program.lastHz / 1e3,
        static_cast<unsigned long long>(erase.outOfWindow + program.outOfWindow));
    std::printf("  erase %.3f s, program %.3f s (%.1f port accesses per word, checked by signature), "
                "verify %.3f s (signature), read back %.3f s (%.1f accesses per word) modelled\n",
                Seconds(erase.ns), Seconds(program.ns), program.accesses / words, Seconds(verify.ns),
                Seconds(read.ns), read.accesses / words);
    const bool fastEnough = accessNs != 1000 || Seconds(program.ns) <= kProgramTargetS;
    if (accessNs == 1000) {
        std::printf("  program time against the 15 s target at 1 us per access: %s\n",
                    fastEnough ? "met" : "NOT MET");
    }
    if (!exact) {
        std::printf("  the chip does not hold the image\n");
    }
    const bool timed = erase.outOfWindow + program.outOfWindow == 0 && inside(double(eraseHz)) &&
                       inside(double(program.lastHz));
    if (!timed) {
        std::printf("  the flash timing left its window\n");
    }
    return exact && timed && fastEnough;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<uint64_t> speeds = {300, 1000, 2000};
    if (argc > 1) {
        speeds.clear();
        for (int i = 1; i < argc; ++i)
            speeds.push_back(std::strtoull(argv[i], nullptr, 10));
    }
    std::vector<uint8_t> image(kLength + 1);
    uint32_t seed = 12345;
    for (uint8_t& b : image) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    std::printf("RAW erase, program and verify, simulated MSP430F149, %u bytes of main flash\n", kLength);
    bool ok = true;
    for (uint64_t ns : speeds)
        ok = RunAt(ns, image) && ok;
    return ok ? 0 : 1;
}
