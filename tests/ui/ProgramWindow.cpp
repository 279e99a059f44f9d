#include "ProgramWindow.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

namespace pyrola::ui_test {

Image SmallImage() {
    Image image;
    for (uint32_t i = 0; i < 64; ++i)
        image[0xF000 + i] = static_cast<uint8_t>(i * 37 + 5);
    image[0xFFFE] = 0x00;
    image[0xFFFF] = 0xF0;
    return image;
}

Image FullImage() {
    Image image;
    for (uint32_t a = 0x1100; a <= 0xFFFF; ++a)
        image[a] = static_cast<uint8_t>(a ^ (a >> 8));
    return image;
}

std::vector<std::string> WithoutTime(const std::vector<std::wstring>& lines) {
    std::vector<std::string> texts;
    for (const std::wstring& line : lines)
        texts.push_back(line.size() >= 10 ? Narrow(line.substr(10)) : Narrow(line));
    return texts;
}

size_t CountOf(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}

bool Reddish(const Pixel& p) {
    return p.red >= 100 && p.red > p.green + 60 && p.red > p.blue + 60;
}
bool Greenish(const Pixel& p) {
    return p.green > p.red + 50 && p.green > p.blue + 50;
}
bool Bluish(const Pixel& p) {
    return p.blue > p.red + 80 && p.blue > p.green + 80;
}

int CountPixels(const Screenshot& shot, int left, int top, int right, int bottom,
                bool (*kind)(const Pixel&)) {
    int count = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x)
            count += kind(shot.At(x, y)) ? 1 : 0;
    }
    return count;
}

Screenshot SaveScreenshot(HWND window, const std::string& name) {
    // Once painted: the picture has more than one colour and has stopped changing.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Screenshot shot = CaptureWindow(window);
    WaitUntil(
        [&] {
            const Screenshot again = CaptureWindow(window);
            const bool settled =
                again.rgb == shot.rgb && std::any_of(shot.rgb.begin(), shot.rgb.end(),
                                                     [&](uint8_t v) { return v != shot.rgb.front(); });
            shot = again;
            return settled;
        },
        5000);
    fs::create_directories(fs::path(NativePath(PYROLA_BINARY_DIR)) / "ui");
    EXPECT_TRUE(shot.SavePng(NativePath(std::string(PYROLA_BINARY_DIR) + "/ui/" + name))) << name;
    return shot;
}

RowOnScreen MemoryRow(const RemoteWindow& window, uint32_t firstAddress, uint32_t address) {
    RowOnScreen at;
    const int row = static_cast<int>((address - firstAddress) / 16);
    at.row = window.ListViewRowRect(kMemory, row);
    at.cellWidth = window.ListViewColumnWidth(kMemory) / 24; // the column is 24 byte cells wide
    return at;
}

void ProgramWindow::SetUp() {
    dir_ = fs::temp_directory_path() /
           ("pyrola_ui_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            "_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    settings_ = dir_ / "settings.ini";
    // The FET adapter on the simulated library; everything else as a new user has it.
    std::ofstream(settings_) << "[Pyrola]\nAdapter=0\n";
    // Wine draws the windows' own frames and titles (there is no window manager).
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", L"Decorated", REG_SZ, L"N",
                    2 * sizeof(wchar_t));
}

void ProgramWindow::TearDown() {
    processes_.clear();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::vector<std::pair<std::string, std::string>> ProgramWindow::Environment() const {
    return {{"PYROLA_SETTINGS", settings_.string()},
            {"PYROLA_FET_LIBRARY", NativePath(fetLibrary_)},
            {"PYROLA_SIM_FET_FIRMWARE", fetFirmware_},
            {"PYROLA_SIM_STATE", (dir_ / "chip.bin").string()},
            {"PYROLA_SIM_DEVICE", ""},
            {"PYROLA_SIM_FAULTS", ""},
            {"PYROLA_SIM_FET_DELAY", fetDelay_}};
}

Process& ProgramWindow::Start(const std::vector<std::string>& arguments, int show) {
    processes_.push_back(Process::Start(PYROLA_GUI_PROGRAM, arguments, Environment(), show));
    EXPECT_NE(processes_.back(), nullptr);
    return *processes_.back();
}

RemoteWindow ProgramWindow::StartWindow(const std::vector<std::string>& arguments, int show) {
    Process& process = Start(arguments, show);
    HWND main = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (main = FindMainWindow(process.Id())) != nullptr; }, kStartTimeoutMs));
    first_ = &process;
    return RemoteWindow(main, process.Handle());
}

RemoteWindow ProgramWindow::StartReadyWindow() {
    RemoteWindow window = StartWindow({});
    EXPECT_TRUE(WaitUntil([&] { return window.StatusPart(kStatus, 1) == L"Ready"; }, kStartTimeoutMs));
    return window;
}

void ProgramWindow::SecondStart(const std::vector<std::string>& arguments) {
    Process& second = Start(arguments);
    const std::optional<DWORD> status = second.WaitForExit(kStartTimeoutMs);
    ASSERT_TRUE(status.has_value()) << "the second start did not end";
    EXPECT_EQ(*status, 0u);
}

void ProgramWindow::CloseWindow(const RemoteWindow& window) {
    PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
    const std::optional<DWORD> status = first_->WaitForExit(20000);
    ASSERT_TRUE(status.has_value()) << "the window did not close";
    EXPECT_EQ(*status, 2u); // Exit's quit code
}

RemoteWindow ProgramWindow::WaitForDialog(const std::wstring& caption) const {
    HWND found = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (found = FindDialogTitled(first_->Id(), caption)) != nullptr; }))
        << Narrow(caption);
    return RemoteWindow(found, first_->Handle());
}

std::vector<std::string> ProgramWindow::Log(const RemoteWindow& window) const {
    return WithoutTime(window.ListLines(kLog));
}

bool ProgramWindow::WaitForLog(const RemoteWindow& window, const std::string& text, size_t count,
                               uint32_t timeoutMs) const {
    return WaitUntil([&] { return CountOf(Log(window), text) >= count; }, timeoutMs);
}

bool ProgramWindow::WaitForIdle(const RemoteWindow& window) const {
    return WaitUntil([&] { return !window.Enabled(kCancel) && window.Enabled(kErase); }, kJobTimeoutMs);
}

std::string ProgramWindow::ImageFile(const std::string& name, const Image& bytes) const {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << test::WriteTiTxt(bytes);
    return path.string();
}

std::string ProgramWindow::SettingsText() const {
    std::ifstream in(settings_);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace pyrola::ui_test
