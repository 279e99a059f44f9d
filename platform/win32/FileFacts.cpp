#include "platform/FileFacts.h"

#include <windows.h>

namespace pyrola {

namespace {

// The final path of an open handle, without the "\\?\" prefix the system puts in front.
std::string FinalPath(HANDLE handle) {
    char buffer[MAX_PATH * 2];
    const DWORD length = GetFinalPathNameByHandleA(handle, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= sizeof buffer)
        return {};
    std::string path(buffer, length);
    if (path.rfind("\\\\?\\UNC\\", 0) == 0)
        return "\\\\" + path.substr(8);
    if (path.rfind("\\\\?\\", 0) == 0)
        return path.substr(4);
    return path;
}

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH * 2];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return length == 0 || length >= sizeof buffer ? std::string() : std::string(buffer, length);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

} // namespace

FileFacts ExamineFile(const std::string& path) {
    FileFacts facts;
    // No access rights asked for: only the file's identity, also of a file another
    // program holds open. Backup semantics opens a folder too, so it can be told apart.
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        facts.exists = true;
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(file, &info)) {
            facts.links = info.nNumberOfLinks;
            facts.regular =
                GetFileType(file) == FILE_TYPE_DISK && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
            facts.writable = facts.regular && !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
        }
        facts.resolvedPath = FinalPath(file);
        CloseHandle(file);
        if (facts.resolvedPath.empty())
            facts.resolvedPath = FullPath(path);
    } else {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            facts.resolvedPath = FullPath(path);
            const DWORD attributes = GetFileAttributesA(FolderOf(path).c_str());
            facts.writable = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
    }
    const DWORD folder =
        GetFileAttributesA(FolderOf(facts.resolvedPath.empty() ? path : facts.resolvedPath).c_str());
    facts.folderWritable = folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY);
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExA(FolderOf(facts.resolvedPath.empty() ? path : facts.resolvedPath).c_str(),
                            &available, nullptr, nullptr))
        facts.freeBytes = available.QuadPart;
    return facts;
}

} // namespace pyrola
