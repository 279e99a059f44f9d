#include "platform/AppendFile.h"

#include "platform/win32/SystemErrorText.h"

#include <windows.h>

namespace pyrola {

bool AppendToFile(const std::string& path, const std::string& header, const std::string& record,
                  std::string* why) {
    // A folder opens with no rights at all here: say what it is instead.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return RefuseAppend(why, "not a regular file");
    // Write access (not append data alone) so that a short write can be cut back; the
    // callers hold the log's lock, so the end found here stays the end.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return RefuseAppend(why, win32::SystemErrorText(GetLastError()));
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return RefuseAppend(why, "not a regular file");
    }
    const std::string text = (size.QuadPart == 0 ? header : std::string()) + record;
    bool ok = true;
    if (!text.empty()) {
        DWORD written = 0;
        ok = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) &&
             WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
             written == text.size();
        if (!ok) {
            const std::string reason = win32::SystemErrorText(GetLastError());
            const bool undone =
                written == 0 || (SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
            CloseHandle(file);
            return RefuseAppend(
                why, reason + (undone ? "; the part written was taken back" : "; a part line is left"));
        }
        ok = FlushFileBuffers(file) != 0;
    }
    ok = CloseHandle(file) && ok;
    return ok || RefuseAppend(why, win32::SystemErrorText(GetLastError()));
}

} // namespace pyrola
