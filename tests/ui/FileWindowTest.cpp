// Files reaching the window: dropped files, recent entries and their stored list, and a
// file that arrives while a job runs.
#include "ProgramWindow.h"

#include <commctrl.h>

#include <fstream>
#include <iterator>

namespace pyrola::ui_test {
namespace {

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
    ASSERT_TRUE(WaitForLog(window, "Load 66 bytes at 0xF000-0xFFFF"))
        << ::testing::PrintToString(Log(window));
    EXPECT_EQ(CountOf(Log(window), "Loading TI TXT file \"a.txt\".."), 1u);
    EXPECT_EQ(window.Title(), L"PYROLA - [a.txt]");
    window.DropFiles({b});
    ASSERT_TRUE(WaitForLog(window, "Load 66 bytes at 0xF000-0xFFFF", 2));
    std::vector<std::string> log = Log(window);
    EXPECT_EQ(CountOf(log, "Loading TI TXT file \"b.txt\".."), 1u);
    EXPECT_EQ(CountOf(log, "Loading TI TXT file \"c.txt\".."), 0u);

    // Newest first in the stored list. (Wine keeps a menu to its own process, so the menu's
    // texts are checked natively; here its entries are chosen by their commands.)
    EXPECT_NE(SettingsText().find("Document1=" + b + "\n"), std::string::npos) << SettingsText();
    EXPECT_NE(SettingsText().find("Document2=" + a + "\n"), std::string::npos) << SettingsText();

    // The second entry loads and moves to the top.
    window.PostCommand(kRecentFirst + 1);
    ASSERT_TRUE(WaitForLog(window, "Load 66 bytes at 0xF000-0xFFFF", 3));
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
    EXPECT_EQ(window.StatusPart(kStatus, 1).rfind(L"Load failed. ", 0), 0u)
        << Narrow(window.StatusPart(kStatus, 1));
    // Its entry is gone: choosing it (or an entry never filled) loads nothing; the first
    // entry, chosen after them, still loads.
    const size_t lines = Log(window).size();
    window.PostCommand(kRecentFirst + 1);
    window.PostCommand(kRecentFirst + 15);
    window.PostCommand(kRecentFirst);
    ASSERT_TRUE(WaitForLog(window, "Load 66 bytes at 0xF000-0xFFFF", 4));
    EXPECT_EQ(Log(window).size(), lines + 2);

    // A file dropped while a job programs breaks the job off and loads once it has stopped.
    window.DropFiles({full});
    ASSERT_TRUE(WaitForLog(window, "Load 61184 bytes at 0x1100-0xFFFF"));
    window.Click(kAuto);
    ASSERT_TRUE(WaitUntil([&] { return CountOf(Log(window), "Blank check complete.") == 1; }));
    EXPECT_TRUE(window.Enabled(kCancel));
    window.DropFiles({a});
    ASSERT_TRUE(WaitForLog(window, "Loading TI TXT file \"a.txt\"..", 4));
    ASSERT_TRUE(WaitForIdle(window));
    log = Log(window);
    const auto brokeOff = std::find(log.begin(), log.end(), "Break operation..");
    const auto loaded = std::find(brokeOff, log.end(), "Load 66 bytes at 0xF000-0xFFFF");
    EXPECT_NE(brokeOff, log.end()) << ::testing::PrintToString(log);
    EXPECT_NE(loaded, log.end()) << ::testing::PrintToString(log);
    EXPECT_EQ(CountOf(log, "Program complete."), 0u);
    EXPECT_EQ(window.Title(), L"PYROLA - [a.txt]");
    EXPECT_EQ(window.ListViewCount(kMemory), 256);
    EXPECT_TRUE(window.Enabled(kProgram));
    CloseWindow(window);
}

} // namespace
} // namespace pyrola::ui_test
