// The Setup dialog's form editing the shell's settings: OK followed by the shell's
// confirmation saves and applies them, as the window does after the dialog.
#include "settings/SetupForm.h"
#include "tests/app/ShellFixture.h"

using namespace pyrola;
using namespace pyrola::test;

namespace {

class SetupShellTest : public ShellFixture {
protected:
    std::optional<uint32_t> Stored(const char* name) {
        return store.ReadNumber("Software\\Qorvane\\Pyrola", name);
    }
};

} // namespace

TEST_F(SetupShellTest, OkSavesAndAppliesTheChosenAdapterAndLine) {
    Start();
    EXPECT_EQ(view.adapterLabel, "RAW(LPT1)");
    SetupForm form(shell->GetSettings());
    form.Click(kSetupCtlBsl);
    form.Select(kSetupCtlBslPort, 2);
    form.Select(kSetupCtlBslSpeed, 2);
    form.Click(kSetupCtlBslResetInverted);
    form.Click(kSetupCtlBslPatch);
    ASSERT_EQ(form.Ok(), 1u);
    shell->SettingsConfirmed();

    EXPECT_EQ(view.adapterLabel, "BSL(COM3)");
    EXPECT_EQ(shell->CurrentAdapter(), &bsl);
    EXPECT_EQ(bsl.portNumber, 3u);
    ASSERT_TRUE(bslLine.has_value());
    EXPECT_EQ(bslLine->baudRate, 38400u);
    EXPECT_TRUE(bslLine->wiring.resetInverted);
    EXPECT_EQ(bslPatch, std::optional<bool>(false));
    EXPECT_EQ(Stored("Adapter"), std::optional<uint32_t>(2));
    EXPECT_EQ(Stored("BSL_PORT"), std::optional<uint32_t>(2));
    EXPECT_EQ(Stored("BslSpeed"), std::optional<uint32_t>(38400));
    EXPECT_EQ(Stored("BslResetInverted"), std::optional<uint32_t>(1));
    EXPECT_EQ(Stored("BslPatch"), std::optional<uint32_t>(0));
}

TEST_F(SetupShellTest, OkRewritesAStoredAutoStepsValue) {
    PutSetting("AutoProgramm", 0x2014);
    Start();
    EXPECT_EQ(shell->GetSettings().autoSteps, 0x2014u); // in force until Setup's OK
    SetupForm form(shell->GetSettings());
    form.Ok();
    shell->SettingsConfirmed();
    EXPECT_EQ(Stored("AutoProgramm"), std::optional<uint32_t>(0x2010));
    EXPECT_EQ(shell->GetSettings().autoSteps, 0x2010u);
}
