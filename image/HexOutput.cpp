#include "image/HexOutput.h"

namespace pyrola {

void HexOutput::Address(uint32_t value) {
    char digits[8];
    int count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[value & 0x0F];
        value >>= 4;
    } while (value != 0);
    while (count < 4)
        digits[count++] = '0';
    while (count > 0)
        text_.push_back(digits[--count]);
}

bool HexOutput::Flush() {
    if (!text_.empty()) {
        if (std::fwrite(text_.data(), 1, text_.size(), file_) != text_.size())
            failed_ = true;
        text_.clear();
    }
    return !failed_;
}

} // namespace pyrola
