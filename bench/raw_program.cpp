// Programs and verifies the whole main flash of a simulated MSP430F149 (61,184 bytes,
// about 60 KiB) through the RAW adapter on the simulated parallel port, in virtual time, on
// ports whose access time varies as a PC's does (sim/PortTiming.h): steady 300 ns and 1 us,
// 1 us with jitter, a loaded machine (jitter and 34 us stalls every 5 ms) and a 2 us port
// too slow for the flash; or the ports given as arguments, "ns[,jitter ns[,stall us/every ms]]".
// For each it reports the shortest and longest TCLK period the chip's flash timing
// generator saw against its window (2101 to 3891 ns), the most program time any 64-byte
// row had (at most 4 ms), the erase, program (per 60 KiB) and verify times, and the erase
// passes and words the adapter did again after a stall. Exits non-zero when the pins ran
// the flash clock too fast, when a row passed its program time, when the chip does not
// hold the image, when a port the adapter refused could have been paced, or when
// programming takes more than 15 s on the steady 1 us port.

#include "adapters/raw/RawJtagAdapter.h"
#include "platform/VirtualClock.h"
#include "sim/DeviceModel.h"
#include "sim/JtagTarget.h"
#include "sim/LptJtagWire.h"
#include "sim/PortTiming.h"

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
};

std::string Describe(const pyrola::sim::PortTimingSetup& port) {
    std::string text = std::to_string(port.accessNs) + " ns per port access";
    if (port.jitterNs != 0)
        text += ", jitter up to " + std::to_string(port.jitterNs) + " ns";
    if (port.stallNs != 0)
        text += ", stalls of " + std::to_string(port.stallNs / 1000) + " us every " +
                std::to_string(port.stallEveryNs / 1000000) + " ms";
    return text;
}

// One run on `port`; false when it shows a fault.
bool RunOn(const pyrola::sim::PortTimingSetup& port, const std::vector<uint8_t>& image) {
    using namespace pyrola;
    sim::DeviceModel device("MSP430F149");
    sim::JtagTarget target(device);
    VirtualClock clock;
    sim::LptJtagWire wire(target, clock, port.accessNs);
    wire.Timing() = sim::PortTiming(port);
    RawJtagAdapter adapter(wire, clock);
    DeviceRecord record{};
    adapter.deviceRecord = &record;
    auto& flash = target.Chip().Flash();

    auto measure = [&](auto&& work) {
        Phase p{false, wire.Accesses(), clock.Nanoseconds()};
        p.ok = work();
        p.accesses = wire.Accesses() - p.accesses;
        p.ns = clock.Nanoseconds() - p.ns;
        return p;
    };
    std::printf("%s:\n", Describe(port).c_str());
    const Phase open = measure([&] { return adapter.Open(); });
    if (!open.ok) {
        std::printf("  could not open the simulated chip: %s\n",
                    adapter.GetErrorText(adapter.GetErrorNumber()));
        return false;
    }
    adapter.TakeNotes();
    const Phase erase = measure([&] { return adapter.Erase(kEraseMain, kStart, kLength) == 0; });
    if (!adapter.Port().FlashTimingOk()) {
        // Refused: right when the port's paced period would pass the slowest allowed.
        const bool right = !erase.ok && flash.CompletedOperations() == 0 &&
                           adapter.Port().AccessNs() + kTclkFloorNs > kTclkSlowestPacedNs;
        std::printf(
            "  refused for erase and program: measured %llu ns per access, TCLK at most %.0f kHz with "
            "margin (window %.0f-%.0f kHz, a row within 4 ms): %s\n",
            static_cast<unsigned long long>(adapter.Port().AccessNs()), double(adapter.Port().TclkHz()) / 1e3,
            kWindowLowHz / 1e3, kWindowHighHz / 1e3, right ? "right, nothing was erased" : "WRONG");
        return right;
    }
    if (!erase.ok) {
        std::printf("  erase failed: %s\n", adapter.GetErrorText(adapter.GetErrorNumber()));
        for (const std::string& note : adapter.TakeNotes())
            std::printf("    %s\n", note.c_str());
        return false;
    }
    const Phase program = measure([&] {
        for (uint32_t done = 0; done < kLength; done += kJobBlock) {
            const uint32_t n = std::min(kJobBlock, kLength - done);
            if (adapter.WriteMemory(kStart + done, image.data() + done, n) != 0)
                return false;
        }
        return true;
    });
    for (const std::string& note : adapter.TakeNotes())
        std::printf("    %s\n", note.c_str());
    const Phase verify = measure([&] { return adapter.VerifyMemory(kStart, image.data(), kLength) == 0; });
    adapter.Close();
    bool exact = program.ok && verify.ok;
    for (uint32_t i = 0; exact && i < kLength; ++i)
        exact = device.Read(kStart + i) == image[i];

    const RawFlashCounts& counts = adapter.FlashCounts();
    std::printf(
        "  TCLK periods the chip saw during erase and program: shortest %llu ns (%.0f kHz), longest %llu "
        "ns (%.0f kHz); %llu periods outside the window; the adapter timed %llu to %llu ns\n",
        static_cast<unsigned long long>(flash.ShortestPeriodNs()), 1e6 / double(flash.ShortestPeriodNs()),
        static_cast<unsigned long long>(flash.LongestPeriodNs()), 1e6 / double(flash.LongestPeriodNs()),
        static_cast<unsigned long long>(flash.PeriodsOutOfWindow()),
        static_cast<unsigned long long>(counts.shortestTclkNs),
        static_cast<unsigned long long>(counts.longestTclkNs));
    std::printf("  erase %.3f s, program %.3f s per %u bytes (%.1f port accesses per word), verify %.3f s; "
                "retried erase passes %llu, words written again %llu; most program time of a 64-byte row "
                "%.2f ms (limit 4 ms)\n",
                Seconds(erase.ns), Seconds(program.ns), kLength, program.accesses / (kLength / 2.0),
                Seconds(verify.ns), static_cast<unsigned long long>(counts.retriedPasses),
                static_cast<unsigned long long>(counts.rewrittenWords),
                double(flash.MostRowProgramNs()) / 1e6);
    const bool steadyMicrosecond = port.accessNs == 1000 && port.jitterNs == 0 && port.stallNs == 0;
    const bool fastEnough = !steadyMicrosecond || Seconds(program.ns) <= kProgramTargetS;
    if (steadyMicrosecond) {
        std::printf("  program time against the 15 s target at 1 us per access: %s\n",
                    fastEnough ? "met" : "NOT MET");
    }
    if (!exact) {
        std::printf("  the chip does not hold the image\n");
    }
    const bool timed = flash.ShortestPeriodNs() >= sim::kFlashShortestPeriodNs &&
                       flash.MostRowProgramNs() <= sim::kFlashCumulativeProgramNs &&
                       flash.RowsOverstressed() == 0;
    if (!timed) {
        std::printf("  the flash timing left its limits\n");
    }
    return exact && timed && fastEnough;
}

// "ns[,jitter[,us/ms]]"
pyrola::sim::PortTimingSetup ParsePort(const char* text) {
    pyrola::sim::PortTimingSetup port;
    char* end = nullptr;
    port.accessNs = std::strtoull(text, &end, 10);
    if (*end == ',')
        port.jitterNs = std::strtoull(end + 1, &end, 10);
    if (*end == ',') {
        port.stallNs = std::strtoull(end + 1, &end, 10) * 1000u;
        if (*end == '/')
            port.stallEveryNs = std::strtoull(end + 1, &end, 10) * 1000000u;
    }
    return port;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<const char*> ports = {"300", "1000", "1000,200", "700,140,34/5", "2000"};
    if (argc > 1)
        ports.assign(argv + 1, argv + argc);
    std::vector<uint8_t> image(kLength + 1);
    uint32_t seed = 12345;
    for (uint8_t& b : image) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    std::printf("RAW erase, program and verify, simulated MSP430F149, %u bytes of main flash\n", kLength);
    bool ok = true;
    for (const char* port : ports)
        ok = RunOn(ParsePort(port), image) && ok;
    return ok ? 0 : 1;
}
