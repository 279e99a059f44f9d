#pragma once
// The simulated chip's watchdog timer (WDTCTL at 0x0120). After every reset it runs in
// watchdog mode and resets the chip when its interval passes, unless the program holds
// it. Writes need the password 0x5A in the high byte; any other write resets the chip.
// It counts the CPU clock (under JTAG control the chip's clocks follow TCLK); a count
// from ACLK never advances, the model having no crystal.

#include <cstdint>

namespace pyrola::sim {

inline constexpr uint16_t kWatchdogRegister = 0x0120;
inline constexpr uint16_t kWatchdogPassword = 0x5A00; // written in the high byte
inline constexpr uint16_t kWatchdogReadKey = 0x6900;  // read in the high byte
inline constexpr uint8_t kWatchdogHold = 0x80;
inline constexpr uint8_t kWatchdogIntervalMode = 0x10;
inline constexpr uint8_t kWatchdogClearCount = 0x08;
inline constexpr uint8_t kWatchdogFromAclk = 0x04;

class Watchdog {
public:
    // Power-up and every reset: running, watchdog mode, interval 32768 clocks.
    void Reset();
    uint16_t Read() const { return static_cast<uint16_t>(kWatchdogReadKey | control_); }
    // False on a wrong password: the chip must reset.
    bool Write(uint16_t value);
    // One CPU clock; true when the interval ran out in watchdog mode (the chip resets).
    bool Tick();
    bool Held() const { return (control_ & kWatchdogHold) != 0; }
    uint32_t Count() const { return count_; }

private:
    uint32_t Interval() const;

    uint8_t control_ = 0;
    uint32_t count_ = 0;
};

} // namespace pyrola::sim
