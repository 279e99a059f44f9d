// The Setup dialog's logic: what the controls show for a settings record, the enabling rule
// while the user switches adapters, and what OK and Cancel leave in the record.
#include "settings/SetupForm.h"
#include "platform/MemorySettingsStore.h"
#include "settings/SettingsPersistence.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace pyrola;

namespace {

// Controls that belong to one adapter; everything else in the dialog is always enabled.
const std::set<uint32_t> kFetOnly = {kSetupCtlFetPort, kSetupCtlFetNote};
const std::set<uint32_t> kRawOnly = {kSetupCtlRawPort, kSetupCtlRawNote};
const std::set<uint32_t> kBslOnly = {
    kSetupCtlBslPort,          kSetupCtlBslPatch,        kSetupCtlBslSpeedLabel,   kSetupCtlBslSpeed,
    kSetupCtlBslResetInverted, kSetupCtlBslTestInverted, kSetupCtlBslSwapResetTest};

// Every control of the dialog is enabled exactly when it belongs to no adapter or to the
// checked one.
void ExpectEnabledFor(const SetupForm& form, const std::set<uint32_t>& ownEnabled) {
    for (const SetupControlInfo& control : kSetupControls) {
        const bool owned =
            kFetOnly.count(control.id) || kRawOnly.count(control.id) || kBslOnly.count(control.id);
        const bool expected = !owned || ownEnabled.count(control.id);
        EXPECT_EQ(form.IsEnabled(control.id), expected) << "control " << control.id;
    }
}

std::vector<uint32_t> CheckedRadios(const SetupForm& form) {
    std::vector<uint32_t> checked;
    for (uint32_t radio : {kSetupCtlBsl, kSetupCtlFet, kSetupCtlRaw}) {
        if (form.IsChecked(radio))
            checked.push_back(radio);
    }
    return checked;
}

} // namespace

TEST(SetupForm, DefaultsShowRawOnLpt1WithTheOtherAdaptersDisabled) {
    Settings settings;
    SetupForm form(settings);
    EXPECT_EQ(CheckedRadios(form), std::vector<uint32_t>{kSetupCtlRaw});
    EXPECT_EQ(form.Selection(kSetupCtlRawPort), 0);
    EXPECT_EQ(form.Selection(kSetupCtlFetPort), 0);
    EXPECT_EQ(form.Selection(kSetupCtlBslPort), 0);
    ExpectEnabledFor(form, kRawOnly);
    for (uint32_t box : {kSetupCtlErase, kSetupCtlBlankCheck, kSetupCtlProgram, kSetupCtlVerify})
        EXPECT_TRUE(form.IsChecked(box)) << box;
    EXPECT_FALSE(form.IsChecked(kSetupCtlReloadFile));
    EXPECT_TRUE(form.IsChecked(kSetupCtlBslPatch));
    EXPECT_TRUE(form.IsChecked(kSetupCtlAutoDetect));
    EXPECT_TRUE(form.IsChecked(kSetupCtlRemoveGap));
    EXPECT_TRUE(form.IsChecked(kSetupCtlEraseInfo));
    EXPECT_FALSE(form.IsChecked(kSetupCtlMultipleInstances)); // one instance is the default
    EXPECT_EQ(form.Selection(kSetupCtlBslSpeed), 0);          // 9600 baud
    for (uint32_t box : {kSetupCtlBslResetInverted, kSetupCtlBslTestInverted, kSetupCtlBslSwapResetTest})
        EXPECT_FALSE(form.IsChecked(box)) << box;
}

TEST(SetupForm, ListsHoldThePortsFromOneAndTheLoaderSpeeds) {
    const std::vector<std::string> lpt = {"LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7"};
    const std::vector<std::string> com = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7"};
    EXPECT_EQ(SetupForm::ListItems(kSetupCtlFetPort), lpt);
    EXPECT_EQ(SetupForm::ListItems(kSetupCtlRawPort), lpt);
    EXPECT_EQ(SetupForm::ListItems(kSetupCtlBslPort), com);
    EXPECT_EQ(SetupForm::ListItems(kSetupCtlBslSpeed),
              (std::vector<std::string>{"9600 baud", "19200 baud", "38400 baud"}));
    EXPECT_TRUE(SetupForm::ListItems(kSetupCtlBsl).empty());
    // Every list of the template has rows; nothing else does.
    for (const SetupControlInfo& control : kSetupControls)
        EXPECT_EQ(SetupForm::ListItems(control.id).empty(), control.kind != SetupControlKind::DropDownList)
            << control.id;
}

TEST(SetupForm, SwitchingAdaptersMovesTheEnabledControls) {
    Settings settings;
    SetupForm form(settings);
    form.Click(kSetupCtlBsl);
    EXPECT_EQ(CheckedRadios(form), std::vector<uint32_t>{kSetupCtlBsl});
    ExpectEnabledFor(form, kBslOnly); // COM list, patch box and loader line; no LPT list, no note
    form.Click(kSetupCtlFet);
    EXPECT_EQ(CheckedRadios(form), std::vector<uint32_t>{kSetupCtlFet});
    ExpectEnabledFor(form, kFetOnly);
    form.Click(kSetupCtlFet); // clicking the checked one keeps it
    EXPECT_EQ(CheckedRadios(form), std::vector<uint32_t>{kSetupCtlFet});
    form.SetChecked(kSetupCtlFet, false); // a radio button is not unchecked on its own
    EXPECT_EQ(CheckedRadios(form), std::vector<uint32_t>{kSetupCtlFet});
    form.SetChecked(kSetupCtlRaw, true);
    EXPECT_EQ(CheckedRadios(form), std::vector<uint32_t>{kSetupCtlRaw});
    ExpectEnabledFor(form, kRawOnly);
}

TEST(SetupForm, StoredAdapterPicksOneRadioAndOkStoresItsValue) {
    struct Case {
        uint32_t stored;
        uint32_t radio;
        uint32_t written;
    };
    for (const Case& c : {Case{0, kSetupCtlFet, 0}, Case{1, kSetupCtlRaw, 1}, Case{2, kSetupCtlBsl, 2},
                          Case{3, kSetupCtlRaw, 1}, Case{0xFFFFFFFF, kSetupCtlRaw, 1}}) {
        Settings settings;
        settings.adapter = c.stored;
        SetupForm form(settings);
        EXPECT_EQ(CheckedRadios(form), std::vector<uint32_t>{c.radio}) << c.stored;
        EXPECT_EQ(form.Ok(), 1u);
        EXPECT_EQ(settings.adapter, c.written) << c.stored;
    }
}

TEST(SetupForm, OkKeepsOnlyTheFiveAutoprogramBits) {
    Settings settings;
    settings.autoSteps = 0x2014; // Read, Verify, Reload file
    SetupForm form(settings);
    EXPECT_TRUE(form.IsChecked(kSetupCtlReloadFile));
    EXPECT_TRUE(form.IsChecked(kSetupCtlVerify));
    EXPECT_FALSE(form.IsChecked(kSetupCtlErase));
    form.Ok();
    EXPECT_EQ(settings.autoSteps, 0x2010u);
}

TEST(SetupForm, EachAutoprogramBoxStandsForItsStep) {
    struct Box {
        uint32_t id;
        uint32_t bit;
    };
    for (const Box& box :
         {Box{kSetupCtlReloadFile, 0x2000}, Box{kSetupCtlErase, 0x2}, Box{kSetupCtlBlankCheck, 0x8},
          Box{kSetupCtlProgram, 0x1}, Box{kSetupCtlVerify, 0x10}}) {
        Settings settings;
        settings.autoSteps = 0;
        SetupForm form(settings);
        form.Click(box.id);
        form.Ok();
        EXPECT_EQ(settings.autoSteps, box.bit) << box.id;

        SetupForm again(settings);
        again.SetChecked(box.id, false);
        again.Ok();
        EXPECT_EQ(settings.autoSteps, 0u) << box.id;
    }
}

TEST(SetupForm, StoredPortOfSevenOrMoreShowsNoSelectionAndStoresMinusOne) {
    Settings settings;
    settings.bslPort = 7;
    settings.fetPort = 0xFFFFFFFF; // what such an OK stored before
    settings.rawPort = 6;
    SetupForm form(settings);
    EXPECT_EQ(form.Selection(kSetupCtlBslPort), -1);
    EXPECT_EQ(form.Selection(kSetupCtlFetPort), -1);
    EXPECT_EQ(form.Selection(kSetupCtlRawPort), 6); // LPT7, the last row
    form.Ok();
    EXPECT_EQ(settings.bslPort, 0xFFFFFFFFu);
    EXPECT_EQ(settings.fetPort, 0xFFFFFFFFu);
    EXPECT_EQ(settings.rawPort, 6u);

    // Picking a row gives the list its selection again.
    SetupForm picked(settings);
    picked.Click(kSetupCtlBsl);
    picked.Select(kSetupCtlBslPort, 2);
    EXPECT_EQ(picked.Selection(kSetupCtlBslPort), 2);
    picked.Ok();
    EXPECT_EQ(settings.bslPort, 2u);
    EXPECT_EQ(settings.adapter, 2u);
}

TEST(SetupForm, OkWritesEveryPortAndOptionAndLeavesTheRest) {
    Settings settings;
    settings.gapByte = 0x5A;
    settings.overrideDevice = 12;
    settings.removeGap = 2; // any non-zero value is set
    SetupForm form(settings);
    EXPECT_TRUE(form.IsChecked(kSetupCtlRemoveGap));
    form.Click(kSetupCtlFet);
    form.Select(kSetupCtlFetPort, 1);
    form.Click(kSetupCtlRaw);
    form.Select(kSetupCtlRawPort, 4);
    form.Click(kSetupCtlBsl);
    form.Select(kSetupCtlBslPort, 6);
    form.Click(kSetupCtlBslPatch);
    form.Click(kSetupCtlMultipleInstances);
    form.Click(kSetupCtlAutoDetect);
    form.Click(kSetupCtlEraseInfo);
    form.Ok();
    EXPECT_EQ(settings.fetPort, 1u);
    EXPECT_EQ(settings.rawPort, 4u);
    EXPECT_EQ(settings.bslPort, 6u);
    EXPECT_EQ(settings.adapter, 2u);
    EXPECT_EQ(settings.bslPatch, 0);
    EXPECT_EQ(settings.oneInstance, 0); // "Allow multiple instances" checked
    EXPECT_EQ(settings.autoDetect, 0);
    EXPECT_EQ(settings.eraseInfo, 0);
    EXPECT_EQ(settings.removeGap, 1);
    EXPECT_EQ(settings.autoSteps, 27u);
    EXPECT_EQ(settings.gapByte, 0x5A);       // no control for it
    EXPECT_EQ(settings.overrideDevice, 12u); // nor for this
    EXPECT_STREQ(settings.keyPath, "Software\\Qorvane\\Pyrola");
}

TEST(SetupForm, CancelAfterChangesLeavesEverySetting) {
    Settings settings;
    settings.autoSteps = 0x2014;
    settings.bslPort = 9;
    const Settings before = settings;
    SetupForm form(settings);
    form.Click(kSetupCtlBsl);
    form.Select(kSetupCtlBslPort, 3);
    form.Select(kSetupCtlBslSpeed, 2);
    form.Click(kSetupCtlBslSwapResetTest);
    form.Click(kSetupCtlErase);
    form.Click(kSetupCtlMultipleInstances);
    EXPECT_EQ(form.Cancel(), 2u);
    EXPECT_EQ(settings, before);
}

TEST(SetupForm, DisabledControlsAndUnknownRowsIgnoreTheUser) {
    Settings settings; // RAW: the FET and BSL controls are disabled
    const Settings before = settings;
    SetupForm form(settings);
    form.Select(kSetupCtlBslPort, 3);
    form.Select(kSetupCtlFetPort, 3);
    form.Click(kSetupCtlBslPatch);
    form.Select(kSetupCtlBslSpeed, 1);
    form.Click(kSetupCtlBslResetInverted);
    form.Select(kSetupCtlRawPort, 7); // no such row
    form.Select(kSetupCtlRawPort, -1);
    form.Select(kSetupCtlErase, 0); // not a list
    form.Click(9999);               // not a control of the dialog
    EXPECT_FALSE(form.IsEnabled(9999));
    EXPECT_EQ(form.Selection(kSetupCtlRawPort), 0);
    EXPECT_EQ(form.Selection(kSetupCtlBslPort), 0);
    EXPECT_TRUE(form.IsChecked(kSetupCtlBslPatch));
    form.Ok();
    EXPECT_EQ(settings, before);
}

TEST(SetupForm, EveryCheckBoxOfTheTemplateTogglesAndOkKeepsIt) {
    // With BSL chosen every box is enabled: each must change what OK stores.
    for (const SetupControlInfo& control : kSetupControls) {
        if (control.kind != SetupControlKind::CheckBox)
            continue;
        Settings settings;
        settings.adapter = kAdapterBsl;
        const Settings before = settings;
        SetupForm form(settings);
        const bool was = form.IsChecked(control.id);
        form.Click(control.id);
        EXPECT_NE(form.IsChecked(control.id), was) << control.id;
        form.Ok();
        EXPECT_NE(settings, before) << control.id;
        SetupForm reopened(settings);
        EXPECT_NE(reopened.IsChecked(control.id), was) << control.id;
    }
}

TEST(SetupForm, LoaderLineShowsWhatIsStoredAndRoundTrips) {
    MemorySettingsStore store;
    Settings settings;
    settings.adapter = kAdapterBsl;
    settings.bslSpeed = 38400;
    settings.bslTestInverted = 1;
    {
        SetupForm form(settings);
        EXPECT_EQ(form.Selection(kSetupCtlBslSpeed), 2);
        EXPECT_TRUE(form.IsChecked(kSetupCtlBslTestInverted));
        EXPECT_FALSE(form.IsChecked(kSetupCtlBslResetInverted));
        form.Select(kSetupCtlBslSpeed, 1);
        form.SetChecked(kSetupCtlBslTestInverted, false);
        form.SetChecked(kSetupCtlBslResetInverted, true);
        form.SetChecked(kSetupCtlBslSwapResetTest, true);
        form.Ok();
    }
    ASSERT_TRUE(SaveSettings(settings, store));
    Settings loaded;
    ASSERT_TRUE(LoadSettings(loaded, store));
    EXPECT_EQ(loaded.bslSpeed, 19200u);
    EXPECT_EQ(loaded.bslResetInverted, 1);
    EXPECT_EQ(loaded.bslTestInverted, 0);
    EXPECT_EQ(loaded.bslSwapResetTest, 1);

    SetupForm reopened(loaded);
    EXPECT_EQ(reopened.Selection(kSetupCtlBslSpeed), 1);
    EXPECT_TRUE(reopened.IsChecked(kSetupCtlBslResetInverted));
    EXPECT_TRUE(reopened.IsChecked(kSetupCtlBslSwapResetTest));
}

TEST(SetupForm, UnknownLoaderSpeedShowsAndStoresTheBaseRate) {
    Settings settings;
    settings.bslSpeed = 57600; // the adapter runs it at 9600
    SetupForm form(settings);
    EXPECT_EQ(form.Selection(kSetupCtlBslSpeed), 0);
    form.Ok();
    EXPECT_EQ(settings.bslSpeed, 9600u);
}
