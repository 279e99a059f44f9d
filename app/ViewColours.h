#pragma once
// The colours the main window's views draw with, as red, green and blue bytes. The
// memory view colours each byte by its marks; the status line shows failures in red.

#include <cstdint>

namespace pyrola {

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kAddressColour{0, 0, 255};
inline constexpr Rgb kErrorCellColour{128, 0, 0};
inline constexpr Rgb kAbsentCellColour{128, 128, 128};
inline constexpr Rgb kVerifiedCellColour{0, 128, 0};
inline constexpr Rgb kPlainCellColour{0, 0, 128};
inline constexpr Rgb kTextColumnColour{0, 0, 0};
inline constexpr Rgb kStatusErrorColour{244, 0, 0};

} // namespace pyrola
