#pragma once
// What a production run must know about a file it will rely on before the chip is touched:
// whether it is a regular file, which file it really is (symbolic links followed), how
// many names it has, whether this user may write it and how much room its volume has left.
// Two programs that reach one file by different paths lock it by its resolved path, so
// they exclude each other.

#include <cstdint>
#include <optional>
#include <string>

namespace pyrola {

struct FileFacts {
    bool exists = false;
    bool regular = false; // false for a FIFO, device or folder
    uint32_t links = 0;   // hard links (names) of the file; 0 when it is missing
    // Absolute, symbolic links followed; for a missing file its folder resolved plus its
    // name. Empty when even the folder cannot be resolved.
    std::string resolvedPath;
    // A regular file this user may write (and not marked read-only), or a missing file
    // whose folder this user may create files in.
    bool writable = false;
    // The folder holding the file (the one it finally lies in) takes new files: a file
    // replaced whole is written beside itself first.
    bool folderWritable = false;
    // Room left for this user on the file's volume; nothing when it cannot be told.
    std::optional<uint64_t> freeBytes;
};

FileFacts ExamineFile(const std::string& path);

// The lock file that guards path: beside the file path finally names, so that a symbolic
// link and the plain path share one lock. The path with ".lock" appended when it cannot
// be resolved.
std::string LockPathFor(const std::string& path);

} // namespace pyrola
