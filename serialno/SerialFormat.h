#pragma once
// A serial text split into a fixed prefix, a counter and a fixed suffix ("TEST00001M2" is
// TEST, 00001 and M2), so that the counter can be stepped from board to board and the
// text rendered again. The numeric types (BYTE, WORD, DWORD) are the counter alone.

#include "serialno/SerialConfig.h"

#include <cstdint>
#include <string>

namespace pyrola {

// The longest prefix or suffix a serial text may have.
inline constexpr size_t kMaxSerialAffixLength = 127;

class SerialFormat {
public:
    // Renders into config, which must outlive the format. Starts empty (no prefix, no
    // suffix, digit count 0, number 0): parse the config's serial to fill it.
    explicit SerialFormat(SerialConfig& config) : config_(&config) {}

    // Without apply: true when text (cut to 255 characters) holds a number for the config's
    // type; nothing changes. With apply: prefix, suffix and digit count are emptied first,
    // then rebuilt from text, the number taken and the config's serial text rendered.
    // A failed apply keeps the number and the serial text, but the prefix, suffix and
    // digit count stay as far as they were rebuilt (so the next render is the bare number
    // after a text without digits). Text types fail without a decimal digit and when the
    // text before the first digit is longer than 127 characters; numeric types fail when
    // the whole text is no number. A suffix is cut to 127 characters.
    bool ParseSerial(const std::string& text, bool apply);
    // The config's serial text := prefix, the number in decimal with at least digit-count
    // digits (padded with zeros, never cut), suffix.
    void RenderSerial();
    // Number + 1 (BYTE: above 255 becomes 0; WORD: above 65,535 becomes 0; other types wrap
    // at 32 bits), then render. Prefix, suffix and digit count stay.
    void StepUp();
    // Number - 1 unless it is 0 (no wrap), then render.
    void StepDown();
    // The counter as it is, without rendering (a caller that steps without wrapping).
    void SetNumber(uint32_t number) { number_ = number; }

    const std::string& Prefix() const { return prefix_; }
    const std::string& Suffix() const { return suffix_; }
    uint32_t DigitCount() const { return digitCount_; }
    uint32_t Number() const { return number_; }
    SerialConfig& Config() const { return *config_; }

private:
    SerialConfig* config_;
    std::string prefix_;
    std::string suffix_;
    uint32_t digitCount_ = 0;
    uint32_t number_ = 0;
};

} // namespace pyrola
