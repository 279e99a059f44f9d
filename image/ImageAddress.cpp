#include "image/ImageAddress.h"

#include "image/ImageFileContext.h"

namespace pyrola {

std::optional<uint32_t> ParseImageAddress(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 7)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        const int digit = c >= '0' && c <= '9'          ? c - '0'
                          : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                        : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    }
    if (value >= kImageAddressLimit)
        return std::nullopt;
    return value;
}

} // namespace pyrola
