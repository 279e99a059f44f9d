// Programs and verifies the whole main flash of a simulated MSP430F149 through the
// bootstrap-loader adapter over the simulated 9600-baud wire, in virtual time, and sets
// the payload rate against what the framing allows: a write frame moves 250 data bytes
// in 263 characters on the wire (sync request and answer, 8-byte head, 250 data bytes,
// checksum, acknowledge) of 11 bits each, about 830 bytes per second. Target: 0.93 of it.

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
constexpr double kCharsPerSecond = 9600.0 / 11.0;
constexpr double kWriteLimit = kCharsPerSecond * 250.0 / 263.0;
// A read frame: sync request and answer, 10-byte request, data frame of 4 + 250 + 2.
constexpr double kReadLimit = kCharsPerSecond * 250.0 / 268.0;
constexpr double kTarget = 0.93;

double Seconds(uint64_t ns) {
    return double(ns) / 1e9;
}

} // namespace

int main() {
    using namespace pyrola;
    sim::DeviceModel device("MSP430F149");
    sim::BslTarget target(device);
    VirtualClock clock;
    sim::BslLoopback wire(target, clock);
    BslAdapter adapter(wire, clock);
    DeviceRecord record{};
    adapter.deviceRecord = &record;
    adapter.requestedDevice = 7;

    std::vector<uint8_t> image(kLength);
    uint32_t seed = 12345;
    for (uint8_t& b : image) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }

    const auto wallStart = std::chrono::steady_clock::now();
    if (!adapter.Open() || adapter.GetErrorNumber() != 0 || adapter.Erase(kEraseMain, kStart, kLength) != 0) {
        std::printf("bsl_program: could not open and erase the simulated chip\n");
        return 1;
    }

    const uint64_t programStart = clock.Nanoseconds();
    for (uint32_t done = 0; done < kLength; done += kJobBlock) {
        const uint32_t n = std::min(kJobBlock, kLength - done);
        if (adapter.WriteMemory(kStart + done, image.data() + done, n) != 0) {
            std::printf("bsl_program: write failed at 0x%04X: %s\n", kStart + done,
                        adapter.GetErrorText(adapter.GetErrorNumber()));
            return 1;
        }
    }
    const uint64_t programNs = clock.Nanoseconds() - programStart;

    const uint64_t verifyStart = clock.Nanoseconds();
    std::vector<uint8_t> back(kJobBlock);
    for (uint32_t done = 0; done < kLength; done += kJobBlock) {
        const uint32_t n = std::min(kJobBlock, kLength - done);
        if (adapter.ReadMemory(kStart + done, back.data(), n) != 0 ||
            !std::equal(back.begin(), back.begin() + n, image.begin() + done)) {
            std::printf("bsl_program: verify failed at 0x%04X\n", kStart + done);
            return 1;
        }
    }
    const uint64_t verifyNs = clock.Nanoseconds() - verifyStart;
    adapter.Close();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

    const double programRate = kLength / Seconds(programNs);
    const double verifyRate = kLength / Seconds(verifyNs);
    const double programShare = programRate / kWriteLimit;
    const double verifyShare = verifyRate / kReadLimit;
    std::printf("BSL program and verify, simulated MSP430F149, %u bytes of main flash, 9600 baud 8E1\n",
                kLength);
    std::printf("  program: %8.3f s virtual  %6.1f B/s  limit %6.1f B/s (250/263 framing)  %.3f of limit\n",
                Seconds(programNs), programRate, kWriteLimit, programShare);
    std::printf("  verify:  %8.3f s virtual  %6.1f B/s  limit %6.1f B/s (250/268 framing)  %.3f of limit\n",
                Seconds(verifyNs), verifyRate, kReadLimit, verifyShare);
    std::printf("  both:    %8.3f s virtual  %6.1f B/s  against %6.1f B/s: %.3f\n",
                Seconds(programNs + verifyNs), 2.0 * kLength / Seconds(programNs + verifyNs), kWriteLimit,
                2.0 * kLength / Seconds(programNs + verifyNs) / kWriteLimit);
    std::printf("  wall clock for the whole run: %.2f s\n", wall);
    const bool met = programShare >= kTarget;
    std::printf("  target: program at least %.2f of the framing limit: %s\n", kTarget,
                met ? "met" : "NOT met");
    return met ? 0 : 1;
}
