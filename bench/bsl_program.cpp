// Programs and verifies the whole main flash of a simulated MSP430F149 through the
// bootstrap-loader adapter over the simulated wire, in virtual time, at 9600 and at 38400
// baud (a later F14x whose loader, version 1.61, has the change-baud-rate command), and
// sets the payload rate against what each line rate allows.
//
// A write frame moves 250 data bytes in 263 characters on the wire (sync request and
// answer, 8-byte head, 250 data bytes, checksum, acknowledge) of 11 bits each; the chip
// then programs them (45 us a byte in the model), which no host can hurry, so the write
// limit is the wire time plus that. A read frame moves 250 bytes in 268 characters (sync
// request and answer, 10-byte request, data frame of 4 + 250 + 2). Targets: at least
// 0.95 of each limit at each rate, and program plus verify of the 60 KiB under 45 s at
// 38400 baud.

#include "adapters/bsl/BslAdapter.h"
#include "platform/VirtualClock.h"
#include "sim/BslLoopback.h"
#include "sim/BslTarget.h"
#include "sim/DeviceModel.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr uint32_t kStart = 0x1100; // F149 main flash 0x1100-0xFFFF
constexpr uint32_t kLength = 0x10000 - kStart;
constexpr uint32_t kJobBlock = 4 * 250; // the jobs move four adapter blocks at a time
constexpr uint32_t kFrameData = 250;
constexpr double kShareTarget = 0.95;
constexpr double kTotalTargetAt38400 = 45.0;

double Seconds(uint64_t ns) {
    return double(ns) / 1e9;
}

struct Run {
    uint32_t rate = 0;
    uint64_t programNs = 0;
    uint64_t verifyNs = 0;
    bool ok = false;
};

Run ProgramAndVerify(uint32_t rate, const std::vector<uint8_t>& image) {
    using namespace pyrola;
    Run run;
    run.rate = rate;
    sim::DeviceModel device("MSP430F149");
    device.SetLoaderVersion(0x0161);
    sim::BslTarget target(device);
    VirtualClock clock;
    sim::BslLoopback wire(target, clock);
    BslAdapter adapter(wire, clock);
    DeviceRecord record{};
    adapter.deviceRecord = &record;
    adapter.requestedDevice = 7;
    adapter.lineOptions.baudRate = rate;

    if (!adapter.Open() || adapter.GetErrorNumber() != 0 || wire.HostBaudRate() != rate ||
        adapter.Erase(kEraseMain, kStart, kLength) != 0) {
        std::printf("bsl_program: could not open the simulated chip at %u baud and erase it\n", rate);
        return run;
    }
    const uint64_t programStart = clock.Nanoseconds();
    for (uint32_t done = 0; done < kLength; done += kJobBlock) {
        const uint32_t n = std::min(kJobBlock, kLength - done);
        if (adapter.WriteMemory(kStart + done, image.data() + done, n) != 0) {
            std::printf("bsl_program: write failed at 0x%04X: %s\n", kStart + done,
                        adapter.GetErrorText(adapter.GetErrorNumber()));
            return run;
        }
    }
    run.programNs = clock.Nanoseconds() - programStart;

    const uint64_t verifyStart = clock.Nanoseconds();
    std::vector<uint8_t> back(kJobBlock);
    for (uint32_t done = 0; done < kLength; done += kJobBlock) {
        const uint32_t n = std::min(kJobBlock, kLength - done);
        if (adapter.ReadMemory(kStart + done, back.data(), n) != 0 ||
            !std::equal(back.begin(), back.begin() + n, image.begin() + done)) {
            std::printf("bsl_program: verify failed at 0x%04X\n", kStart + done);
            return run;
        }
    }
    run.verifyNs = clock.Nanoseconds() - verifyStart;
    adapter.Close();
    run.ok = true;
    return run;
}

} // namespace

int main() {
    std::vector<uint8_t> image(kLength);
    uint32_t seed = 12345;
    for (uint8_t& b : image) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }

    const double programByteS = double(pyrola::sim::BslTargetTiming{}.programByteNs) / 1e9;
    std::printf("BSL program and verify, simulated MSP430F149 (loader 1.61), %u bytes of main flash, 8E1\n",
                kLength);
    const auto wallStart = std::chrono::steady_clock::now();
    bool met = true;
    double totalAt38400 = 0;
    for (uint32_t rate : {9600u, 38400u}) {
        const Run run = ProgramAndVerify(rate, image);
        if (!run.ok)
            return 1;
        const double chars = rate / 11.0;
        // Time per frame's worth of bytes that no host can beat.
        const double writeLimit = kFrameData / (263.0 / chars + kFrameData * programByteS);
        const double wireOnly = chars * kFrameData / 263.0;
        const double readLimit = chars * kFrameData / 268.0;
        const double programRate = kLength / Seconds(run.programNs);
        const double verifyRate = kLength / Seconds(run.verifyNs);
        const double programShare = programRate / writeLimit;
        const double verifyShare = verifyRate / readLimit;
        const double total = Seconds(run.programNs + run.verifyNs);
        std::printf("  %5u baud\n", rate);
        std::printf(
            "    program: %8.3f s virtual  %7.1f B/s  limit %7.1f B/s (250/263 framing + flash)  %.3f of "
            "limit  (%.3f of the wire alone, %.1f B/s)\n",
            Seconds(run.programNs), programRate, writeLimit, programShare, programRate / wireOnly, wireOnly);
        std::printf(
            "    verify:  %8.3f s virtual  %7.1f B/s  limit %7.1f B/s (250/268 framing)  %.3f of limit\n",
            Seconds(run.verifyNs), verifyRate, readLimit, verifyShare);
        std::printf("    both:    %8.3f s virtual\n", total);
        met = met && programShare >= kShareTarget && verifyShare >= kShareTarget;
        if (rate == 38400)
            totalAt38400 = total;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::printf("  wall clock for both runs: %.2f s\n", wall);
    const bool fast = totalAt38400 < kTotalTargetAt38400;
    std::printf("  target: program and verify at least %.2f of their limits at each rate: %s\n", kShareTarget,
                met ? "met" : "NOT met");
    std::printf("  target: program and verify at 38400 baud under %.0f s: %.1f s, %s\n", kTotalTargetAt38400,
                totalAt38400, fast ? "met" : "NOT met");
    return met && fast ? 0 : 1;
}
