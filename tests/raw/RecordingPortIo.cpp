// The decoder reads the pins with the simulator's TAP table, which its own tests check
// against the standard state diagram.
#include "tests/raw/RecordingPortIo.h"

#include "sim/JtagTap.h"

#include <algorithm>
#include <cstdio>

namespace pyrola::test {

namespace {

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

} // namespace

std::vector<std::string> DecodeJtag(const std::vector<PortAccess>& log, uint16_t base, uint8_t data) {
    using sim::TapState;
    std::vector<std::string> out;
    TapState state = TapState::RunTestIdle;
    bool tclk = (data & 1) != 0;
    uint32_t bits = 0;
    int count = 0;
    for (const PortAccess& access : log) {
        if (access.kind == 's') {
            out.push_back("wait " + std::to_string(access.value));
            continue;
        }
        if (access.kind != 'w') {
            continue;
        }
        if (access.address == base + 2) {
            out.push_back("ctl " + Hex(access.value, 2));
            continue;
        }
        if (access.address != base) {
            continue;
        }
        const uint8_t next = static_cast<uint8_t>(access.value);
        const bool tdi = (next & 1) != 0, tms = (next & 2) != 0, tck = (next & 4) != 0;
        const bool tckWas = (data & 4) != 0, tmsWas = (data & 2) != 0;
        if ((next & 0xF0) != (data & 0xF0)) {
            out.push_back("supply " + Hex(next & 0xF0, 2));
        }
        const bool resting = state == TapState::RunTestIdle || state == TapState::TestLogicReset;
        if (tms != tmsWas && !tck && !tckWas && resting) {
            out.push_back(tms ? "tms+" : "tms-");
        }
        data = next;
        if (tck && !tckWas) {
            if (state == TapState::ShiftIr) {
                bits |= uint32_t(tdi) << count; // least significant bit first
                ++count;
            } else if (state == TapState::ShiftDr) {
                bits = bits << 1 | uint32_t(tdi); // most significant bit first
                ++count;
            }
            const TapState after = sim::NextTapState(state, tms);
            if (after == TapState::CaptureIr || after == TapState::CaptureDr) {
                bits = 0;
                count = 0;
            }
            if (after == TapState::UpdateIr) {
                out.push_back("IR " + Hex(bits, 2));
            } else if (after == TapState::UpdateDr) {
                out.push_back(count == 16 ? "DR " + Hex(bits, 4)
                                          : "DR " + Hex(bits, (count + 3) / 4) + "/" + std::to_string(count));
            } else if (after == TapState::TestLogicReset && state != TapState::TestLogicReset) {
                out.push_back("TLR");
            }
            state = after;
        }
        if (state == TapState::RunTestIdle && tdi != tclk) {
            out.push_back(tdi ? "tclk+" : "tclk-");
        }
        if (state == TapState::RunTestIdle) {
            tclk = tdi;
        }
    }
    return out;
}

std::vector<std::string> Only(const std::vector<std::string>& trace,
                              const std::vector<std::string>& prefixes) {
    std::vector<std::string> out;
    for (const std::string& entry : trace) {
        for (const std::string& prefix : prefixes) {
            if (entry.compare(0, prefix.size(), prefix) == 0) {
                out.push_back(entry);
                break;
            }
        }
    }
    return out;
}

size_t CountOf(const std::vector<std::string>& trace, const std::string& entry) {
    return static_cast<size_t>(std::count(trace.begin(), trace.end(), entry));
}

} // namespace pyrola::test
