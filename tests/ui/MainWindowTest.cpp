// The main window under Wine: its first states and texts, the device list, tooltips, the
// About box, resizing, the File Format dialog over a minimised window and Ctrl+C in the log.
#include "ProgramWindow.h"

#include "adapters/DeviceTable.h"
#include "app/DeviceInfoText.h"
#include "image/FileFormat.h"
#include "jobs/CommandLine.h"

#include <commctrl.h>

#include <fstream>
#include <iterator>

namespace pyrola::ui_test {
namespace {

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
    EXPECT_EQ(SendMessageW(tips, TTM_GETMAXTIPWIDTH, 0, 0), 200);

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
    // A load asks where a binary file starts: 0 unless told; what is no address keeps
    // the dialog open.
    EXPECT_EQ(format.Text(kFormatBase), L"0x0");
    format.SetText(kFormatBase, "0x11G0");
    format.Click(IDOK);
    EXPECT_TRUE(IsWindow(dialog)) << "OK took a base that is no address";
    format.SetText(kFormatBase, "0x1100");
    SaveScreenshot(dialog, "file-format-base.png");
    // Escape is no way out; OK is.
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    format.PostClick(IDOK);
    ASSERT_TRUE(WaitForLog(window, "Load 32 bytes at 0x1100-0x111F", 1))
        << ::testing::PrintToString(Log(window));
    EXPECT_EQ(CountOf(Log(window), "Loading Binary file \"image.xyz\".."), 1u);
    EXPECT_FALSE(IsWindow(dialog));

    // Ctrl+C copies the selected log line.
    ASSERT_TRUE(ComeToFront(main));
    const std::wstring last = window.ListLines(kLog).back();
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    ASSERT_TRUE(PressKeys({VK_CONTROL, 'C'}));
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
