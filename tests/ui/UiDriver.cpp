#include "UiDriver.h"

#include "PngFile.h"

#include <commctrl.h>
#include <shlobj.h>

#include <chrono>
#include <thread>

namespace pyrola::ui_test {

namespace {

constexpr UINT kSendTimeoutMs = 5000;

LRESULT SendTimed(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct DialogSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<DialogSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && ClassOf(window) == L"#32770")
        search.found.push_back(window);
    return TRUE;
}

// Sets variables for the life of a child's start and puts the old values back.
class EnvironmentOverride {
public:
    explicit EnvironmentOverride(const std::vector<std::pair<std::string, std::string>>& values) {
        for (const auto& [name, value] : values) {
            const std::wstring key = Wide(name);
            wchar_t old[32768];
            const DWORD length = GetEnvironmentVariableW(key.c_str(), old, 32768);
            saved_.push_back({key, length > 0 ? std::optional<std::wstring>(old) : std::nullopt});
            SetEnvironmentVariableW(key.c_str(), value.empty() ? nullptr : Wide(value).c_str());
        }
    }
    ~EnvironmentOverride() {
        for (const auto& [key, value] : saved_)
            SetEnvironmentVariableW(key.c_str(), value ? value->c_str() : nullptr);
    }

private:
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved_;
};

} // namespace

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end()); // the tests' texts are ASCII
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

bool WaitUntil(const std::function<bool()>& condition, uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// --- processes ----------------------------------------------------------------------

std::unique_ptr<Process> Process::Start(const std::string& program, const std::vector<std::string>& arguments,
                                        const std::vector<std::pair<std::string, std::string>>& environment,
                                        int show) {
    std::wstring line = L"\"" + Wide(NativePath(program)) + L"\"";
    for (const std::string& argument : arguments) {
        if (argument.find(' ') != std::string::npos)
            line += L" \"" + Wide(argument) + L"\"";
        else
            line += L" " + Wide(argument);
    }
    std::vector<wchar_t> writable(line.begin(), line.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION info{};
    EnvironmentOverride scoped(environment);
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return nullptr;
    CloseHandle(info.hThread);
    return std::unique_ptr<Process>(new Process(info.hProcess, info.dwProcessId));
}

Process::~Process() {
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
}

std::optional<DWORD> Process::WaitForExit(uint32_t timeoutMs) {
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

std::vector<HWND> DialogsOf(DWORD processId) {
    DialogSearch search{processId, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindMainWindow(DWORD processId) {
    for (HWND window : DialogsOf(processId)) {
        wchar_t title[64] = {};
        GetWindowTextW(window, title, 64);
        if (std::wstring(title).rfind(L"PYROLA -", 0) == 0 && GetWindow(window, GW_OWNER) == nullptr)
            return window;
    }
    return nullptr;
}

HWND FindOwnedDialog(DWORD processId, HWND owner) {
    for (HWND window : DialogsOf(processId)) {
        if (window != owner && GetWindow(window, GW_OWNER) == owner && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

HWND FindDialogTitled(DWORD processId, const std::wstring& caption) {
    for (HWND window : DialogsOf(processId)) {
        wchar_t title[128] = {};
        GetWindowTextW(window, title, 128);
        if (caption == title && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

bool ComeToFront(HWND window) {
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    return WaitUntil([&] { return GetForegroundWindow() == window; }, 5000);
}

bool PressKeys(const std::vector<WORD>& keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT down{};
        down.type = INPUT_KEYBOARD;
        down.ki.wVk = key;
        inputs.push_back(down);
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        INPUT up{};
        up.type = INPUT_KEYBOARD;
        up.ki.wVk = *key;
        up.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(up);
    }
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

void ChooseFileInDialog(HWND fileDialog, const std::string& path) {
    // The file name box: a combo box in the Explorer-style dialog, an edit field in the old one.
    constexpr int kExplorerName = 0x47C, kOldName = 0x480;
    HWND name = GetDlgItem(fileDialog, kExplorerName);
    if (!name)
        name = GetDlgItem(fileDialog, kOldName);
    const std::wstring text = Wide(path);
    SendTimed(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    PostMessageW(GetDlgItem(fileDialog, IDOK), BM_CLICK, 0, 0);
}

// --- screen -------------------------------------------------------------------------

Pixel Screenshot::At(int screenX, int screenY) const {
    const int x = screenX - area.left, y = screenY - area.top;
    if (x < 0 || y < 0 || x >= Width() || y >= Height())
        return {};
    const size_t at = (size_t(y) * Width() + x) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

bool Screenshot::SavePng(const std::string& path) const {
    return WritePng(path, static_cast<uint32_t>(Width()), static_cast<uint32_t>(Height()), rgb);
}

Screenshot CaptureWindow(HWND window) {
    Screenshot shot;
    GetWindowRect(window, &shot.area);
    const int width = shot.Width(), height = shot.Height();
    if (width <= 0 || height <= 0)
        return shot;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, shot.area.left, shot.area.top, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, previous);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint8_t> bgra(size_t(width) * height * 4);
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), bgra.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    shot.rgb.resize(size_t(width) * height * 3);
    for (size_t i = 0, n = size_t(width) * height; i < n; ++i) {
        shot.rgb[i * 3] = bgra[i * 4 + 2];
        shot.rgb[i * 3 + 1] = bgra[i * 4 + 1];
        shot.rgb[i * 3 + 2] = bgra[i * 4];
    }
    return shot;
}

// --- one window -----------------------------------------------------------------------

std::wstring RemoteWindow::Title() const {
    wchar_t text[512] = {};
    SendTimed(window_, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring RemoteWindow::Text(int id) const {
    wchar_t text[4096] = {};
    SendTimed(Control(id), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    return text;
}

void RemoteWindow::SetText(int id, const std::string& text) const {
    const std::wstring wide = Wide(text);
    SendTimed(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

bool RemoteWindow::Enabled(int id) const {
    HWND control = Control(id);
    return control && IsWindowEnabled(control);
}

bool RemoteWindow::Checked(int id) const {
    return SendTimed(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void RemoteWindow::Click(int id) const {
    SendTimed(Control(id), BM_CLICK, 0, 0);
}

void RemoteWindow::PostClick(int id) const {
    PostMessageW(Control(id), BM_CLICK, 0, 0);
}

void RemoteWindow::PostCommand(int id) const {
    PostMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void RemoteWindow::PostKey(UINT virtualKey) const {
    HWND target = Focus();
    if (!target)
        target = window_;
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (LPARAM(scan) << 16));
    PostMessageW(target, WM_KEYUP, virtualKey, 1 | (LPARAM(scan) << 16) | (LPARAM(3) << 30));
}

void RemoteWindow::DropFiles(const std::vector<std::string>& paths) const {
    std::vector<uint8_t> block(sizeof(DROPFILES));
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::wstring names;
    for (const std::string& path : paths)
        names += Wide(path) + L'\0';
    names += L'\0';
    const auto* raw = reinterpret_cast<const uint8_t*>(names.data());
    block.insert(block.end(), raw, raw + names.size() * sizeof(wchar_t));
    void* remote = VirtualAllocEx(process_, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SIZE_T moved = 0;
    if (remote && WriteProcessMemory(process_, remote, block.data(), block.size(), &moved))
        PostMessageW(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

std::vector<std::wstring> RemoteWindow::ListLines(int id) const {
    std::vector<std::wstring> lines;
    HWND list = Control(id);
    const LRESULT count = SendTimed(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendTimed(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring line(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendTimed(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line.data()));
        line.resize(wcslen(line.c_str()));
        lines.push_back(line);
    }
    return lines;
}

int RemoteWindow::ComboCount(int id) const {
    return static_cast<int>(SendTimed(Control(id), CB_GETCOUNT, 0, 0));
}

int RemoteWindow::ComboSelection(int id) const {
    return static_cast<int>(SendTimed(Control(id), CB_GETCURSEL, 0, 0));
}

std::wstring RemoteWindow::ComboText(int id, int index) const {
    wchar_t text[256] = {};
    SendTimed(Control(id), CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

void RemoteWindow::SelectCombo(int id, int index) const {
    SendTimed(Control(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    // What the combo box tells its owner when the user picks a row.
    SendTimed(window_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Control(id)));
}

bool RemoteWindow::ReadRemote(uintptr_t address, void* target, size_t size) const {
    SIZE_T got = 0;
    return ReadProcessMemory(process_, reinterpret_cast<const void*>(address), target, size, &got) &&
           got == size;
}

LRESULT RemoteWindow::SendWithBuffer(HWND control, UINT message, WPARAM wParam, const void* in, void* out,
                                     size_t size) const {
    void* remote = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return 0;
    SIZE_T moved = 0;
    if (in)
        WriteProcessMemory(process_, remote, in, size, &moved);
    const LRESULT result = SendTimed(control, message, wParam, reinterpret_cast<LPARAM>(remote));
    if (out)
        ReadProcessMemory(process_, remote, out, size, &moved);
    VirtualFreeEx(process_, remote, 0, MEM_RELEASE);
    return result;
}

std::wstring RemoteWindow::StatusPart(int id, int part) const {
    HWND bar = Control(id);
    const LRESULT length = SendTimed(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0);
    wchar_t text[512] = {};
    const LRESULT got =
        SendWithBuffer(bar, SB_GETTEXTW, static_cast<WPARAM>(part), nullptr, text, sizeof text);
    if (!(HIWORD(length) & SBT_OWNERDRAW))
        return text;
    // An owner-drawn part answers with its data: here the address of the text it draws.
    std::wstring drawn;
    const uintptr_t address = static_cast<uintptr_t>(got);
    for (size_t i = 0; address && i < 511; ++i) {
        wchar_t c = 0;
        if (!ReadRemote(address + i * sizeof(wchar_t), &c, sizeof c) || c == 0)
            break;
        drawn += c;
    }
    return drawn;
}

RECT RemoteWindow::StatusPartRect(int id, int part) const {
    RECT r{};
    SendWithBuffer(Control(id), SB_GETRECT, static_cast<WPARAM>(part), nullptr, &r, sizeof r);
    MapWindowPoints(Control(id), nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int RemoteWindow::ListViewCount(int id) const {
    return static_cast<int>(SendTimed(Control(id), LVM_GETITEMCOUNT, 0, 0));
}

int RemoteWindow::ListViewColumnWidth(int id) const {
    return static_cast<int>(SendTimed(Control(id), LVM_GETCOLUMNWIDTH, 0, 0));
}

RECT RemoteWindow::ListViewRowRect(int id, int row) const {
    RECT r{};
    r.left = LVIR_BOUNDS;
    SendWithBuffer(Control(id), LVM_GETITEMRECT, static_cast<WPARAM>(row), &r, &r, sizeof r);
    MapWindowPoints(Control(id), nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND RemoteWindow::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

} // namespace pyrola::ui_test
