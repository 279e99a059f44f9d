#pragma once
// A write buffer for the text writers: upper-case hex digits and CR LF, flushed to the
// file in large pieces, remembering whether any write failed.

#include <cstdint>
#include <cstdio>
#include <vector>

namespace pyrola {

class HexOutput {
public:
    explicit HexOutput(std::FILE* file) : file_(file), buffer_(kSize) {}

    void Byte(uint8_t value) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        buffer_[used_] = kDigits[value >> 4];
        buffer_[used_ + 1] = kDigits[value & 0x0F];
        used_ += 2;
    }
    // At least four digits, more when the value needs them (as "%04X").
    void Address(uint32_t value);
    void Char(char c) { buffer_[used_++] = c; }
    // Ends the line; flushes when less than the longest line is left, so no line of a
    // writer (at most 100 bytes) can overrun the buffer.
    void EndLine() {
        buffer_[used_] = '\r';
        buffer_[used_ + 1] = '\n';
        used_ += 2;
        if (used_ > kSize - kLineRoom)
            Flush();
    }
    // Writes what is buffered; false once any write has failed.
    bool Flush();

private:
    static constexpr size_t kSize = 64 * 1024;
    static constexpr size_t kLineRoom = 1024;
    std::FILE* file_;
    std::vector<char> buffer_;
    size_t used_ = 0;
    bool failed_ = false;
};

} // namespace pyrola
