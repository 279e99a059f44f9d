// The Windows program under Wine, driven from outside: the window's states and texts,
// jobs against the simulated FET library, a second start handing over its command line,
// Cancel during a long job, the File Format and About dialogs, and the hex view's colours
// as they appear on the screen. A screenshot after a verify with one error is saved in
// the build folder on every run.
#include "UiDriver.h"

#include "adapters/DeviceTable.h"
#include "app/DeviceInfoText.h"
#include "app/ViewColours.h"
#include "image/FileFormat.h"
#include "jobs/CommandLine.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>

namespace pyrola::ui_test {
namespace {

namespace fs = std::filesystem;

// Control and command numbers of the program (its resource.h is the program's own).
constexpr int kOpen = 57601, kSave = 57603, kAuto = 1004, kErase = 1003, kBlankCheck = 1006, kProgram = 1000,
              kVerify = 1002, kRead = 1001, kReset = 1007, kCancel = 1005, kSetup = 1039,
              kSerialization = 1076;
constexpr int kLog = 1022, kStatus = 1023, kDevice = 1024, kMemory = 1025, kDeviceInfo = 2002;
constexpr int kRecentFirst = 57616;
constexpr int kFormatTiTxt = 1032, kFormatIntelHex = 1033, kFormatBinary = 1034;
constexpr int kAboutVersion = 1093, kAboutUsage = 1092, kAboutMail = 1091, kAboutWeb = 1090;
// The first start of a program in a new Wine prefix takes a while.
constexpr uint32_t kStartTimeoutMs = 60000;
constexpr uint32_t kJobTimeoutMs = 60000;

using Image = std::map<uint32_t, uint8_t>;

// 64 bytes of code at 0xF000 (control bytes and bytes above 127 among them) and the
// reset vector: a span of 4,096 bytes.
Image SmallImage() {
    Image image;
    for (uint32_t i = 0; i < 64; ++i)
        image[0xF000 + i] = static_cast<uint8_t>(i * 37 + 5);
    image[0xFFFE] = 0x00;
    image[0xFFFF] = 0xF0;
    return image;
}

// All of an F149's main flash.
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

class ProgramWindow : public ::testing::Test {
protected:
    void SetUp() override {
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
    void TearDown() override {
        processes_.clear();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::vector<std::pair<std::string, std::string>> Environment() const {
        return {{"PYROLA_SETTINGS", settings_.string()},
                {"PYROLA_FET_LIBRARY", NativePath(PYROLA_SIM_FET_LIBRARY)},
                {"PYROLA_SIM_STATE", (dir_ / "chip.bin").string()},
                {"PYROLA_SIM_DEVICE", ""},
                {"PYROLA_SIM_FAULTS", ""},
                {"PYROLA_SIM_FET_DELAY", fetDelay_}};
    }
    Process& Start(const std::vector<std::string>& arguments, int show = SW_SHOWNORMAL) {
        processes_.push_back(Process::Start(PYROLA_GUI_PROGRAM, arguments, Environment(), show));
        EXPECT_NE(processes_.back(), nullptr);
        return *processes_.back();
    }
    // The first instance and its main window.
    RemoteWindow StartWindow(const std::vector<std::string>& arguments, int show = SW_SHOWNORMAL) {
        Process& process = Start(arguments, show);
        HWND main = nullptr;
        EXPECT_TRUE(
            WaitUntil([&] { return (main = FindMainWindow(process.Id())) != nullptr; }, kStartTimeoutMs));
        first_ = &process;
        return RemoteWindow(main, process.Handle());
    }
    // A second start: it must end at once with status 0.
    void SecondStart(const std::vector<std::string>& arguments) {
        Process& second = Start(arguments);
        const std::optional<DWORD> status = second.WaitForExit(kStartTimeoutMs);
        ASSERT_TRUE(status.has_value()) << "the second start did not end";
        EXPECT_EQ(*status, 0u);
    }
    void CloseWindow(const RemoteWindow& window) {
        PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
        const std::optional<DWORD> status = first_->WaitForExit(20000);
        ASSERT_TRUE(status.has_value()) << "the window did not close";
        EXPECT_EQ(*status, 2u); // Exit's quit code
    }

    std::vector<std::string> Log(const RemoteWindow& window) const {
        return WithoutTime(window.ListLines(kLog));
    }
    bool WaitForLog(const RemoteWindow& window, const std::string& text, size_t count = 1,
                    uint32_t timeoutMs = kJobTimeoutMs) const {
        return WaitUntil([&] { return CountOf(Log(window), text) >= count; }, timeoutMs);
    }
    bool WaitForIdle(const RemoteWindow& window) const {
        return WaitUntil([&] { return !window.Enabled(kCancel) && window.Enabled(kErase); }, kJobTimeoutMs);
    }
    std::string ImageFile(const std::string& name, const Image& bytes) const {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << test::WriteTiTxt(bytes);
        return path.string();
    }
    std::string SettingsText() const {
        std::ifstream in(settings_);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path dir_;
    fs::path settings_;
    std::string fetDelay_;
    std::vector<std::unique_ptr<Process>> processes_;
    Process* first_ = nullptr;
};

// The window as the screen shows it, also saved as build/.../ui/<name> for people to look at.
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

// The row of the memory view that holds address, with the pixel ranges of its cells.
struct RowOnScreen {
    RECT row{};
    int cellWidth = 0;
    int CellLeft(int cell) const { return row.left + (2 + cell) * cellWidth; }
};

RowOnScreen MemoryRow(const RemoteWindow& window, uint32_t firstAddress, uint32_t address) {
    RowOnScreen at;
    const int row = static_cast<int>((address - firstAddress) / 16);
    at.row = window.ListViewRowRect(kMemory, row);
    at.cellWidth = window.ListViewColumnWidth(kMemory) / 24; // the column is 24 byte cells wide
    return at;
}

TEST_F(ProgramWindow, StartsReadyWithTheStatesOfAnEmptyImage) {
    RemoteWindow window = StartWindow({});
    ASSERT_TRUE(WaitUntil([&] { return window.StatusPart(kStatus, 1) == L"Ready"; }));
    EXPECT_EQ(window.Title(), L"PYROLA - []");
    EXPECT_EQ(window.StatusPart(kStatus, 0), L"FET(LPT1)");
    for (int id : {kProgram, kVerify, kSave, kAuto, kCancel})
        EXPECT_FALSE(window.Enabled(id)) << id;
    for (int id : {kErase, kBlankCheck, kRead, kReset, kOpen, kSetup, kSerialization})
        EXPECT_TRUE(window.Enabled(id)) << id;
    EXPECT_EQ(window.ListViewCount(kMemory), 0);

    // The device list: the table's names in its order, "Device unknown" chosen.
    ASSERT_EQ(window.ComboCount(kDevice), static_cast<int>(kDeviceCount));
    for (uint32_t i = 0; i < kDeviceCount; ++i)
        EXPECT_EQ(window.ComboText(kDevice, static_cast<int>(i)), Wide(DeviceName(i))) << i;
    EXPECT_EQ(window.ComboSelection(kDevice), 0);
    EXPECT_EQ(window.Text(kDeviceInfo), L"");
    int f149 = 0;
    for (uint32_t i = 0; i < kDeviceCount; ++i)
        f149 = std::string(DeviceName(i)) == "MSP430F149" ? static_cast<int>(i) : f149;
    ASSERT_NE(f149, 0);
    window.SelectCombo(kDevice, f149);
    EXPECT_EQ(window.Text(kDeviceInfo), L"60KB+256B Flash, 2KB RAM");
    window.SelectCombo(kDevice, 3);
    EXPECT_EQ(window.Text(kDeviceInfo), Wide(DeviceInfoText(3)));
    window.SelectCombo(kDevice, 0);
    EXPECT_EQ(window.Text(kDeviceInfo), L"");

    // Every control with a tooltip text has its tooltip.
    HWND tips = nullptr;
    EnumThreadWindows(
        GetWindowThreadProcessId(window.Handle(), nullptr),
        [](HWND candidate, LPARAM found) {
            wchar_t name[64] = {};
            GetClassNameW(candidate, name, 64);
            if (std::wstring(name) == L"tooltips_class32")
                *reinterpret_cast<HWND*>(found) = candidate;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&tips));
    ASSERT_NE(tips, nullptr);
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 12); // the twelve buttons

    // F1: the About box with the version and the usage text; OK closes it.
    window.PostKey(VK_F1);
    HWND about = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (about = FindOwnedDialog(first_->Id(), window.Handle())) != nullptr; }));
    RemoteWindow box(about, first_->Handle());
    SaveScreenshot(about, "about.png");
    EXPECT_EQ(box.Text(kAboutVersion).rfind(L"PYROLA v1.44\r\n", 0), 0u) << Narrow(box.Text(kAboutVersion));
    EXPECT_EQ(box.Text(kAboutUsage), Wide(kCommandLineUsage));
    EXPECT_NE(box.Control(kAboutMail), nullptr);
    EXPECT_NE(box.Control(kAboutWeb), nullptr);
    box.PostClick(IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));

    // Resizing: the memory view and the log take the room, the buttons stay at the right.
    auto rectOf = [&](int id) {
        RECT r{};
        GetWindowRect(window.Control(id), &r);
        return r;
    };
    RECT frame{};
    GetWindowRect(window.Handle(), &frame);
    const RECT memory = rectOf(kMemory), log = rectOf(kLog), autoButton = rectOf(kAuto);
    SetWindowPos(window.Handle(), nullptr, 0, 0, frame.right - frame.left + 240,
                 frame.bottom - frame.top + 150, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(WaitUntil([&] { return rectOf(kMemory).right - memory.right == 240; }, 5000));
    EXPECT_EQ(rectOf(kAuto).left - autoButton.left, 240);
    EXPECT_EQ(rectOf(kAuto).top, autoButton.top);
    EXPECT_EQ(rectOf(kLog).right - log.right, 240);
    // Two thirds of the extra height to the memory view, one third to the log below it.
    EXPECT_EQ(rectOf(kMemory).bottom - memory.bottom, 100);
    EXPECT_EQ(rectOf(kLog).bottom - log.bottom, 150);
    EXPECT_EQ(rectOf(kLog).top - log.top, 100);

    CloseWindow(window);
    // Exit saved the settings.
    EXPECT_NE(SettingsText().find("AutoProgramm=27"), std::string::npos) << SettingsText();
}

TEST_F(ProgramWindow, CommandLineLoadsAFileAndAutoEndsWithGreenCells) {
    const Image image = SmallImage();
    const std::string file = ImageFile("small.txt", image);
    RemoteWindow window = StartWindow({"-fet", file});
    ASSERT_TRUE(WaitForLog(window, "Load 4096 bytes", 1, kStartTimeoutMs))
        << ::testing::PrintToString(Log(window));
    EXPECT_TRUE(WaitForLog(window, "Loading TI TXT file \"small.txt\".."));
    EXPECT_EQ(window.Title(), L"PYROLA - [small.txt]");
    // 0xF000 to 0xFFFF: 256 rows.
    EXPECT_EQ(window.ListViewCount(kMemory), 256);
    for (int id : {kProgram, kVerify, kSave, kAuto})
        EXPECT_TRUE(window.Enabled(id)) << id;

    window.PostKey(VK_F5);
    ASSERT_TRUE(WaitForLog(window, "Verify complete.")) << ::testing::PrintToString(Log(window));
    ASSERT_TRUE(WaitForIdle(window));
    const std::vector<std::string> log = Log(window);
    for (const char* step : {"Erase complete.", "Blank check complete.", "Program complete."})
        EXPECT_EQ(CountOf(log, step), 1u) << step;
    // The identified chip is shown with its sizes.
    EXPECT_EQ(window.ComboText(kDevice, window.ComboSelection(kDevice)), L"MSP430F149");
    EXPECT_EQ(window.Text(kDeviceInfo), L"60KB+256B Flash, 2KB RAM");

    // The verified bytes are green, the address blue, nothing red; the status is not red.
    const RowOnScreen row = MemoryRow(window, 0xF000, 0xF000);
    ASSERT_GT(row.cellWidth, 3);
    bool painted = WaitUntil([&] {
        const Screenshot shot = CaptureWindow(window.Handle());
        return CountPixels(shot, row.CellLeft(0), row.row.top, row.CellLeft(16), row.row.bottom, Greenish) >
               50;
    });
    const Screenshot shot = CaptureWindow(window.Handle());
    EXPECT_TRUE(painted);
    for (int cell = 0; cell < 16; ++cell) {
        EXPECT_GT(CountPixels(shot, row.CellLeft(cell), row.row.top, row.CellLeft(cell + 1), row.row.bottom,
                              Greenish),
                  3)
            << cell;
    }
    EXPECT_GT(CountPixels(shot, row.row.left, row.row.top, row.CellLeft(0), row.row.bottom, Bluish), 10);
    EXPECT_EQ(CountPixels(shot, row.row.left, row.row.top, row.row.right, row.row.bottom, Reddish), 0);
    const RECT status = window.StatusPartRect(kStatus, 1);
    EXPECT_EQ(CountPixels(shot, status.left, status.top, status.right, status.bottom, Reddish), 0);
    EXPECT_EQ(window.StatusPart(kStatus, 1), L"Verify complete.");
    CloseWindow(window);
}

TEST_F(ProgramWindow, SecondStartsHandTheirCommandLinesToTheFirst) {
    RemoteWindow window = StartWindow({});
    ASSERT_TRUE(WaitUntil([&] { return window.StatusPart(kStatus, 1) == L"Ready"; }, kStartTimeoutMs));
    const Image image = SmallImage();

    SecondStart({"-fet", "+ebpv", ImageFile("small.txt", image)});
    ASSERT_TRUE(WaitForLog(window, "Verify complete.")) << ::testing::PrintToString(Log(window));
    ASSERT_TRUE(WaitForIdle(window));
    EXPECT_EQ(CountOf(Log(window), "Detect new instance"), 1u);
    EXPECT_EQ(CountOf(Log(window), "Program complete."), 1u);
    EXPECT_EQ(window.Title(), L"PYROLA - [small.txt]");

    // One byte differs from the chip: the verify counts one error, in red, and its cell
    // turns dark red.
    Image changed = image;
    changed[0xF013] ^= 0x40;
    SecondStart({"+v", ImageFile("changed.txt", changed)});
    ASSERT_TRUE(WaitForLog(window, "Verify failed. Found 1 errors")) << ::testing::PrintToString(Log(window));
    ASSERT_TRUE(WaitForIdle(window));
    EXPECT_EQ(window.StatusPart(kStatus, 1), L"Verify failed. Found 1 errors");

    const RowOnScreen row = MemoryRow(window, 0xF000, 0xF013);
    const RECT status = window.StatusPartRect(kStatus, 1);
    ASSERT_GT(row.cellWidth, 3);
    const bool painted = WaitUntil([&] {
        const Screenshot shot = CaptureWindow(window.Handle());
        return CountPixels(shot, row.CellLeft(3), row.row.top, row.CellLeft(4), row.row.bottom, Reddish) >
                   3 &&
               CountPixels(shot, status.left, status.top, status.right, status.bottom, Reddish) > 10;
    });
    const Screenshot shot = SaveScreenshot(window.Handle(), "verify-one-error.png");
    EXPECT_TRUE(painted);
    for (int cell = 0; cell < 16; ++cell) {
        const int red = CountPixels(shot, row.CellLeft(cell), row.row.top, row.CellLeft(cell + 1),
                                    row.row.bottom, Reddish);
        const int green = CountPixels(shot, row.CellLeft(cell), row.row.top, row.CellLeft(cell + 1),
                                      row.row.bottom, Greenish);
        if (cell == 3) {
            EXPECT_GT(red, 3);
            EXPECT_EQ(green, 0);
        } else {
            EXPECT_EQ(red, 0) << cell;
            EXPECT_GT(green, 3) << cell;
        }
    }
    // Red text in the status line: the error colour.
    int strongRed = 0;
    for (int y = status.top; y < status.bottom; ++y) {
        for (int x = status.left; x < status.right; ++x) {
            const Pixel p = shot.At(x, y);
            strongRed += (p.red > 200 && p.green < 90 && p.blue < 90) ? 1 : 0;
        }
    }
    EXPECT_GT(strongRed, 5);

    // A second start without arguments only brings the window back and says so.
    ShowWindow(window.Handle(), SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(window.Handle()) != FALSE; }));
    const size_t commandLines = CountOf(Log(window), "Process command line..");
    SecondStart({});
    ASSERT_TRUE(WaitForLog(window, "Detect new instance", 3));
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(window.Handle()) == FALSE; }));
    EXPECT_EQ(CountOf(Log(window), "Process command line.."), commandLines);
    EXPECT_FALSE(window.Enabled(kCancel));
    EXPECT_EQ(Log(window).back(), "Detect new instance");
    CloseWindow(window);
}

TEST_F(ProgramWindow, CancelBreaksOffALongJobAndClosingWaitsForARunningOne) {
    fetDelay_ = "40"; // each transfer takes 40 ms, so a whole-flash job lasts seconds
    RemoteWindow window = StartWindow({"-fet", ImageFile("full.txt", FullImage())});
    ASSERT_TRUE(WaitForLog(window, "Load 61184 bytes", 1, kStartTimeoutMs));
    // 0x1100 to 0xFFFF: 3,824 rows from 1100.
    EXPECT_EQ(window.ListViewCount(kMemory), 3824);

    // Auto by its button: while it runs only Cancel (and the dumps) work, and the focus
    // that sat on Auto moves to Cancel.
    window.Click(kAuto);
    ASSERT_TRUE(WaitUntil([&] { return window.Enabled(kCancel); }));
    for (int id : {kProgram, kVerify, kSave, kAuto, kErase, kBlankCheck, kRead, kReset, kOpen, kSetup})
        EXPECT_FALSE(window.Enabled(id)) << id;
    EXPECT_EQ(window.Focus(), window.Control(kCancel));
    // Programming shows its progress in the status bar.
    HWND progress = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        progress = FindWindowExW(window.Control(kStatus), nullptr, PROGRESS_CLASSW, nullptr);
        return progress != nullptr && CountOf(Log(window), "Blank check complete.") == 1;
    })) << ::testing::PrintToString(Log(window));

    window.Click(kCancel);
    ASSERT_TRUE(WaitForIdle(window));
    EXPECT_TRUE(window.Enabled(kProgram));
    std::vector<std::string> log = Log(window);
    EXPECT_EQ(CountOf(log, "Break operation.."), 1u) << ::testing::PrintToString(log);
    EXPECT_EQ(CountOf(log, "Program complete."), 0u);
    EXPECT_EQ(CountOf(log, "Verify complete."), 0u);

    // Closing while a job runs: the job is broken off and the program ends.
    window.PostKey(VK_F5);
    ASSERT_TRUE(WaitUntil([&] { return window.Enabled(kCancel); }));
    CloseWindow(window);
    EXPECT_NE(SettingsText().find("Adapter=0"), std::string::npos);
}

TEST_F(ProgramWindow, DroppedAndRecentFilesAndAFileThatArrivesDuringAJob) {
    fetDelay_ = "40"; // the whole-flash job at the end lasts seconds
    const std::string a = ImageFile("a.txt", SmallImage());
    const std::string b = ImageFile("b.txt", SmallImage());
    const std::string c = ImageFile("c.txt", SmallImage());
    const std::string full = ImageFile("full.txt", FullImage());
    RemoteWindow window = StartWindow({});
    ASSERT_TRUE(WaitUntil([&] { return window.StatusPart(kStatus, 1) == L"Ready"; }, kStartTimeoutMs));

    // Three files dropped at once: the first one loads.
    window.DropFiles({a, b, c});
    ASSERT_TRUE(WaitForLog(window, "Load 4096 bytes")) << ::testing::PrintToString(Log(window));
    EXPECT_EQ(CountOf(Log(window), "Loading TI TXT file \"a.txt\".."), 1u);
    EXPECT_EQ(window.Title(), L"PYROLA - [a.txt]");
    window.DropFiles({b});
    ASSERT_TRUE(WaitForLog(window, "Load 4096 bytes", 2));
    std::vector<std::string> log = Log(window);
    EXPECT_EQ(CountOf(log, "Loading TI TXT file \"b.txt\".."), 1u);
    EXPECT_EQ(CountOf(log, "Loading TI TXT file \"c.txt\".."), 0u);

    // Newest first in the stored list. (Wine keeps a menu to its own process, so the menu's
    // texts are checked natively; here its entries are chosen by their commands.)
    EXPECT_NE(SettingsText().find("Document1=" + b + "\n"), std::string::npos) << SettingsText();
    EXPECT_NE(SettingsText().find("Document2=" + a + "\n"), std::string::npos) << SettingsText();

    // The second entry loads and moves to the top.
    window.PostCommand(kRecentFirst + 1);
    ASSERT_TRUE(WaitForLog(window, "Load 4096 bytes", 3));
    EXPECT_EQ(CountOf(Log(window), "Loading TI TXT file \"a.txt\".."), 2u);
    EXPECT_NE(SettingsText().find("Document1=" + a + "\n"), std::string::npos) << SettingsText();
    EXPECT_NE(SettingsText().find("Document2=" + b + "\n"), std::string::npos) << SettingsText();

    // An entry whose file is gone fails to load and leaves the menu and the stored list.
    fs::remove(b);
    window.PostCommand(kRecentFirst + 1);
    ASSERT_TRUE(WaitForLog(window, "Loading TI TXT file \"b.txt\"..", 2));
    ASSERT_TRUE(WaitUntil([&] { return SettingsText().find("Document2=") == std::string::npos; }))
        << SettingsText();
    EXPECT_NE(SettingsText().find("Document1=" + a + "\n"), std::string::npos) << SettingsText();
    EXPECT_EQ(window.Title(), L"PYROLA - []");
    EXPECT_EQ(window.StatusPart(kStatus, 1).rfind(L"Load failed. ", 0), 0u);
    // Its entry is gone: choosing it (or an entry never filled) loads nothing; the first
    // entry, chosen after them, still loads.
    const size_t lines = Log(window).size();
    window.PostCommand(kRecentFirst + 1);
    window.PostCommand(kRecentFirst + 15);
    window.PostCommand(kRecentFirst);
    ASSERT_TRUE(WaitForLog(window, "Load 4096 bytes", 4));
    EXPECT_EQ(Log(window).size(), lines + 2);

    // A file dropped while a job programs breaks the job off and loads once it has stopped.
    window.DropFiles({full});
    ASSERT_TRUE(WaitForLog(window, "Load 61184 bytes"));
    window.Click(kAuto);
    ASSERT_TRUE(WaitUntil([&] { return CountOf(Log(window), "Blank check complete.") == 1; }));
    EXPECT_TRUE(window.Enabled(kCancel));
    window.DropFiles({a});
    ASSERT_TRUE(WaitForLog(window, "Loading TI TXT file \"a.txt\"..", 4));
    ASSERT_TRUE(WaitForIdle(window));
    log = Log(window);
    const auto brokeOff = std::find(log.begin(), log.end(), "Break operation..");
    const auto loaded = std::find(brokeOff, log.end(), "Load 4096 bytes");
    EXPECT_NE(brokeOff, log.end()) << ::testing::PrintToString(log);
    EXPECT_NE(loaded, log.end()) << ::testing::PrintToString(log);
    EXPECT_EQ(CountOf(log, "Program complete."), 0u);
    EXPECT_EQ(window.Title(), L"PYROLA - [a.txt]");
    EXPECT_EQ(window.ListViewCount(kMemory), 256);
    EXPECT_TRUE(window.Enabled(kProgram));
    CloseWindow(window);
}

TEST_F(ProgramWindow, UnknownExtensionAsksForTheFormatOverAMinimisedWindow) {
    std::string bytes;
    for (int i = 0; i < 32; ++i)
        bytes += static_cast<char>(i * 7);
    const fs::path file = dir_ / "image.xyz";
    std::ofstream(file, std::ios::binary) << bytes;

    Process& process = Start({file.string()}, SW_SHOWMINNOACTIVE);
    HWND dialog = nullptr;
    HWND main = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (HWND candidate : DialogsOf(process.Id())) {
                if (GetDlgItem(candidate, kFormatTiTxt))
                    dialog = candidate;
            }
            main = FindMainWindow(process.Id());
            return dialog != nullptr && main != nullptr;
        },
        kStartTimeoutMs));
    first_ = &process;
    RemoteWindow window(main, process.Handle());
    RemoteWindow format(dialog, process.Handle());
    SaveScreenshot(dialog, "file-format.png");
    EXPECT_TRUE(IsIconic(main)) << "the window did not start minimised";
    EXPECT_EQ(format.Text(kFormatTiTxt), L"TI TXT");
    EXPECT_EQ(format.Text(kFormatIntelHex), L"Intel HEX");
    EXPECT_EQ(format.Text(kFormatBinary), L"Binary");
    // Every further format the program reads follows, under the next numbers.
    EXPECT_EQ(format.Text(kFormatBinary + 1), Wide(FileFormatName(FileFormat::Elf)));
    EXPECT_EQ(format.Text(kFormatBinary + 2), Wide(FileFormatName(FileFormat::SRecord)));
    EXPECT_TRUE(format.Checked(kFormatBinary)); // nothing known: Binary preselected
    EXPECT_FALSE(format.Checked(kFormatTiTxt));
    EXPECT_NE(GetWindowLongW(dialog, GWL_STYLE) & WS_CAPTION, WS_CAPTION) << "the dialog has no title";
    // Over a minimised owner the dialog opens in the middle of the work area.
    RECT work{}, placed{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(dialog, &placed);
    EXPECT_LE(std::abs((placed.left + placed.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((placed.top + placed.bottom) - (work.top + work.bottom)), 2);
    // Escape is no way out; OK is.
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    format.PostClick(IDOK);
    ASSERT_TRUE(WaitForLog(window, "Load 32 bytes", 1)) << ::testing::PrintToString(Log(window));
    EXPECT_EQ(CountOf(Log(window), "Loading Binary file \"image.xyz\".."), 1u);
    EXPECT_FALSE(IsWindow(dialog));

    // Ctrl+C copies the selected log line.
    ShowWindow(main, SW_RESTORE);
    SetForegroundWindow(main);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == main; }, 5000));
    const std::wstring last = window.ListLines(kLog).back();
    INPUT keys[4] = {};
    for (INPUT& key : keys)
        key.type = INPUT_KEYBOARD;
    keys[0].ki.wVk = VK_CONTROL;
    keys[1].ki.wVk = 'C';
    keys[2].ki.wVk = 'C';
    keys[2].ki.dwFlags = KEYEVENTF_KEYUP;
    keys[3].ki.wVk = VK_CONTROL;
    keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    ASSERT_EQ(SendInput(4, keys, sizeof(INPUT)), 4u);
    std::wstring copied;
    EXPECT_TRUE(WaitUntil(
        [&] {
            if (!OpenClipboard(nullptr))
                return false;
            if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
                    copied = text;
                    GlobalUnlock(data);
                }
            }
            CloseClipboard();
            return copied == last;
        },
        10000))
        << Narrow(copied);
    CloseWindow(window);
}

} // namespace
} // namespace pyrola::ui_test
