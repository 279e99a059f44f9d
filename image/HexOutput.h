#pragma once
// A write buffer for the text writers: upper-case hex digits and CR LF, flushed to the
// file in large pieces, remembering whether any write failed.

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

class HexOutput {
public:
    explicit HexOutput(std::FILE* file) : file_(file) { text_.reserve(kFlushAt + 128); }

    void Byte(uint8_t value) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        text_.push_back(kDigits[value >> 4]);
        text_.push_back(kDigits[value & 0x0F]);
    }
    // At least four digits, more when the value needs them (as "%04X").
    void Address(uint32_t value);
    void Text(const char* text) { text_.append(text); }
    void Char(char c) { text_.push_back(c); }
    void EndLine() {
        text_.append("\r\n");
        if (text_.size() >= kFlushAt)
            Flush();
    }
    // Writes what is buffered; false once any write has failed.
    bool Flush();

private:
    static constexpr size_t kFlushAt = 64 * 1024;
    std::FILE* file_;
    std::string text_;
    bool failed_ = false;
};

} // namespace pyrola
