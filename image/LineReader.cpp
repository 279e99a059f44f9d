#include "image/LineReader.h"

#include <cstring>

namespace pyrola {

namespace {
constexpr size_t kChunk = 64 * 1024;
}

LineReader::LineReader(std::FILE* file, size_t maxLength)
    : file_(file), maxLength_(maxLength ? maxLength : 1), buffer_(kChunk), line_(maxLength_ + 1, '\0') {}

bool LineReader::Refill() {
    if (eof_ || error_)
        return false;
    begin_ = 0;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (end_ < buffer_.size()) {
        if (std::ferror(file_))
            error_ = true;
        else
            eof_ = true;
    }
    return end_ > 0;
}

LineReader::Result LineReader::Next() {
    length_ = 0;
    for (;;) {
        if (begin_ == end_ && !Refill()) {
            if (error_)
                return Result::Error;
            break;
        }
        const size_t room = maxLength_ - length_;
        size_t avail = end_ - begin_;
        if (avail > room)
            avail = room;
        const char* start = buffer_.data() + begin_;
        const void* lf = std::memchr(start, '\n', avail);
        const size_t take = lf ? static_cast<size_t>(static_cast<const char*>(lf) - start) + 1 : avail;
        std::memcpy(line_.data() + length_, start, take);
        length_ += take;
        begin_ += take;
        if (lf || length_ == maxLength_)
            break;
    }
    line_[length_] = '\0';
    return length_ > 0 ? Result::Line : Result::End;
}

} // namespace pyrola
