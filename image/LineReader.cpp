#include "image/LineReader.h"

#include <algorithm>
#include <cstring>

namespace pyrola {

namespace {
constexpr size_t kChunk = 64 * 1024;
}

LineReader::LineReader(std::FILE* file, size_t maxLength, LineEnds ends)
    : file_(file), maxLength_(maxLength ? maxLength : 1), ends_(ends), buffer_(kChunk),
      line_(maxLength_ + 1, '\0') {}

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

const char* LineReader::FindLineEnd(const char* start, size_t count) const {
    if (ends_ == LineEnds::LfOnly)
        return static_cast<const char*>(std::memchr(start, '\n', count));
    const char* stop = std::find_if(start, start + count, [](char c) { return c == '\n' || c == '\r'; });
    return stop == start + count ? nullptr : stop;
}

LineReader::Result LineReader::Next() {
    length_ = 0;
    bool ended = false;
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
        const char* stop = FindLineEnd(start, avail);
        const size_t take = stop ? static_cast<size_t>(stop - start) + 1 : avail;
        std::memcpy(line_.data() + length_, start, take);
        length_ += take;
        begin_ += take;
        ended = stop != nullptr;
        if (ended || length_ == maxLength_)
            break;
    }
    // A CR followed by LF is one line end: take the LF too when the line has room for it
    // (the LF may stand in the next buffer; a read error there shows at the next call).
    if (ended && ends_ == LineEnds::CrOrLf && line_[length_ - 1] == '\r' && length_ < maxLength_) {
        if (begin_ == end_)
            Refill();
        if (begin_ < end_ && buffer_[begin_] == '\n') {
            line_[length_++] = '\n';
            ++begin_;
        }
    }
    line_[length_] = '\0';
    if (length_ == 0)
        return Result::End;
    ++number_;
    return Result::Line;
}

size_t LineReader::ContentLength() const {
    size_t content = length_;
    if (content > 0 && line_[content - 1] == '\n')
        --content;
    if (content > 0 && line_[content - 1] == '\r')
        --content;
    return content;
}

} // namespace pyrola
