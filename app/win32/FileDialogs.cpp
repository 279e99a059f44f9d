#include "app/win32/FileDialogs.h"

#include "app/FileDialogFilter.h"
#include "app/win32/controls/WideText.h"
#include "serialno/SerialConfigFile.h"
#include "serialno/SerializationForm.h"

#include <commdlg.h>
#include <vector>

namespace pyrola::win32 {

namespace {

// Room for long paths; the load flow refuses what it cannot keep.
constexpr size_t kPathBuffer = 4096;

// "name\0patterns\0...\0\0" as the common dialogs want it.
std::wstring ImageFilterText() {
    std::wstring text;
    for (const FileDialogFilterEntry& entry : FileDialogFilter()) {
        text += Widen(entry.name);
        text += L'\0';
        text += Widen(entry.patterns);
        text += L'\0';
    }
    return text + L'\0';
}

std::wstring SerialConfigFilterText() {
    std::wstring text;
    for (const char* part : kSerialConfigFilter) {
        text += Widen(part);
        text += L'\0';
    }
    return text + L'\0';
}

struct Request {
    std::wstring filter;
    std::wstring defaultExtension; // without the dot; empty for none
    bool save;
};

std::optional<std::string> Ask(HWND owner, const std::string& current, const Request& request) {
    std::vector<wchar_t> path(kPathBuffer, L'\0');
    const std::wstring start = Widen(current);
    if (start.size() < path.size())
        std::copy(start.begin(), start.end(), path.begin());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = request.filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
                   (request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = request.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen)
        return std::nullopt;
    return Narrow(path.data());
}

} // namespace

std::optional<std::string> AskOpenPath(HWND owner, const std::string& current) {
    return Ask(owner, current, {ImageFilterText(), L"", false});
}

std::optional<std::string> AskSavePath(HWND owner, const std::string& current) {
    return Ask(owner, current, {ImageFilterText(), L"", true});
}

std::optional<std::string> AskOpenSerialConfigPath(HWND owner, const std::string& current) {
    return Ask(owner, current, {SerialConfigFilterText(), Widen(kSerialConfigExtension), false});
}

std::optional<std::string> AskSaveSerialConfigPath(HWND owner, const std::string& current) {
    return Ask(owner, current, {SerialConfigFilterText(), Widen(kSerialConfigExtension), true});
}

} // namespace pyrola::win32
