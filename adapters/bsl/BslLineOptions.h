#pragma once
// How the BSL adapter drives its serial line beyond the loader's fixed 8E1 format: the
// speed it asks the loader for, and how the cable ties the port's DTR and RTS outputs to
// the target's reset and test lines. The defaults are the standard interface circuit
// (DTR to reset, RTS to test through an inverter) at 9600 baud.

#include <array>
#include <cstdint>

namespace pyrola {

// The rate every loader starts at.
inline constexpr uint32_t kBslBaseBaudRate = 9600;
// The rates the adapter can run at, slowest first: the base rate and the faster ones the
// loader's change-baud-rate command offers.
inline constexpr std::array<uint32_t, 3> kBslBaudRates = {kBslBaseBaudRate, 19200, 38400};

inline constexpr bool IsBslBaudRate(uint32_t rate) {
    for (uint32_t offered : kBslBaudRates) {
        if (rate == offered)
            return true;
    }
    return false;
}

struct BslWiring {
    bool resetInverted = false; // the cable inverts the reset line
    bool testInverted = false;  // the cable inverts the test line
    bool swapResetTest = false; // DTR drives the test line and RTS the reset line
};

struct BslLineOptions {
    uint32_t baudRate = kBslBaseBaudRate; // asked for once the loader is identified
    BslWiring wiring;
};

} // namespace pyrola
