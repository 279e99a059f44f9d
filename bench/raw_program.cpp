// Programs and verifies the whole main flash of a simulated MSP430F149 (61,184 bytes,
// about 60 KiB) through the RAW adapter on the simulated parallel port, in virtual time at
// 1 us per port access, and reports what the bit-banged JTAG costs: port accesses per
// programmed word, the modelled time, and the TCLK rate that access time gives against
// the flash timing generator's window (257 to 476 kHz): inside the TCLK pulse trains that
// time erase and programming, one TCLK cycle is two port writes.

#include "adapters/raw/RawJtagAdapter.h"
#include "platform/VirtualClock.h"
#include "sim/DeviceModel.h"
#include "sim/JtagTarget.h"
#include "sim/LptJtagWire.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr uint32_t kStart = 0x1100; // F149 main flash 0x1100-0xFFFF
constexpr uint32_t kLength = 0x10000 - kStart;
constexpr uint32_t kJobBlock = 4 * 256; // the jobs move four adapter blocks at a time
constexpr uint64_t kAccessNs = 1000;
constexpr double kWindowLowHz = 257e3;
constexpr double kWindowHighHz = 476e3;

double Seconds(uint64_t ns) {
    return double(ns) / 1e9;
}

struct Phase {
    uint64_t accesses = 0;
    uint64_t ns = 0;
    uint64_t tclk = 0;
};

} // namespace

int main() {
    using namespace pyrola;
    sim::DeviceModel device("MSP430F149");
    sim::JtagTarget target(device);
    VirtualClock clock;
    sim::LptJtagWire wire(target, clock, kAccessNs);
    RawJtagAdapter adapter(wire, clock);
    DeviceRecord record{};
    adapter.deviceRecord = &record;

    std::vector<uint8_t> image(kLength + 1);
    uint32_t seed = 12345;
    for (uint8_t& b : image) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }

    auto measure = [&](auto&& work) {
        Phase p{wire.Accesses(), clock.Nanoseconds(), target.TclkCycles()};
        const bool ok = work();
        p.accesses = wire.Accesses() - p.accesses;
        p.ns = clock.Nanoseconds() - p.ns;
        p.tclk = target.TclkCycles() - p.tclk;
        return ok ? p : Phase{};
    };

    const auto wallStart = std::chrono::steady_clock::now();
    const Phase open = measure([&] { return adapter.Open(); });
    const Phase erase = measure([&] { return adapter.Erase(kEraseMain, kStart, kLength) == 0; });
    const Phase blank = measure([&] { return adapter.EraseCheck(kStart, kLength) == 0; });
    if (open.ns == 0 || erase.ns == 0 || blank.ns == 0) {
        std::printf("raw_program: could not open, erase and blank-check the simulated chip: %s\n",
                    adapter.GetErrorText(adapter.GetErrorNumber()));
        return 1;
    }
    const Phase program = measure([&] {
        for (uint32_t done = 0; done < kLength; done += kJobBlock) {
            const uint32_t n = std::min(kJobBlock, kLength - done);
            if (adapter.WriteMemory(kStart + done, image.data() + done, n) != 0)
                return false;
        }
        return true;
    });
    std::vector<uint8_t> back(kJobBlock + 1);
    const Phase verify = measure([&] {
        for (uint32_t done = 0; done < kLength; done += kJobBlock) {
            const uint32_t n = std::min(kJobBlock, kLength - done);
            if (adapter.ReadMemory(kStart + done, back.data(), n) != 0 ||
                !std::equal(back.begin(), back.begin() + n, image.begin() + done))
                return false;
        }
        return true;
    });
    const Phase signature = measure([&] { return adapter.VerifyMemory(kStart, image.data(), kLength) == 0; });
    adapter.Close();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    if (program.ns == 0 || verify.ns == 0 || signature.ns == 0) {
        std::printf("raw_program: the chip does not hold the image after programming\n");
        return 1;
    }
    for (uint32_t i = 0; i < kLength; ++i) {
        if (device.Read(kStart + i) != image[i]) {
            std::printf("raw_program: byte 0x%04X differs in the model\n", kStart + i);
            return 1;
        }
    }

    const double words = kLength / 2.0;
    const double tclkHz = 1e9 / (2.0 * kAccessNs);
    std::printf(
        "RAW program and verify, simulated MSP430F149, %u bytes of main flash, %llu ns per port access\n",
        kLength, static_cast<unsigned long long>(kAccessNs));
    auto row = [&](const char* name, const Phase& p) {
        std::printf("  %-10s %10llu port accesses  %9.3f s modelled  %9llu TCLK cycles\n", name,
                    static_cast<unsigned long long>(p.accesses), Seconds(p.ns),
                    static_cast<unsigned long long>(p.tclk));
    };
    row("open", open);
    row("erase", erase);
    row("blank", blank);
    row("program", program);
    row("read back", verify);
    row("signature", signature);
    std::printf("  program: %.1f port accesses per word, %.1f us per word, %.0f B/s modelled\n",
                program.accesses / words, program.ns / 1e3 / words, kLength / Seconds(program.ns));
    std::printf("  read back: %.1f port accesses per word, %.0f B/s modelled\n", verify.accesses / words,
                kLength / Seconds(verify.ns));
    std::printf("  program + read back: %.3f s modelled, %.2f s wall clock for the whole run\n",
                Seconds(program.ns + verify.ns), wall);
    std::printf(
        "  TCLK in the pulse trains: %.0f kHz (2 port writes per cycle); flash timing window %.0f-%.0f kHz: "
        "%s\n",
        tclkHz / 1e3, kWindowLowHz / 1e3, kWindowHighHz / 1e3,
        tclkHz > kWindowHighHz  ? "above it (the timing generator runs too fast)"
        : tclkHz < kWindowLowHz ? "below it (too slow)"
                                : "inside it");
    std::printf("  a port access of %.3f to %.3f us keeps TCLK inside the window\n",
                1e6 / (2.0 * kWindowHighHz), 1e6 / (2.0 * kWindowLowHz));
    const double cycleUs = 2.0 * kAccessNs / 1e3;
    std::printf(
        "  at that rate the 35 cycles of a word write last %.1f us, the 5297 of a mass-erase pass %.2f ms "
        "(%u passes: %.1f ms of the 200 ms cumulative mass-erase time)\n",
        35 * cycleUs, 5297 * cycleUs / 1e3, kMassErasePasses, kMassErasePasses * 5297 * cycleUs / 1e3);
    return 0;
}
