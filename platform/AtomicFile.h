#pragma once
// Replacing a whole file so that a crash leaves either the old or the new content,
// never a mixture: write a temporary file beside it, flush it to disk, rename it over.

#include <cstdint>
#include <optional>
#include <string>

namespace pyrola {

// Who a file is and when it last changed: differs after the file is replaced (a new
// file) or written in place (a new time or size).
struct FileStamp {
    uint64_t volume = 0;
    uint64_t id = 0;
    uint64_t size = 0;
    int64_t modified = 0; // nanoseconds (POSIX) or 100 ns units (Windows)
    bool operator==(const FileStamp&) const = default;
};

// Creates missing parent folders. False (and the old file untouched) on any failure,
// including a file that exists but may not be written (read-only, or not a regular
// file): it is left alone. The new file keeps the old one's permissions (POSIX mode,
// owner where allowed; Windows attributes), and a symbolic link keeps pointing at it.
bool ReplaceFileAtomically(const std::string& path, const std::string& contents);

// True when path is missing (it may be created) or is a regular file this user may write.
bool MayReplaceFile(const std::string& path);

// Creates the folders above path. False when one cannot be made.
bool MakeParentFolders(const std::string& path);

// The whole file, or nothing when it cannot be read or is not a regular file (a FIFO is
// never waited on). stamp, when given, receives the stamp of the file that was read.
bool ReadWholeFile(const std::string& path, std::string& contents, FileStamp* stamp = nullptr);

// The stamp of a regular file; nothing when it is missing or cannot be examined.
std::optional<FileStamp> StampOfFile(const std::string& path);

} // namespace pyrola
