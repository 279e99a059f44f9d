// The Setup dialog under Wine: opened with Ctrl+L over the main window, every control with
// its caption and rows, the enabling rule as the adapter changes, OK changing the
// status-bar label and the stored settings, Cancel changing nothing.
#include "ProgramWindow.h"

#include "settings/SetupControls.h"
#include "settings/SetupForm.h"

#include <fstream>

namespace pyrola::ui_test {
namespace {

void ExpectEnabled(const RemoteWindow& setup, std::initializer_list<uint32_t> enabled,
                   std::initializer_list<uint32_t> disabled) {
    for (uint32_t id : enabled)
        EXPECT_TRUE(setup.Enabled(static_cast<int>(id))) << id;
    for (uint32_t id : disabled)
        EXPECT_FALSE(setup.Enabled(static_cast<int>(id))) << id;
}

TEST_F(ProgramWindow, SetupDialogChoosesTheAdapterAndItsPort) {
    std::ofstream(settings_) << "[Pyrola]\n"; // every setting at its default: RAW on LPT1
    RemoteWindow window = StartReadyWindow();
    EXPECT_EQ(window.StatusPart(kStatus, 0), L"RAW(LPT1)");

    ASSERT_TRUE(ComeToFront(window.Handle()));
    ASSERT_TRUE(PressKeys({VK_CONTROL, 'L'}));
    RemoteWindow setup = WaitForDialog(L"Setup");
    ASSERT_NE(setup.Handle(), nullptr);
    EXPECT_EQ(GetWindow(setup.Handle(), GW_OWNER), window.Handle());
    EXPECT_FALSE(IsWindowEnabled(window.Handle())); // modal

    // Every control with its caption, every list with its rows.
    for (const SetupControlInfo& control : kSetupControls) {
        const int id = static_cast<int>(control.id);
        ASSERT_NE(setup.Control(id), nullptr) << id;
        if (control.kind != SetupControlKind::DropDownList) {
            EXPECT_EQ(setup.Text(id), Wide(control.caption)) << id;
            continue;
        }
        const std::vector<std::string> rows = SetupForm::ListItems(control.id);
        ASSERT_EQ(setup.ComboCount(id), static_cast<int>(rows.size())) << id;
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(setup.ComboText(id, static_cast<int>(i)), Wide(rows[i])) << id;
    }
    EXPECT_EQ(setup.ComboText(kSetupCtlFetPort, 6), L"LPT7");
    EXPECT_EQ(setup.ComboText(kSetupCtlBslPort, 0), L"COM1");

    // The defaults: RAW on LPT1, only its controls enabled; the four default steps.
    EXPECT_TRUE(setup.Checked(kSetupCtlRaw));
    EXPECT_FALSE(setup.Checked(kSetupCtlFet));
    EXPECT_FALSE(setup.Checked(kSetupCtlBsl));
    EXPECT_EQ(setup.ComboSelection(kSetupCtlRawPort), 0);
    ExpectEnabled(setup, {kSetupCtlRawPort, kSetupCtlRawNote, kSetupCtlFet, kSetupCtlBsl},
                  {kSetupCtlFetPort, kSetupCtlFetNote, kSetupCtlBslPort, kSetupCtlBslPatch, kSetupCtlBslSpeed,
                   kSetupCtlBslResetInverted});
    for (uint32_t id : {kSetupCtlErase, kSetupCtlBlankCheck, kSetupCtlProgram, kSetupCtlVerify})
        EXPECT_TRUE(setup.Checked(static_cast<int>(id))) << id;
    EXPECT_FALSE(setup.Checked(kSetupCtlReloadFile));

    // BSL: its port list, the patch box and the loader line come on, the LPT lists go off.
    setup.Click(kSetupCtlBsl);
    EXPECT_TRUE(setup.Checked(kSetupCtlBsl));
    EXPECT_FALSE(setup.Checked(kSetupCtlRaw));
    ExpectEnabled(setup,
                  {kSetupCtlBslPort, kSetupCtlBslPatch, kSetupCtlBslSpeed, kSetupCtlBslResetInverted,
                   kSetupCtlBslTestInverted, kSetupCtlBslSwapResetTest},
                  {kSetupCtlFetPort, kSetupCtlFetNote, kSetupCtlRawPort, kSetupCtlRawNote});
    setup.Click(kSetupCtlFet);
    ExpectEnabled(setup, {kSetupCtlFetPort, kSetupCtlFetNote},
                  {kSetupCtlRawPort, kSetupCtlRawNote, kSetupCtlBslPort, kSetupCtlBslPatch});
    setup.Click(kSetupCtlBsl);
    setup.SelectCombo(kSetupCtlBslPort, 2);
    EXPECT_EQ(setup.ComboSelection(kSetupCtlBslPort), 2);
    SaveScreenshot(setup.Handle(), "setup.png");

    // OK: the label and the stored settings follow.
    setup.PostClick(IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(setup.Handle()); }));
    EXPECT_TRUE(WaitUntil([&] { return window.StatusPart(kStatus, 0) == L"BSL(COM3)"; }))
        << Narrow(window.StatusPart(kStatus, 0));
    const std::string saved = SettingsText();
    EXPECT_NE(saved.find("Adapter=2\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("BSL_PORT=2\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("AutoProgramm=27\n"), std::string::npos) << saved;
    EXPECT_TRUE(IsWindowEnabled(window.Handle()));

    // Cancel after changes: nothing changes, in the window or in the store.
    window.PostClick(kSetup);
    RemoteWindow again = WaitForDialog(L"Setup");
    ASSERT_NE(again.Handle(), nullptr);
    EXPECT_TRUE(again.Checked(kSetupCtlBsl));
    EXPECT_EQ(again.ComboSelection(kSetupCtlBslPort), 2);
    again.Click(kSetupCtlFet);
    again.Click(kSetupCtlVerify);
    EXPECT_FALSE(again.Checked(kSetupCtlVerify));
    again.PostClick(IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(again.Handle()); }));
    EXPECT_EQ(window.StatusPart(kStatus, 0), L"BSL(COM3)");
    EXPECT_EQ(SettingsText(), saved);
    CloseWindow(window);
}

} // namespace
} // namespace pyrola::ui_test
