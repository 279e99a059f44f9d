#include "app/win32/FileDialogs.h"

#include "app/FileDialogFilter.h"
#include "ui/win32/WideText.h"

#include <commdlg.h>
#include <vector>

namespace pyrola::win32 {

namespace {

// Room for long paths; the load flow refuses what it cannot keep.
constexpr size_t kPathBuffer = 4096;

// "name\0patterns\0...\0\0" as the common dialogs want it.
std::wstring FilterText() {
    std::wstring text;
    for (const FileDialogFilterEntry& entry : FileDialogFilter()) {
        text += Widen(entry.name);
        text += L'\0';
        text += Widen(entry.patterns);
        text += L'\0';
    }
    text += L'\0';
    return text;
}

std::optional<std::string> Ask(HWND owner, const std::string& current, bool save) {
    const std::wstring filter = FilterText();
    std::vector<wchar_t> path(kPathBuffer, L'\0');
    const std::wstring start = Widen(current);
    if (start.size() < path.size())
        std::copy(start.begin(), start.end(), path.begin());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
                   (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen)
        return std::nullopt;
    return Narrow(path.data());
}

} // namespace

std::optional<std::string> AskOpenPath(HWND owner, const std::string& current) {
    return Ask(owner, current, false);
}

std::optional<std::string> AskSavePath(HWND owner, const std::string& current) {
    return Ask(owner, current, true);
}

} // namespace pyrola::win32
