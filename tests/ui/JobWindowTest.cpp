// Jobs from the window against the simulated FET library: the command line's job and Auto
// ending in green cells, a one-byte mismatch in dark red (screenshot), second starts handing
// their command lines over, Cancel during a long job and closing while one runs.
#include "ProgramWindow.h"

#include <commctrl.h>

#include <fstream>
#include <iterator>

namespace pyrola::ui_test {
namespace {

TEST_F(ProgramWindow, CommandLineLoadsAFileAndAutoEndsWithGreenCells) {
    const Image image = SmallImage();
    const std::string file = ImageFile("small.txt", image);
    RemoteWindow window = StartWindow({"-fet", file});
    ASSERT_TRUE(WaitForLog(window, "Load 66 bytes at 0xF000-0xFFFF", 1, kStartTimeoutMs))
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
    ASSERT_TRUE(WaitForLog(window, "Load 61184 bytes at 0x1100-0xFFFF", 1, kStartTimeoutMs));
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

} // namespace
} // namespace pyrola::ui_test
