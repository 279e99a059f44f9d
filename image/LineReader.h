#pragma once
// Reads a text file in lines of at most a given number of bytes: a line is the bytes up
// to and including its line end, and a longer line continues as the next one. Buffered,
// so per-line reading costs no call into the C library.

#include <cstddef>
#include <cstdio>
#include <vector>

namespace pyrola {

class LineReader {
public:
    enum class Result { Line, End, Error };
    // LfOnly: only LF ends a line (a CR stays part of the line). CrOrLf: LF, CR LF or a
    // CR alone ends a line; CR LF counts as one line end.
    enum class LineEnds { LfOnly, CrOrLf };

    // maxLength excludes the NUL that Next appends.
    LineReader(std::FILE* file, size_t maxLength, LineEnds ends = LineEnds::LfOnly);

    // On Line, line() holds length() bytes (its line end included) plus a NUL; embedded
    // NULs are kept as bytes.
    Result Next();
    const char* line() const { return line_.data(); }
    size_t length() const { return length_; }
    // The length without the line end (LF, CR LF, or CR alone).
    size_t ContentLength() const;
    // Lines returned so far: 1 for the first; 0 before it.
    int Number() const { return number_; }

private:
    bool Refill();
    // Where the next line end starts within [start, start + count), or null.
    const char* FindLineEnd(const char* start, size_t count) const;

    std::FILE* file_;
    size_t maxLength_;
    LineEnds ends_;
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool error_ = false;
    std::vector<char> line_;
    size_t length_ = 0;
    int number_ = 0;
};

} // namespace pyrola
