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
        Char(digits[--count]);
}

bool HexOutput::Flush() {
    if (used_ > 0) {
        if (std::fwrite(buffer_.data(), 1, used_, file_) != used_)
            failed_ = true;
        used_ = 0;
    }
    return !failed_;
}

} // namespace pyrola
