#include "ShellFixture.h"

#include "adapters/DeviceTable.h"
#include "app/DeviceInfoText.h"
#include "jobs/JobFlags.h"
#include "platform/InstanceChannel.h"
#include "settings/SettingsPersistence.h"

#include <algorithm>
#include <cstring>

namespace pyrola::test {
namespace {

using Strings = std::vector<std::string>;

size_t IndexOf(const Strings& ops, const std::string& op) {
    return static_cast<size_t>(std::find(ops.begin(), ops.end(), op) - ops.begin());
}

uint32_t DeviceIndexNamed(const char* name) {
    for (uint32_t i = 0; i < kDeviceCount; ++i) {
        if (std::strcmp(DeviceName(i), name) == 0)
            return i;
    }
    return 0;
}

// --- start-up, settings, labels --------------------------------------------------------

TEST_F(ShellFixture, StartUpLoadsAndAppliesTheStoredSettings) {
    PutSetting("Adapter", 2);
    PutSetting("BSL_PORT", 2);
    PutSetting("BslPatch", 0);
    PutSetting("GapByte", 0x1A5);
    PutSetting("EraseInfo", 0);
    PutSetting("OverrideDev", 5);
    Start();
    EXPECT_EQ(view.adapterLabel, "BSL(COM3)");
    EXPECT_EQ(shell->CurrentAdapter(), &bsl);
    EXPECT_EQ(bsl.portNumber, 3u);
    EXPECT_EQ(bslPatch, false);
    EXPECT_EQ(shell->Image().GapByte(), 0xA5);
    EXPECT_EQ(shell->Engine().EraseInfo(), 0);
    EXPECT_EQ(shell->Engine().DeviceIndex(), 5u);
    EXPECT_EQ(view.deviceIndex, 5u);
    EXPECT_EQ(view.deviceInformation, DeviceInfoText(5));
    EXPECT_EQ(view.statusTexts.back(), "Ready");
    EXPECT_EQ(view.title, "PYROLA - []");
}

TEST_F(ShellFixture, TheLoaderLineSettingsReachTheBslAdapter) {
    PutSetting("Adapter", 2);
    PutSetting("BslSpeed", 38400);
    PutSetting("BslTestInverted", 1);
    PutSetting("BslSwapResetTest", 1);
    Start();
    ASSERT_TRUE(bslLine.has_value());
    EXPECT_EQ(bslLine->baudRate, 38400u);
    EXPECT_FALSE(bslLine->wiring.resetInverted);
    EXPECT_TRUE(bslLine->wiring.testInverted);
    EXPECT_TRUE(bslLine->wiring.swapResetTest);
    // Another adapter gets nothing of it; the defaults are the standard line at 9600.
    bslLine.reset();
    shell->GetSettings() = Settings{};
    shell->GetSettings().adapter = kAdapterFet;
    shell->ApplySettings();
    EXPECT_FALSE(bslLine.has_value());
    shell->GetSettings().adapter = kAdapterBsl;
    shell->ApplySettings();
    ASSERT_TRUE(bslLine.has_value());
    EXPECT_EQ(bslLine->baudRate, 9600u);
    EXPECT_FALSE(bslLine->wiring.resetInverted || bslLine->wiring.testInverted ||
                 bslLine->wiring.swapResetTest);
}

TEST_F(ShellFixture, AdapterLabelsUsePortsFromOne) {
    Start();
    EXPECT_EQ(view.adapterLabel, "RAW(LPT1)"); // the defaults
    Settings& s = shell->GetSettings();
    s.adapter = 0;
    s.fetPort = 1;
    shell->ApplySettings();
    EXPECT_EQ(view.adapterLabel, "FET(LPT2)");
    EXPECT_EQ(shell->CurrentAdapter(), &fet);
    EXPECT_EQ(fet.portNumber, 2u);
    // An "Adapter" value nobody knows acts as the default adapter instead of none.
    s.adapter = 7;
    s.rawPort = 6;
    shell->ApplySettings();
    EXPECT_EQ(view.adapterLabel, "RAW(LPT7)");
    EXPECT_EQ(shell->CurrentAdapter(), &raw);
}

TEST_F(ShellFixture, ExitSavesWhatTheCommandLineChanged) {
    Start();
    shell->ProcessCommandLine("-bsl -c4");
    EXPECT_FALSE(store.HasValue("Software\\Qorvane\\Pyrola", "Adapter")); // not saved by itself
    shell->Exit();
    Settings loaded;
    ASSERT_TRUE(LoadSettings(loaded, store));
    EXPECT_EQ(loaded.adapter, 2u);
    EXPECT_EQ(loaded.bslPort, 3u);
    EXPECT_EQ(store.ValueCount("Software\\Qorvane\\Pyrola"), 16u); // the twelve and the loader line's four
}

// --- command states -------------------------------------------------------------------

TEST_F(ShellFixture, CommandStatesFollowImageJobAndAdapter) {
    Start();
    CommandStates s = shell->ComputeCommandStates();
    for (uint32_t id : {kCmdProgram, kCmdVerify, kCmdSave, kCmdAuto, kCmdCancel, kCmdReloadFile})
        EXPECT_FALSE(s.IsEnabled(id)) << id;
    for (uint32_t id : {kCmdErase, kCmdBlankCheck, kCmdRead, kCmdReset, kCmdOpen, kCmdSetup,
                        kCmdSerialization, kCmdReadDs18b20, kCmdDumpRam, kCmdExit})
        EXPECT_TRUE(s.IsEnabled(id)) << id;
    EXPECT_TRUE(s.focusToCancelWhenDisabled);

    // A one-byte patch is an image: it can be programmed, verified and saved.
    ASSERT_TRUE(shell->LoadFile(WriteFile("patch.txt", "@F000\n55\nq\n")));
    for (uint32_t id : {kCmdProgram, kCmdVerify, kCmdSave, kCmdAuto})
        EXPECT_TRUE(view.states.IsEnabled(id)) << id;

    ASSERT_TRUE(shell->LoadFile(ProgramFile()));
    s = view.states; // pushed by the load
    EXPECT_TRUE(s.IsEnabled(kCmdProgram));
    EXPECT_TRUE(s.IsEnabled(kCmdAuto));
    EXPECT_TRUE(s.IsEnabled(kCmdReloadFile));
    EXPECT_FALSE(s.focusToCancelWhenDisabled);

    shell->SetSerializationOpen(true);
    shell->GetSettings().adapter = 0;
    s = shell->ComputeCommandStates();
    EXPECT_FALSE(s.IsEnabled(kCmdSerialization));
    EXPECT_FALSE(s.IsEnabled(kCmdReadDs18b20)); // only with the RAW adapter
    // An unknown "Adapter" value selects the RAW adapter, and with it its 1-Wire command.
    shell->GetSettings().adapter = 9;
    EXPECT_TRUE(shell->ComputeCommandStates().IsEnabled(kCmdReadDs18b20));

    std::filesystem::remove(shell->CurrentFile());
    EXPECT_FALSE(shell->ComputeCommandStates().IsEnabled(kCmdReloadFile));
}

TEST_F(ShellFixture, WhileAJobRunsOnlyCancelDumpsAndExitStayEnabled) {
    Start();
    ASSERT_TRUE(shell->LoadFile(ProgramFile()));
    raw.BlockIn("Erase");
    shell->ExecuteCommand(kCmdErase);
    raw.WaitUntilBlocked();
    CommandStates s = shell->ComputeCommandStates();
    for (uint32_t id : {kCmdProgram, kCmdVerify, kCmdSave, kCmdAuto, kCmdErase, kCmdBlankCheck, kCmdRead,
                        kCmdReset, kCmdOpen, kCmdSetup, kCmdSerialization, kCmdReadDs18b20})
        EXPECT_FALSE(s.IsEnabled(id)) << id;
    EXPECT_TRUE(s.IsEnabled(kCmdCancel));
    for (uint32_t id : {kCmdDumpRam, kCmdDumpDeviceId, kCmdDumpBsl, kCmdExit, kCmdAbout, kCmdRecentFirst})
        EXPECT_TRUE(s.IsEnabled(id)) << id;
    // A disabled command does nothing.
    shell->ExecuteCommand(kCmdProgram);
    raw.Release();
    WaitForJob();
    EXPECT_EQ(raw.CountOf("WriteMemory"), 0u);
    EXPECT_EQ(raw.CountOf("Erase"), 1u);
}

TEST_F(ShellFixture, ButtonsStartTheirSteps) {
    Start();
    ASSERT_TRUE(shell->LoadFile(ProgramFile()));
    shell->GetSettings().autoSteps = kJobErase | kJobVerify;
    shell->ExecuteCommand(kCmdAuto);
    WaitForJob();
    Strings ops = Ops(raw);
    ASSERT_GE(ops.size(), 4u);
    EXPECT_EQ(ops[0], "Open");
    EXPECT_EQ(ops[1], "Erase");
    EXPECT_EQ(IndexOf(ops, "WriteMemory"), ops.size()); // Program is not in the set
    EXPECT_EQ(IndexOf(ops, "EraseCheck"), ops.size());
    EXPECT_EQ(ops[2], "ReadMemory"); // Verify reads back
    EXPECT_EQ(ops.back(), "Close");
    raw.ClearCalls();
    shell->ExecuteCommand(kCmdReset);
    WaitForJob();
    EXPECT_EQ(Ops(raw), (Strings{"Open", "Reset", "Close"}));
}

// --- command line ---------------------------------------------------------------------

TEST_F(ShellFixture, FullFlowLoadsThenRunsInTheEngineOrder) {
    Start();
    std::string file = ProgramFile();
    CommandLineOutcome outcome = shell->ProcessCommandLine("+vp +be " + file);
    EXPECT_TRUE(outcome.jobStarted);
    EXPECT_FALSE(outcome.rejected);
    WaitForJob();
    EXPECT_EQ(Ops(raw).front(), "Open");
    Strings ops = Ops(raw);
    EXPECT_LT(IndexOf(ops, "Erase"), IndexOf(ops, "EraseCheck"));
    EXPECT_LT(IndexOf(ops, "EraseCheck"), IndexOf(ops, "WriteMemory"));
    // Verify (it reads back) after Program although "v" was written first.
    const size_t lastWrite = ops.size() - 1 - IndexOf(Strings(ops.rbegin(), ops.rend()), "WriteMemory");
    ASSERT_LT(IndexOf(ops, "WriteMemory"), ops.size());
    ASSERT_LT(IndexOf(ops, "ReadMemory"), ops.size());
    EXPECT_LT(lastWrite, IndexOf(ops, "ReadMemory"));
    EXPECT_EQ(ops.back(), "Close");
    Strings log = view.LogTexts();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "Process command line..");
    EXPECT_EQ(log[1], "Loading TI TXT file \"prog.txt\"..");
    EXPECT_EQ(log[2], "Load 12 bytes at 0x1100-0xFFFF"); // the bytes, and the span they lie in
    EXPECT_EQ(view.logLines[0], "09:05:07->Process command line..");
    EXPECT_EQ(shell->RecentFiles().Entries().front(), file);
    EXPECT_EQ(view.title, "PYROLA - [prog.txt]");
}

TEST_F(ShellFixture, IllegalFlowLetterRunsNothingAtAll) {
    Start();
    std::string file = ProgramFile();
    CommandLineOutcome outcome = shell->ProcessCommandLine("-bsl +ex " + file);
    EXPECT_TRUE(outcome.rejected);
    EXPECT_FALSE(outcome.jobStarted);
    EXPECT_TRUE(view.Logged("Illegal flow specifier - 'x'"));
    EXPECT_TRUE(view.statusError);
    EXPECT_EQ(view.adapterLabel, "RAW(LPT1)"); // not even the adapter changed
    EXPECT_TRUE(shell->CurrentFile().empty());
    EXPECT_TRUE(bus.Messages().empty());
}

TEST_F(ShellFixture, OptionsBeforeAnIllegalFlowLetterKeepTheirInfoProtection) {
    Start();
    // "-pi" protects information memory as soon as it is read; the illegal letter after it
    // stops the processing but does not take the protection back.
    CommandLineOutcome outcome = shell->ProcessCommandLine("-pi +ex");
    EXPECT_FALSE(outcome.jobStarted);
    EXPECT_EQ(shell->Engine().EraseInfo(), 0);
    shell->ExecuteCommand(kCmdErase);
    WaitForJob();
    ASSERT_EQ(raw.CallsOf("Erase").size(), 1u);
    EXPECT_EQ(raw.CallsOf("Erase")[0].a, kEraseMain);

    // Any other option before the bad letter sets it again.
    shell->ProcessCommandLine("-raw +e? -pi");
    EXPECT_EQ(shell->Engine().EraseInfo(), 1);
}

TEST_F(ShellFixture, ProgramWithoutFileOrWithABadFileStartsNoJob) {
    Start();
    CommandLineOutcome outcome = shell->ProcessCommandLine("+p");
    EXPECT_TRUE(view.Logged("Error. Specify filename."));
    EXPECT_TRUE(view.statusError);
    EXPECT_FALSE(outcome.jobStarted);

    std::string bad = WriteFile("bad.hex", ":10000000FFFFFFFF\n");
    outcome = shell->ProcessCommandLine("+ev " + bad);
    EXPECT_FALSE(outcome.jobStarted);
    EXPECT_TRUE(outcome.rejected);
    EXPECT_TRUE(view.LogTexts().back().rfind("Load failed. ", 0) == 0) << view.LogTexts().back();
    EXPECT_TRUE(shell->CurrentFile().empty());
    EXPECT_TRUE(raw.Calls().empty());
    EXPECT_TRUE(bus.Messages().empty());
}

TEST_F(ShellFixture, AFileWithoutItsEndRecordIsProgrammedWithAWarningOrRefused) {
    Start();
    const std::string cut = WriteFile("cut.txt", "@1100\n01 02 03 04\n");
    CommandLineOutcome outcome = shell->ProcessCommandLine("+p " + cut);
    EXPECT_TRUE(outcome.unterminatedFile);
    EXPECT_FALSE(outcome.rejected);
    EXPECT_TRUE(outcome.jobStarted);
    WaitForJob();
    EXPECT_TRUE(view.Logged("Warning: no end record; the file may be cut short"));
    EXPECT_EQ(raw.CallsOf("WriteMemory").size(), 1u);

    // The headless program asks for refusal: nothing runs, and it says why.
    CarryOutOptions refuse;
    refuse.refuseUnterminatedFile = true;
    raw.ClearCalls();
    outcome = shell->CarryOutCommandLine(shell->ReadCommandTokens({"+ep", cut}), refuse);
    EXPECT_TRUE(outcome.unterminatedFile);
    EXPECT_TRUE(outcome.rejected);
    EXPECT_FALSE(outcome.jobStarted);
    EXPECT_EQ(view.LogTexts().back(), "Error. File without end record refused; it may be cut short.");
    EXPECT_TRUE(view.statusError);
    EXPECT_TRUE(raw.Calls().empty());

    // A whole file still runs.
    outcome = shell->CarryOutCommandLine(shell->ReadCommandTokens({"+p", ProgramFile()}), refuse);
    EXPECT_FALSE(outcome.unterminatedFile);
    EXPECT_TRUE(outcome.jobStarted);
    WaitForJob();
}

TEST_F(ShellFixture, RawPortAndEraseModeFromTheCommandLine) {
    Start();
    shell->ProcessCommandLine("-raw -c2 +e");
    WaitForJob();
    EXPECT_EQ(raw.portNumber, 2u);
    EXPECT_EQ(shell->GetSettings().rawPort, 1u);
    EXPECT_EQ(view.adapterLabel, "RAW(LPT2)");
    ASSERT_EQ(raw.CallsOf("Erase").size(), 1u);
    EXPECT_EQ(raw.CallsOf("Erase")[0].a, kEraseAll);
    EXPECT_EQ(shell->Engine().ThreadPriority(), kWorkerPriorityTimeCritical);
}

TEST_F(ShellFixture, InfoProtectionHoldsWhateverOptionsStandBesideIt) {
    Start();
    shell->ProcessCommandLine("-pi +e");
    WaitForJob();
    EXPECT_EQ(raw.CallsOf("Erase").at(0).a, kEraseMain);

    // It stays in force for later jobs from the window too.
    shell->ExecuteCommand(kCmdErase);
    WaitForJob();
    EXPECT_EQ(raw.CallsOf("Erase").at(1).a, kEraseMain);

    // An adapter or port option reapplies the settings; "-pi" still protects the chip's
    // calibration data, as the usage text's own example expects.
    shell->ProcessCommandLine("-pi -bsl +e");
    WaitForJob();
    EXPECT_EQ(bsl.CallsOf("Erase").at(0).a, kEraseMain);
    EXPECT_EQ(shell->Engine().ThreadPriority(), kWorkerPriorityNormal);
    shell->ProcessCommandLine("-pi -raw -c1 +e");
    WaitForJob();
    EXPECT_EQ(raw.CallsOf("Erase").at(2).a, kEraseMain);
    // The protection is not a setting: nothing of it is stored.
    EXPECT_EQ(shell->GetSettings().eraseInfo, 1);

    // Without "-pi" an adapter option brings "EraseInfo" back.
    shell->ProcessCommandLine("-bsl +e");
    WaitForJob();
    EXPECT_EQ(bsl.CallsOf("Erase").at(1).a, kEraseAll);
    shell->GetSettings().eraseInfo = 0;
    shell->ProcessCommandLine("-fet -c1 +e");
    WaitForJob();
    EXPECT_EQ(fet.CallsOf("Erase").at(0).a, kEraseMain);
}

TEST_F(ShellFixture, PortOptionGoesToTheAdapterTheSettingsName) {
    PutSetting("Adapter", 0);
    Start();
    shell->ProcessCommandLine("-c0x10");
    EXPECT_EQ(shell->GetSettings().fetPort, 15u);
    EXPECT_EQ(view.adapterLabel, "FET(LPT16)");
    shell->ProcessCommandLine("-C3 -bsl");
    EXPECT_EQ(shell->GetSettings().bslPort, 2u);
    EXPECT_EQ(shell->GetSettings().fetPort, 15u);
    EXPECT_EQ(view.adapterLabel, "BSL(COM3)");
}

TEST_F(ShellFixture, ReadAloneNeedsNoFileAndQuotedPathsLoad) {
    Start();
    CommandLineOutcome outcome = shell->ProcessCommandLine("+r");
    EXPECT_TRUE(outcome.jobStarted);
    WaitForJob();
    EXPECT_GT(raw.CountOf("ReadMemory"), 0u);
    EXPECT_TRUE(view.asked.empty());

    std::string spaced = ProgramFile("with blank.txt");
    outcome = shell->ProcessCommandLine("\"" + spaced + "\"");
    EXPECT_FALSE(outcome.jobStarted);
    EXPECT_FALSE(outcome.rejected);
    EXPECT_EQ(shell->CurrentFile(), spaced);
}

TEST_F(ShellFixture, UnknownExtensionOrNoAutodetectAsksForTheFormat) {
    Start();
    // (".srec" was such an extension until S-record files were read.)
    std::string file = WriteFile("image.fw", std::string(32, '\x5A'));
    view.askAnswer = FileFormat::Binary;
    shell->ProcessCommandLine("+p " + file);
    WaitForJob();
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0], FileFormat::Unknown);
    EXPECT_TRUE(view.Logged("Loading Binary file \"image.fw\".."));

    shell->GetSettings().autoDetect = 0;
    shell->ProcessCommandLine(ProgramFile());
    ASSERT_EQ(view.asked.size(), 2u);
    EXPECT_EQ(view.asked[1], FileFormat::TiTxt);
}

TEST_F(ShellFixture, TokensPastTheSixteenthAreIgnored) {
    Start();
    std::string text;
    for (int i = 0; i < 16; ++i)
        text += "-pi ";
    CommandLineOutcome outcome = shell->ProcessCommandLine(text + "+e");
    EXPECT_FALSE(outcome.jobStarted);
    EXPECT_EQ(shell->Engine().EraseInfo(), 0);
    EXPECT_TRUE(raw.Calls().empty());
}

// --- job start -----------------------------------------------------------------------

TEST_F(ShellFixture, ReloadFailureBlocksTheJob) {
    Start();
    std::string file = ProgramFile();
    ASSERT_TRUE(shell->LoadFile(file));
    std::filesystem::remove(file);
    bus.Clear();
    shell->StartJob(kJobReload | kJobProgram);
    EXPECT_TRUE(view.Logged("Reload file failed"));
    EXPECT_EQ(view.statusTexts.back(), "Reload file failed");
    EXPECT_TRUE(view.statusError);
    EXPECT_FALSE(shell->IsJobRunning());
    EXPECT_TRUE(bus.Messages().empty()); // no job-state notice either
    EXPECT_TRUE(raw.Calls().empty());
}

TEST_F(ShellFixture, ReloadReadsTheFileAgainBeforeTheSteps) {
    Start();
    std::string file = ProgramFile();
    ASSERT_TRUE(shell->LoadFile(file));
    WriteFile("prog.txt", "@2000\nAA BB\nq\n");
    shell->StartJob(kJobReload | kJobProgram);
    WaitForJob();
    EXPECT_EQ(shell->Image().Low(), 0x2000u);
    ASSERT_FALSE(raw.CallsOf("WriteMemory").empty());
    EXPECT_EQ(raw.CallsOf("WriteMemory")[0].a, 0x2000u);
}

TEST_F(ShellFixture, CancelWithoutAWorkerChangesNothing) {
    Start();
    shell->StartJob(kJobCancel);
    EXPECT_TRUE(bus.Messages().empty());
    EXPECT_FALSE(shell->IsJobRunning());
}

TEST_F(ShellFixture, DeviceListSelectionIsProposedToTheAdapter) {
    Start();
    const uint32_t f149 = DeviceIndexNamed("MSP430F149");
    ASSERT_NE(f149, 0u);
    shell->SelectDevice(f149);
    EXPECT_EQ(view.deviceInformation, "60KB+256B Flash, 2KB RAM");
    shell->StartJob(kJobErase);
    WaitForJob();
    EXPECT_EQ(raw.CallsOf("Open").at(0).a, f149);
    // The job-state notice puts the identified device back into the list.
    shell->HandleBusMessage(kBusJobState, 1000);
    EXPECT_EQ(view.deviceIndex, raw.openDevice);

    shell->SelectDevice(0);
    EXPECT_EQ(view.deviceInformation, "");
    // A refresh without a job start shows the engine's device again.
    shell->RefreshCommandStates();
    EXPECT_EQ(view.deviceIndex, raw.openDevice);
}

class BslPasswordTest : public ShellFixture {
protected:
    void SetUp() override {
        PutSetting("Adapter", 2);
        Start();
    }
};

TEST_F(BslPasswordTest, TakenFromTheVectorTableWhenTheImageReachesTheTop) {
    shell->GetSettings().gapByte = 0x5A;
    shell->ApplySettings();
    ASSERT_TRUE(shell->LoadFile(WriteFile("v.txt", "@1100\n01\n@FFE0\n10 11 12\n@FFFE\n3E 3F\nq\n")));
    shell->StartJob(kJobProgram);
    WaitForJob();
    ASSERT_TRUE(bslPassword.has_value());
    const BslPassword& p = *bslPassword;
    EXPECT_EQ(p[0], 0x10);
    EXPECT_EQ(p[2], 0x12);
    // A cell the image leaves out is erased on a chip programmed from it: 0xFF, not the
    // gap byte.
    EXPECT_EQ(p[3], 0xFF);
    EXPECT_EQ(p[29], 0xFF);
    EXPECT_EQ(p[30], 0x3E);
    EXPECT_EQ(p[31], 0x3F);
}

TEST_F(BslPasswordTest, ErasedDevicePasswordBelowTheTopAndForEveryJobThatReachesTheChip) {
    ASSERT_TRUE(shell->LoadFile(WriteFile("low.txt", "@1100\n01\n@FFFD\n7F\nq\n")));
    ASSERT_EQ(shell->Image().High(), 0xFFFDu);
    // Erase too: with the information memory protected it erases main memory, which the
    // loader keeps locked; and the dumps and the serial read read through it.
    for (uint32_t job : {kJobErase, kJobDumpRam, kJobDumpDeviceId, kJobDumpLoader, kJobReadSerial}) {
        bslPassword.reset();
        shell->StartJob(job);
        WaitForJob();
        ASSERT_TRUE(bslPassword.has_value()) << job;
        EXPECT_EQ(*bslPassword, kBslErasedPassword) << job;
    }
    bslPassword.reset();

    shell->StartJob(kJobVerify);
    WaitForJob();
    ASSERT_TRUE(bslPassword.has_value());
    EXPECT_EQ(*bslPassword, kBslErasedPassword);

    bslPassword.reset();
    bslNeedsPassword = false; // already unlocked: the stored password stays
    shell->StartJob(kJobRead);
    WaitForJob();
    EXPECT_FALSE(bslPassword.has_value());

    bslNeedsPassword = true;
    shell->StartJob(kJobAttachOnly);
    WaitForJob();
    EXPECT_TRUE(bslPassword.has_value());
}

// --- message bus ---------------------------------------------------------------------

TEST_F(ShellFixture, BusCodesReachTheirViews) {
    Start();
    std::string status = "Erasing flash memory..";
    shell->HandleBusMessage(kBusStatusText, reinterpret_cast<uintptr_t>(status.c_str()));
    EXPECT_EQ(view.statusTexts.back(), status);
    std::string line = "Erase complete.";
    shell->HandleBusMessage(kBusLogLine, reinterpret_cast<uintptr_t>(line.c_str()));
    EXPECT_EQ(view.logLines.back(), "09:05:07->Erase complete.");
    shell->HandleBusMessage(kBusErrorColour, 1);
    EXPECT_TRUE(view.statusError);
    EXPECT_TRUE(shell->StatusIsError());
    shell->HandleBusMessage(kBusErrorColour, 0);
    EXPECT_FALSE(view.statusError);

    shell->HandleBusMessage(kBusProgressRange, 0x1FFFF);
    shell->HandleBusMessage(kBusProgressStep, 0);
    shell->HandleBusMessage(kBusProgressPos, 300);
    shell->HandleBusMessage(kBusProgressEnd, 0);
    EXPECT_EQ(view.progress, (Strings{"create 65535", "step", "pos 300", "destroy"}));

    shell->HandleBusMessage(kBusSerialRefresh, 0);
    EXPECT_EQ(view.serializationRefreshes, 1);

    const size_t logged = view.logLines.size();
    const size_t states = view.statusTexts.size();
    for (uint32_t code : {13u, 14u, 0xFFFFu})
        shell->HandleBusMessage(code, 0);
    EXPECT_EQ(view.logLines.size(), logged);
    EXPECT_EQ(view.statusTexts.size(), states);
    EXPECT_TRUE(bus.Messages().empty());
}

TEST_F(ShellFixture, ScrollTargetIsRaisedToTheFirstRow) {
    Start();
    ASSERT_TRUE(shell->LoadFile(ProgramFile()));
    shell->HandleBusMessage(kBusScrollTo, 0x0200);
    shell->RefreshCommandStates();
    EXPECT_EQ(view.scroll, 0x1100u);
    shell->HandleBusMessage(kBusScrollTo, 0x8000);
    shell->RefreshCommandStates();
    EXPECT_EQ(view.scroll, 0x8000u);
    // A new load starts the view again at the image's first row.
    ASSERT_TRUE(shell->LoadFile(WriteFile("later.txt", "@3000\n01 02 03\nq\n")));
    EXPECT_EQ(view.scroll, 0x3000u);
}

TEST_F(ShellFixture, SerialRequestsStartTheirSteps) {
    Start();
    shell->HandleBusMessage(kBusReadSerial, 0);
    WaitForJob();
    EXPECT_EQ(shell->Engine().RemainingFlags() & kJobReadSerial, 0u);
    EXPECT_EQ(raw.CountOf("Open"), 1u);
    shell->HandleBusMessage(kBusWriteSerial, 0);
    WaitForJob();
    EXPECT_EQ(raw.CountOf("Open"), 2u);
}

class FakeChannel : public InstanceChannel {
public:
    bool BecomePrimary() override { return true; }
    HandOverResult HandOver(const std::string&) override { return HandOverResult::NoInstance; }
    void Listen(std::function<void()>) override {}
    std::optional<std::string> TakeCommandLine() override {
        std::optional<std::string> t = std::move(text);
        text.reset();
        return t;
    }
    std::optional<std::string> text;
};

TEST_F(ShellFixture, SecondInstanceHandOverRunsItsCommandLine) {
    Start();
    shell->HandleBusMessage(kBusNewInstance, 0); // no channel: only the line
    EXPECT_EQ(view.LogTexts().back(), "Detect new instance");

    FakeChannel channel;
    shell->SetInstanceChannel(&channel);
    channel.text = "-bsl -c2 +e";
    shell->HandleBusMessage(kBusNewInstance, 0);
    WaitForJob();
    EXPECT_EQ(view.broughtToFront, 2);
    EXPECT_TRUE(view.Logged("Process command line.."));
    EXPECT_EQ(view.adapterLabel, "BSL(COM2)");
    EXPECT_EQ(bsl.CountOf("Erase"), 1u);

    // Nothing waiting: the line only, no command line run.
    const size_t before = view.logLines.size();
    shell->HandleBusMessage(kBusNewInstance, 0);
    EXPECT_EQ(view.logLines.size(), before + 1);
}

// --- recent files --------------------------------------------------------------------

TEST_F(ShellFixture, RecentEntriesLoadMoveUpOrDisappear) {
    Start();
    std::string a = ProgramFile("a.txt");
    std::string b = ProgramFile("b.txt");
    ASSERT_TRUE(shell->LoadFile(a));
    ASSERT_TRUE(shell->LoadFile(b));
    EXPECT_EQ(shell->RecentFiles().Entries(), (Strings{b, a}));
    shell->ExecuteCommand(kCmdRecentFirst + 1);
    EXPECT_EQ(shell->RecentFiles().Entries(), (Strings{a, b}));
    EXPECT_EQ(shell->CurrentFile(), a);

    std::filesystem::remove(b);
    EXPECT_FALSE(shell->LoadRecentFile(1));
    EXPECT_EQ(shell->RecentFiles().Entries(), (Strings{a}));
    EXPECT_FALSE(store.HasValue(shell->RecentFiles().KeyPath(), "Document2"));
    EXPECT_EQ(store.ReadText(shell->RecentFiles().KeyPath(), "Document1"), a);

    shell->ExecuteCommand(kCmdRecentFirst + 5);
    EXPECT_EQ(view.beeps, 1);
}

TEST_F(ShellFixture, DroppingSeveralFilesLoadsOnlyTheFirst) {
    Start();
    std::string first = ProgramFile("first.txt");
    std::string second = WriteFile("second.txt", "@2000\n01 02\nq\n");
    ASSERT_TRUE(shell->LoadDroppedFiles({first, second, second}));
    EXPECT_EQ(shell->CurrentFile(), first);
    EXPECT_EQ(shell->RecentFiles().Entries(), (Strings{first}));
    EXPECT_EQ(shell->Image().Low(), 0x1100u);
    EXPECT_EQ(view.scroll, 0x1100u); // the view starts again at the first row
    EXPECT_FALSE(shell->LoadDroppedFiles({}));
}

TEST_F(ShellFixture, RecentListComesFromTheStoreAtStartUp) {
    store.Put("Software\\Qorvane\\Pyrola\\Recent Document List", "Document1", std::string("C:\\x.txt"));
    Start();
    EXPECT_EQ(shell->RecentFiles().Entries(), (Strings{"C:\\x.txt"}));
}

// --- texts ---------------------------------------------------------------------------

TEST(ShellTexts, DeviceInformationSizes) {
    EXPECT_EQ(DeviceInfoText(0), "");
    EXPECT_EQ(DeviceInfoText(kDeviceCount), "");
    EXPECT_EQ(DeviceInfoText(kDeviceCount + 100), "");
    EXPECT_EQ(MemorySizeText(0, true), "0B");
    EXPECT_EQ(MemorySizeText(15, true), "0B");
    EXPECT_EQ(MemorySizeText(16, true), "16B");
    EXPECT_EQ(MemorySizeText(1023, true), "1023B");
    EXPECT_EQ(MemorySizeText(1024, true), "1KB");
    EXPECT_EQ(MemorySizeText(1536, true), "1KB");
    EXPECT_EQ(MemorySizeText(1537, true), "2KB"); // more than half a kilobyte rounds up
    EXPECT_EQ(MemorySizeText(1024 * 1024, true), "1MB");
    EXPECT_EQ(MemorySizeText(1024 * 1024, false), "1024KB");
    for (uint32_t i = 1; i < kDeviceCount; ++i) {
        const std::string text = DeviceInfoText(i);
        EXPECT_NE(text.find(" Flash, "), std::string::npos) << i;
        EXPECT_EQ(text.substr(text.size() - 4), " RAM") << i;
    }
}

TEST(ShellTexts, LogLineAndAdapterLabelForms) {
    EXPECT_EQ(FormatLogLine({7, 0, 59}, "Ready"), "07:00:59->Ready");
    EXPECT_EQ(FormatLogLine({23, 59, 5}, ""), "23:59:05->");
    Settings s;
    s.adapter = 2;
    s.bslPort = 0;
    EXPECT_EQ(AdapterLabel(s), "BSL(COM1)");
    s.adapter = 0;
    s.fetPort = 6;
    EXPECT_EQ(AdapterLabel(s), "FET(LPT7)");
}

// A FET whose firmware the library wants updated first: the window asks (with the time it
// takes and "do not unplug") and updates only on yes; the headless view is never asked.
TEST_F(ShellFixture, AFetNeedingFirmwareIsOfferedTheUpdateNeverGivenItUnasked) {
    Start();
    shell->GetSettings().adapter = kAdapterFet;
    shell->ApplySettings();
    fet.openResult = false;
    fetNeedingFirmware = "ttyACM0";
    auto failedInit = [this] {
        shell->StartJob(kJobErase);
        WaitForJob();
        shell->HandleBusMessage(kBusJobState, 1000); // the end of the list
    };
    failedInit(); // a view that cannot ask: nothing happens
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(firmwareUpdates, 0);

    view.answer = false;
    failedInit();
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_NE(view.questions[0].find("The FET ttyACM0 needs a firmware update"), std::string::npos);
    EXPECT_NE(view.questions[0].find("Do not unplug the FET"), std::string::npos);
    EXPECT_NE(view.questions[0].find("up to a few minutes"), std::string::npos);
    EXPECT_EQ(firmwareUpdates, 0);
    EXPECT_TRUE(view.Logged("The FET's firmware was not updated: it cannot program until it is."));

    view.answer = true;
    firmwareUpdateProblem = "Could not communicate with FET";
    failedInit();
    EXPECT_EQ(firmwareUpdates, 1);
    EXPECT_TRUE(view.Logged("FET firmware update failed. Could not communicate with FET"));
    EXPECT_TRUE(view.statusError);

    firmwareUpdateProblem.clear();
    failedInit();
    EXPECT_EQ(firmwareUpdates, 2);
    EXPECT_TRUE(view.Logged("FET firmware updated. Start the job again."));
    // Done: the next failure asks nothing.
    failedInit();
    EXPECT_EQ(view.questions.size(), 3u);
    // Another adapter's failure never asks about the FET.
    fetNeedingFirmware = "ttyACM0";
    shell->GetSettings().adapter = kAdapterBsl;
    shell->ApplySettings();
    bsl.openResult = false;
    failedInit();
    EXPECT_EQ(view.questions.size(), 3u);
}

} // namespace
} // namespace pyrola::test
