#include "serialno/SerialFormat.h"

#include "image/ParseNumber.h"

#include <algorithm>

namespace pyrola {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

bool SerialFormat::ParseSerial(const std::string& typed, bool apply) {
    const std::string text = typed.substr(0, kMaxSerialTextLength);
    if (apply) {
        prefix_.clear();
        suffix_.clear();
        digitCount_ = 0;
    }
    std::string numberText = text;
    if (IsTextSerialType(config_->type)) {
        const auto first = std::find_if(text.begin(), text.end(), IsDigit);
        if (first == text.end())
            return false;
        const size_t start = static_cast<size_t>(first - text.begin());
        // Such a prefix has no room in the format; cutting it would change the serial.
        if (start > kMaxSerialAffixLength)
            return false;
        const auto end = std::find_if_not(first, text.end(), IsDigit);
        const size_t length = static_cast<size_t>(end - first);
        if (apply) {
            prefix_ = text.substr(0, start);
            suffix_ = text.substr(start + length, kMaxSerialAffixLength);
            digitCount_ = static_cast<uint32_t>(length);
        }
        numberText = text.substr(start, length);
    }
    bool ok = false;
    const int32_t value = ParseNumber(numberText.c_str(), 0, 0, &ok);
    if (!ok)
        return false;
    if (apply) {
        number_ = static_cast<uint32_t>(value);
        RenderSerial();
    }
    return true;
}

void SerialFormat::RenderSerial() {
    std::string digits = std::to_string(number_);
    if (digits.size() < digitCount_)
        digits.insert(0, digitCount_ - digits.size(), '0');
    config_->serial = prefix_ + digits + suffix_;
}

void SerialFormat::StepUp() {
    ++number_; // the 32-bit types wrap by themselves
    if ((config_->type == kSerialByte && number_ > 0xFF) ||
        (config_->type == kSerialWord && number_ > 0xFFFF))
        number_ = 0;
    RenderSerial();
}

void SerialFormat::StepDown() {
    if (number_ > 0)
        --number_;
    RenderSerial();
}

} // namespace pyrola
