#pragma once
// The BSL adapter wired to the simulated chip over the simulated wire, with helpers to
// protect the chip, fault single answer bytes and count what the loader received.

#include "adapters/bsl/BslAdapter.h"
#include "platform/VirtualClock.h"
#include "sim/BslLoopback.h"
#include "sim/BslTarget.h"
#include "sim/DeviceModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace pyrola::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Pattern(size_t n, uint32_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        b[i] = uint8_t(seed >> 24);
    }
    return b;
}

// Frames of the commands the loader takes only word-aligned that had an odd address or
// an odd length.
inline uint32_t OddFrames(const sim::BslTarget& target) {
    return static_cast<uint32_t>(
        std::count_if(target.Frames().begin(), target.Frames().end(), [](const sim::BslFrameRecord& f) {
            const bool aligned = f.command == 0x12 || f.command == 0x14 || f.command == 0x1C;
            return aligned && ((f.address | f.length) & 1) != 0;
        }));
}

// True when some note holds `text`.
inline bool NotesHold(const std::vector<std::string>& notes, const std::string& text) {
    return std::any_of(notes.begin(), notes.end(),
                       [&text](const std::string& n) { return n.find(text) != std::string::npos; });
}

// A stand-in for the vendor's patch: a start word, a tag and NOP words; the simulated
// chip is told that these bytes work. Odd-sized so that its load covers a partial word.
inline Bytes WorkingPatchBytes() {
    Bytes patch = {0x24, 0x02, 'O', 'K'};
    while (patch.size() < 63)
        patch.push_back(patch.size() % 2 == 0 ? 0x03 : 0x43);
    return patch;
}

// Writes `bytes` as a TI TXT file at 0x0220.
inline void WritePatchFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path);
    f << "@0220\n";
    for (size_t i = 0; i < bytes.size(); ++i) {
        static const char* const kHex = "0123456789ABCDEF";
        f << kHex[bytes[i] >> 4] << kHex[bytes[i] & 15]
          << ((i % 16 == 15 || i + 1 == bytes.size()) ? "\n" : " ");
    }
    f << "q\n";
}

class BslAdapterTest : public ::testing::Test {
protected:
    explicit BslAdapterTest(const char* chip = "MSP430F149")
        : device(chip), target(device), wire(target, clock), adapter(wire, clock) {
        adapter.deviceRecord = &record;
    }

    // Vectors that protect the chip, and the matching password.
    BslPassword Protect(uint32_t seed) {
        const Bytes v = Pattern(32, seed);
        for (uint32_t i = 0; i < 32; ++i)
            device.Poke(0xFFE0 + i, v[i]);
        BslPassword p{};
        std::copy(v.begin(), v.end(), p.begin());
        return p;
    }
    // Lets the next `pass` answer bytes through and then acts on the following ones. The
    // rest of an earlier broken answer is given time to arrive first, so that the next
    // synchronisation's purge discards it.
    void OnAnswerBytes(uint64_t pass, std::function<sim::BslWireAction(uint64_t, uint8_t)> act) {
        Settle();
        const uint64_t base = wire.BytesToHost() + pass;
        wire.SetWireFault([base, act](sim::BslWireDirection d, uint64_t index, uint8_t byte) {
            if (d != sim::BslWireDirection::ToHost || index < base)
                return sim::BslWireAction{};
            return act(index - base, byte);
        });
    }
    int32_t Error() { return adapter.GetErrorNumber(); }
    void Settle() {
        clock.AdvanceMs(1000);
        wire.SetWireFault(nullptr);
    }
    // The working patch in a file beside the "program", known to the chip as working.
    std::string InstallWorkingPatch() {
        const std::string path = std::string(PYROLA_BINARY_DIR) + "/bsl_test_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        WritePatchFile(path, WorkingPatchBytes());
        target.SetWorkingPatch(WorkingPatchBytes());
        adapter.patchEnabled = 1;
        adapter.patchFilePath = path;
        return path;
    }

    sim::DeviceModel device;
    sim::BslTarget target;
    VirtualClock clock;
    sim::BslLoopback wire;
    BslAdapter adapter;
    DeviceRecord record{};
};

class BslAdapterNewLoaderTest : public BslAdapterTest {
protected:
    BslAdapterNewLoaderTest() : BslAdapterTest("MSP430F12x2/F11x2") {}
};

// Loader 1.40: no erase check.
class BslAdapterF44xTest : public BslAdapterTest {
protected:
    BslAdapterF44xTest() : BslAdapterTest("MSP430F44x") {}
};

// Loader 1.10 in a chip with 256 bytes of RAM.
class BslAdapterF11x1Test : public BslAdapterTest {
protected:
    BslAdapterF11x1Test() : BslAdapterTest("MSP430F11x1") {}
};

} // namespace pyrola::test
