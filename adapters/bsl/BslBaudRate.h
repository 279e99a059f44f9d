#pragma once
// The loader's change-baud-rate command (0x20): three control bytes that set the chip's
// clock for a faster UART, with the values the vendor's BSL user's guide gives for each
// family. D1 goes into AL, D2 into AH and D3 into LL of the frame. Loaders from version
// 1.60 on carry the command; older ones do not know it.

#include <cstdint>
#include <optional>

namespace pyrola {

inline constexpr uint8_t kBslChangeBaud = 0x20;
inline constexpr uint32_t kBslChangeBaudVersion = 0x0160;
// The guide asks for about 10 ms between the acknowledge and the next transmission, so
// that the chip's clock settles.
inline constexpr uint32_t kBslBaudSettleMs = 10;

enum class BslFamily { F1xx, F4xx, Unknown };

// The family from the first byte of the chip's identification at 0x0FF0: 0xF4 is F4xx;
// 0xF1, 0x11 and 0x12 (F11x2, F12x2) are F1xx. Others (F2xx among them, whose settings
// differ) are unknown.
BslFamily BslFamilyOf(uint8_t identificationHigh);

struct BslBaudSetting {
    uint8_t d1; // F1xx: DCOCTL; F4xx: SCFI0
    uint8_t d2; // F1xx: BCSCTL1; F4xx: SCFI1
    uint8_t d3; // 0: 9600, 1: 19200, 2: 38400 baud
};

// The setting for 9600, 19200 or 38400 baud on a known family; nothing otherwise.
std::optional<BslBaudSetting> BslBaudSettingFor(BslFamily family, uint32_t baudRate);

} // namespace pyrola
