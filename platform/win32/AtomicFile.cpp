#include "platform/AtomicFile.h"

#include <windows.h>

namespace pyrola {
namespace {

bool MakeParents(const std::string& path) {
    size_t slash = path.find_first_of("\\/", 3);
    while (slash != std::string::npos) {
        std::string folder = path.substr(0, slash);
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        slash = path.find_first_of("\\/", slash + 1);
    }
    return true;
}

} // namespace

bool ReplaceFileAtomically(const std::string& path, const std::string& contents) {
    if (path.empty() || !MakeParents(path))
        return false;
    std::string temp = path + ".tmp" + std::to_string(GetCurrentProcessId());
    HANDLE file =
        CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = contents.empty() ||
              (WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
               written == contents.size());
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    if (ok && MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(temp.c_str());
    return false;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    contents.clear();
    char buffer[4096];
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
    return ok;
}

} // namespace pyrola
