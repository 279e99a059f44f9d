#include "platform/AppendFile.h"

#include <windows.h>

namespace pyrola {

bool AppendToFile(const std::string& path, const std::string& header, const std::string& record) {
    // Append data without write data: every write goes to the end of the file, whoever else
    // writes to it.
    HANDLE file =
        CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) != 0;
    const std::string text = (ok && size.QuadPart == 0 ? header : std::string()) + record;
    if (ok && !text.empty()) {
        DWORD written = 0;
        ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
             written == text.size();
        FlushFileBuffers(file); // best effort: the record is written either way
    }
    ok = CloseHandle(file) && ok;
    return ok;
}

} // namespace pyrola
