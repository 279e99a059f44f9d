#include "platform/AtomicFile.h"

#include "platform/FileFacts.h"

#include <atomic>
#include <windows.h>

namespace pyrola {
namespace {

// Attributes a replacement takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

FileStamp StampOf(const BY_HANDLE_FILE_INFORMATION& info) {
    FileStamp stamp;
    stamp.volume = info.dwVolumeSerialNumber;
    stamp.id = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    stamp.size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    stamp.modified = static_cast<int64_t>(uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                                          info.ftLastWriteTime.dwLowDateTime);
    return stamp;
}

// Opened for reading with every sharing mode, so that another program can still replace
// the file while it is read here.
HANDLE OpenForReading(const std::string& path, DWORD access) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsRegular(HANDLE file, BY_HANDLE_FILE_INFORMATION& info) {
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool MakeParentFolders(const std::string& path) {
    size_t slash = path.find_first_of("\\/", 3);
    while (slash != std::string::npos) {
        std::string folder = path.substr(0, slash);
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        slash = path.find_first_of("\\/", slash + 1);
    }
    return true;
}

bool MayReplaceFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    return !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

namespace {

// A reader that opened the file without delete sharing (the system's profile functions do)
// holds the replacement off for a moment: wait for it rather than lose the write.
bool MoveIntoPlace(const std::string& temp, const std::string& path) {
    constexpr int kTries = 200;
    constexpr DWORD kPauseMs = 10;
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt + 1 == kTries)
            return false;
        Sleep(kPauseMs);
    }
}

bool ReplaceFinalFile(const std::string& path, const std::string& contents) {
    if (!MayReplaceFile(path) || !MakeParentFolders(path))
        return false;
    // Unique within the process as well, for writers on several threads.
    static std::atomic<unsigned> counter{0};
    const std::string temp =
        path + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    const DWORD old = GetFileAttributesA(path.c_str());
    const DWORD kept = old == INVALID_FILE_ATTRIBUTES ? 0 : old & kKeptAttributes;
    const DWORD attributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = contents.empty() ||
              (WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
               written == contents.size());
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    if (ok && MoveIntoPlace(temp, path))
        return true;
    DeleteFileA(temp.c_str());
    return false;
}

} // namespace

bool ReplaceFileAtomically(const std::string& path, const std::string& contents) {
    if (path.empty())
        return false;
    // The file a symbolic link finally names is replaced, so the link keeps pointing at it
    // (and every path to the file sees the new content).
    const FileFacts facts = ExamineFile(path);
    return ReplaceFinalFile(facts.exists && !facts.resolvedPath.empty() ? facts.resolvedPath : path,
                            contents);
}

bool ReadWholeFile(const std::string& path, std::string& contents, FileStamp* stamp) {
    HANDLE file = OpenForReading(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!IsRegular(file, info)) {
        CloseHandle(file);
        return false;
    }
    contents.clear();
    char buffer[64 * 1024];
    DWORD got = 0;
    bool ok = true;
    for (;;) {
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        contents.append(buffer, got);
    }
    CloseHandle(file);
    if (ok && stamp)
        *stamp = StampOf(info);
    return ok;
}

std::optional<FileStamp> StampOfFile(const std::string& path) {
    HANDLE file = OpenForReading(path, FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular = IsRegular(file, info);
    CloseHandle(file);
    if (!regular)
        return std::nullopt;
    return StampOf(info);
}

} // namespace pyrola
