#include "app/ProgrammerShell.h"

#include "adapters/DeviceTable.h"
#include "adapters/bsl/BslPassword.h"
#include "app/DeviceInfoText.h"
#include "base/TextFormat.h"
#include "jobs/CommandLine.h"
#include "jobs/JobFlags.h"
#include "platform/InstanceChannel.h"
#include "serialno/SerializationForm.h"
#include "settings/SettingsPersistence.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

namespace pyrola {

namespace {

// What the shell knows of each adapter: its label, the setting that keeps its port, where
// the adapter set holds it, the worker's priority for its jobs (RAW's timing is the
// worker's own) and whether it reaches the 1-Wire sensor.
struct AdapterRow {
    uint32_t kind;
    const char* labelFormat; // with the 1-based port number
    uint32_t Settings::*port;
    TargetAdapter* AdapterSet::*adapter;
    int workerPriority;
    bool oneWire;
};

constexpr AdapterRow kAdapterRows[] = {
    {kAdapterFet, "FET(LPT%d)", &Settings::fetPort, &AdapterSet::fet, kWorkerPriorityNormal, false},
    {kAdapterRaw, "RAW(LPT%d)", &Settings::rawPort, &AdapterSet::raw, kWorkerPriorityTimeCritical, true},
    {kAdapterBsl, "BSL(COM%d)", &Settings::bslPort, &AdapterSet::bsl, kWorkerPriorityNormal, false},
};

static_assert(kAdapterRows[kAdapterFet].kind == kAdapterFet &&
              kAdapterRows[kAdapterRaw].kind == kAdapterRaw && kAdapterRows[kAdapterBsl].kind == kAdapterBsl);

// The settings' adapter; an "Adapter" value outside 0..2 acts as the default adapter.
const AdapterRow& AdapterOf(const Settings& settings) {
    const uint32_t kind = settings.adapter <= kAdapterBsl ? settings.adapter : Settings{}.adapter;
    return kAdapterRows[kind];
}

bool PathExists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::exists(std::filesystem::path(path), error);
}

TimeOfDay LocalTimeOfDay() {
    std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now); // main thread only
    if (!local)
        return {};
    return {local->tm_hour, local->tm_min, local->tm_sec};
}

// Lines a progress bar can show: its range sits in 16 bits.
constexpr uint32_t kProgressRangeLimit = 0xFFFF;

constexpr const char* kTextUnterminatedRefused =
    "Error. File without end record refused; it may be cut short.";
constexpr const char* kTextOverlapRefused =
    "Error. File that gives an address twice refused (first at 0x%.4X).";

} // namespace

std::string FormatLogLine(const TimeOfDay& time, const std::string& text) {
    return Format("%02i:%02i:%02i->%s", time.hour, time.minute, time.second, text.c_str());
}

std::string AdapterLabel(const Settings& settings) {
    const AdapterRow& row = AdapterOf(settings);
    return Format(row.labelFormat, static_cast<int>(settings.*row.port + 1));
}

BslLineOptions BslLineFrom(const Settings& settings) {
    BslLineOptions line;
    line.baudRate = IsBslBaudRate(settings.bslSpeed) ? settings.bslSpeed : kBslBaseBaudRate;
    line.wiring.resetInverted = settings.bslResetInverted != 0;
    line.wiring.testInverted = settings.bslTestInverted != 0;
    line.wiring.swapResetTest = settings.bslSwapResetTest != 0;
    return line;
}

ProgrammerShell::ProgrammerShell(ShellView& view, SettingsStore& store, MessageBus& bus,
                                 const AdapterSet& adapters)
    : view_(view), store_(store), adapters_(adapters), engine_(&bus, &image_), recent_(settings_.keyPath),
      fileFlow_(image_, *this), timeSource_(LocalTimeOfDay) {
    image_.Clear();
}

ProgrammerShell::~ProgrammerShell() = default;

void ProgrammerShell::Initialize() {
    recent_.Read(store_);
    LoadSettings(settings_, store_);
    ApplySettings();
    engine_.SetDeviceIndex(settings_.overrideDevice);
    RefreshCommandStates();
    SetStatus("Ready");
    fileFlow_.SetCurrentFile("");
    view_.SetTitle(fileFlow_.WindowTitle());
}

void ProgrammerShell::ApplySettings() {
    const AdapterRow& row = AdapterOf(settings_);
    TargetAdapter* adapter = adapters_.*row.adapter;
    const uint32_t port = settings_.*row.port + 1;
    const bool bsl = row.kind == kAdapterBsl;
    // A command line handed over during a job gets here too: the adapter in use keeps its
    // fields until its list ends.
    BslLineOptions line = BslLineFrom(settings_);
    if (bslLineAdjust_)
        bslLineAdjust_(line);
    engine_.ChangeAdapters([adapter, port, bsl, patch = settings_.bslPatch != 0,
                            setPatch = adapters_.setBslPatch, line, setLine = adapters_.setBslLine] {
        if (adapter)
            adapter->portNumber = port;
        if (bsl && setPatch)
            setPatch(patch);
        if (bsl && setLine)
            setLine(line);
    });
    engine_.SetAdapter(adapter);
    view_.SetAdapterLabel(AdapterLabel(settings_));
    image_.SetGapByte(settings_.gapByte);
    engine_.SetEraseInfo(settings_.eraseInfo);
}

void ProgrammerShell::SettingsConfirmed() {
    SaveSettings(settings_, store_);
    ApplySettings();
    RefreshCommandStates();
}

void ProgrammerShell::LogLine(const std::string& text) {
    view_.AppendLog(FormatLogLine(timeSource_ ? timeSource_() : TimeOfDay{}, text));
}

void ProgrammerShell::SetStatus(const std::string& text) {
    view_.SetStatusText(text);
}

void ProgrammerShell::Message(const std::string& text) {
    LogLine(text);
    SetStatus(text);
}

void ProgrammerShell::Log(const std::string& text) {
    Message(text);
}

void ProgrammerShell::SetFailureMark(bool failed) {
    statusError_ = failed;
    view_.SetStatusError(failed);
}

FileFormat ProgrammerShell::AskFormat(FileFormat preselected, uint32_t* binaryBase) {
    return view_.AskFormat(preselected, binaryBase);
}

FileFlowOptions ProgrammerShell::FileOptions() const {
    return {settings_.autoDetect != 0, settings_.removeGap != 0};
}

void ProgrammerShell::AddRecentFile(const std::string& path) {
    // The list holds full paths: a name as typed means another file from another folder.
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    recent_.Add(error ? path : full.string());
    if (!recentWrittenOnExit_)
        recent_.Write(store_);
}

void ProgrammerShell::Refreshed(uint32_t scrollAddress) {
    view_.SetTitle(fileFlow_.WindowTitle());
    // The view starts again at the image's first row (row 0 when it is empty).
    scrollTarget_ = !image_.IsEmpty() ? std::max(scrollAddress, image_.Low()) : 0;
    RefreshCommandStates();
}

bool ProgrammerShell::DeferWhileImageInUse(std::function<void()> change) {
    if (engine_.IsWorkerRunning())
        StartJob(kJobCancel); // as a new request breaks the running job off
    if (!engine_.AnyWorkerAlive())
        return false;
    pendingChange_ = std::move(change);
    RefreshCommandStates();
    return true;
}

void ProgrammerShell::RunPendingChange(uint32_t waitMs) {
    if (!pendingChange_ || !engine_.WaitForAllWorkers(waitMs))
        return;
    std::function<void()> change = std::move(pendingChange_);
    pendingChange_ = nullptr;
    change();
    RefreshCommandStates();
}

bool ProgrammerShell::LoadFile(const std::string& path) {
    if (DeferWhileImageInUse([this, path] { fileFlow_.LoadFile(path); }))
        return false;
    return fileFlow_.LoadFile(path);
}

bool ProgrammerShell::SaveFile(const std::string& path) {
    if (DeferWhileImageInUse([this, path] { fileFlow_.SaveFile(path); }))
        return false;
    return fileFlow_.SaveFile(path);
}

bool ProgrammerShell::LoadDroppedFiles(const std::vector<std::string>& paths) {
    if (paths.empty())
        return false;
    return LoadFile(paths.front());
}

bool ProgrammerShell::LoadRecentFile(size_t index) {
    if (index >= recent_.Entries().size()) {
        view_.Beep();
        return false;
    }
    const std::string path = recent_.Entries()[index];
    if (DeferWhileImageInUse([this, path] { LoadRecentPath(path); }))
        return false;
    return LoadRecentPath(path);
}

bool ProgrammerShell::LoadRecentPath(const std::string& path) {
    if (fileFlow_.LoadFile(path))
        return true;
    recent_.Remove(path);
    if (!recentWrittenOnExit_)
        recent_.Write(store_);
    RefreshCommandStates();
    return false;
}

CommandLineOutcome ProgrammerShell::ProcessCommandLine(const std::string& text) {
    return ProcessCommandTokens(TokenizeCommandLine(text));
}

CommandLineOutcome ProgrammerShell::ProcessCommandTokens(const std::vector<std::string>& tokens) {
    return CarryOutCommandLine(ReadCommandTokens(tokens));
}

CommandLineRequest ProgrammerShell::ReadCommandTokens(const std::vector<std::string>& tokens) {
    CommandLineRequest request =
        ParseCommandTokens(tokens, PathExists, [this](const std::string& message, bool isError) {
            // The colour first, so that a front end sees the text arrive as an error.
            if (isError)
                SetFailureMark(true);
            Message(message);
        });
    // Each option token sets erase info as it is read, so the options before an illegal
    // flow letter keep their effect even though nothing after the tokens runs.
    if (request.eraseInfo)
        engine_.SetEraseInfo(*request.eraseInfo);
    return request;
}

CommandLineOutcome ProgrammerShell::CarryOutCommandLine(const CommandLineRequest& request,
                                                        const CarryOutOptions& options) {
    CommandLineOutcome outcome;
    outcome.anyToken = request.anyToken;
    outcome.rejected = request.errorFlag;
    // A front end's own steps run also without any token (on the stored settings).
    if ((!request.anyToken && options.extraFlags == 0) || request.aborted)
        return outcome;
    if (request.adapter) {
        settings_.adapter = *request.adapter;
        ApplySettings();
    }
    if (request.port) {
        settings_.*AdapterOf(settings_).port = *request.port;
        ApplySettings();
    }
    // Applying the settings reloads erase info from "EraseInfo"; "-pi" still holds for
    // this command line.
    if (request.protectInfo)
        engine_.SetEraseInfo(0);

    const uint32_t flags = request.flowFlags | options.extraFlags;
    if ((flags & (kJobProgram | kJobVerify)) && !request.fileToken) {
        SetFailureMark(true);
        Message("Error. Specify filename.");
        outcome.rejected = true;
        return outcome;
    }
    // A second start's file must not replace the image under the running job.
    if (request.fileToken &&
        DeferWhileImageInUse([this, file = request.fileToken, flags, options, later = outcome]() mutable {
            LoadAndStart(file, flags, options, later);
        }))
        return outcome;
    LoadAndStart(request.fileToken, flags, options, outcome);
    return outcome;
}

void ProgrammerShell::LoadAndStart(const std::optional<std::string>& file, uint32_t flags,
                                   const CarryOutOptions& options, CommandLineOutcome& outcome) {
    if (file && !fileFlow_.LoadFile(*file)) {
        outcome.rejected = true;
        if ((flags & (kJobProgram | kJobVerify)) || options.loadMustSucceed)
            return;
    }
    if (file && !outcome.rejected && fileFlow_.LastLoadUnterminated()) {
        outcome.unterminatedFile = true;
        if (options.refuseUnterminatedFile) {
            SetFailureMark(true);
            Message(kTextUnterminatedRefused);
            outcome.rejected = true;
            return;
        }
    }
    if (file && !outcome.rejected && fileFlow_.LastLoadOverlap().count > 0) {
        outcome.overlappingFile = true;
        if (options.refuseOverlappingFile) {
            SetFailureMark(true);
            Message(Format(kTextOverlapRefused, unsigned(fileFlow_.LastLoadOverlap().first)));
            outcome.rejected = true;
            return;
        }
    }
    if (flags && options.checkBeforeJob) {
        const std::string problem = options.checkBeforeJob();
        if (!problem.empty()) {
            SetFailureMark(true);
            Message(problem);
            outcome.rejected = true;
            return;
        }
    }
    if (flags)
        outcome.jobStarted = StartJobReporting(flags);
}

void ProgrammerShell::PrepareBslPassword(uint32_t flags) {
    // Every job that reads or writes through the loader needs its password.
    constexpr uint32_t kNeedsUnlock = kJobProgram | kJobRead | kJobBlankCheck | kJobVerify | kJobAttachOnly |
                                      kJobReadSerial | kJobWriteSerial | kJobDumpRam | kJobDumpLoader |
                                      kJobDumpDeviceId | kJobErase;
    if (AdapterOf(settings_).kind != kAdapterBsl || !(flags & kNeedsUnlock))
        return;
    if (!adapters_.bslNeedsPassword || !adapters_.setBslPassword)
        return;
    const BslPassword password = BslPasswordFromImage(image_);
    // A loader still in use by a running list keeps its password until that list ends.
    engine_.ChangeAdapters(
        [needsPassword = adapters_.bslNeedsPassword, set = adapters_.setBslPassword, password] {
            if (needsPassword())
                set(password);
        });
}

void ProgrammerShell::StartJob(uint32_t flags) {
    StartJobReporting(flags);
}

bool ProgrammerShell::StartJobReporting(uint32_t flags) {
    PrepareBslPassword(flags);
    const int priority = AdapterOf(settings_).workerPriority;
    if (selection_)
        engine_.SetDeviceIndex(*selection_);
    if (flags & kJobReload) {
        if (DeferWhileImageInUse([this, flags] { StartJobReporting(flags); }))
            return false;
        flags &= ~kJobReload;
        const std::string path = fileFlow_.CurrentFile();
        if (!fileFlow_.LoadFile(path)) {
            SetFailureMark(true);
            Message("Reload file failed");
            return false;
        }
    }
    return engine_.StartWorker(flags, priority);
}

void ProgrammerShell::ExecuteCommand(uint32_t id) {
    if (!ComputeCommandStates().IsEnabled(id))
        return;
    switch (id) {
    case kCmdAuto:
        StartJob(settings_.autoSteps);
        break;
    case kCmdErase:
        StartJob(kJobErase);
        break;
    case kCmdBlankCheck:
        StartJob(kJobBlankCheck);
        break;
    case kCmdProgram:
        StartJob(kJobProgram);
        break;
    case kCmdVerify:
        StartJob(kJobVerify);
        break;
    case kCmdRead:
        StartJob(kJobRead);
        break;
    case kCmdReset:
        StartJob(kJobReset);
        break;
    case kCmdCancel:
        pendingChange_ = nullptr; // a load waiting for the broken-off job is called off too
        StartJob(kJobCancel);
        break;
    case kCmdDumpRam:
        StartJob(kJobDumpRam);
        break;
    case kCmdDumpDeviceId:
        StartJob(kJobDumpDeviceId);
        break;
    case kCmdDumpBsl:
        StartJob(kJobDumpLoader);
        break;
    case kCmdReadDs18b20:
        StartJob(kJobDebugOneWire);
        break;
    case kCmdReloadFile:
        LoadFile(fileFlow_.CurrentFile());
        break;
    case kCmdExit:
        Exit();
        return;
    default:
        if (id >= kCmdRecentFirst && id <= kCmdRecentLast) {
            LoadRecentFile(id - kCmdRecentFirst);
            return;
        }
        break;
    }
    RefreshCommandStates();
}

void ProgrammerShell::Exit(bool saveSettings) {
    pendingChange_ = nullptr;
    StartJob(kJobCancel);
    if (saveSettings)
        SaveSettings(settings_, store_);
    if (saveSettings && recentWrittenOnExit_)
        recent_.Write(store_);
}

void ProgrammerShell::SelectDevice(uint32_t index) {
    selection_ = index < kDeviceCount ? index : 0;
    view_.ShowDevice(*selection_, DeviceInfoText(*selection_));
}

CommandStates ProgrammerShell::ComputeCommandStates() const {
    // A change waiting for a broken-off worker keeps the window busy until it has run.
    const bool idle = !engine_.IsWorkerRunning() && !pendingChange_;
    const bool ready = idle && !image_.IsEmpty();
    CommandStates states;
    states.items = {
        {kCmdReloadFile, PathExists(fileFlow_.CurrentFile())},
        {kCmdErase, idle},
        {kCmdRead, idle},
        {kCmdSetup, idle},
        {kCmdOpen, idle},
        {kCmdBlankCheck, idle},
        {kCmdReset, idle},
        {kCmdSerialization, idle && !serializationOpen_},
        {kCmdReadDs18b20, idle && AdapterOf(settings_).oneWire},
        {kCmdCancel, !idle},
        {kCmdProgram, ready},
        {kCmdVerify, ready},
        {kCmdSave, ready},
        {kCmdAuto, ready},
    };
    states.focusToCancelWhenDisabled = !ready;
    return states;
}

void ProgrammerShell::RefreshCommandStates(uint32_t waitMs) {
    if (waitMs)
        engine_.WaitForAllWorkers(waitMs); // a worker given up on after a break too
    uint32_t index = engine_.DeviceIndex();
    if (index >= kDeviceCount)
        index = 0;
    selection_ = index;
    view_.ShowDevice(index, DeviceInfoText(index));
    view_.SetCommandStates(ComputeCommandStates());
    const uint32_t first = !image_.IsEmpty() ? image_.Low() : 0;
    view_.RefreshMemoryView(std::max(scrollTarget_, first));
}

void ProgrammerShell::HandleBusMessage(uint32_t code, uintptr_t value) {
    switch (code) {
    case kBusStatusText:
        SetStatus(value ? reinterpret_cast<const char*>(value) : "");
        break;
    case kBusLogLine:
        LogLine(value ? reinterpret_cast<const char*>(value) : "");
        break;
    case kBusJobState:
        RefreshCommandStates(static_cast<uint32_t>(value));
        RunPendingChange(static_cast<uint32_t>(value));
        if (value != 0) // the end of a list
            OfferFetFirmwareUpdate();
        break;
    case kBusProgressRange:
        view_.ProgressCreate(static_cast<uint32_t>(std::min<uintptr_t>(value, kProgressRangeLimit)));
        break;
    case kBusProgressStep:
        view_.ProgressStep();
        break;
    case kBusProgressPos:
        view_.ProgressSetPosition(static_cast<uint32_t>(value));
        break;
    case kBusProgressEnd:
        view_.ProgressDestroy();
        break;
    case kBusScrollTo: {
        const uint32_t first = !image_.IsEmpty() ? image_.Low() : 0;
        scrollTarget_ = std::max(static_cast<uint32_t>(value), first);
        break;
    }
    case kBusErrorColour:
        SetFailureMark(value != 0);
        break;
    case kBusReadSerial:
        StartJob(kJobReadSerial);
        break;
    case kBusWriteSerial:
        StartJob(kJobWriteSerial);
        break;
    case kBusSerialRefresh:
        if (serializationForm_)
            serializationForm_->RefreshInMemory();
        view_.RefreshSerialization();
        break;
    case kBusNewInstance:
        HandOverReceived();
        break;
    default:
        break; // codes 13 and above: swallowed
    }
}

void ProgrammerShell::OfferFetFirmwareUpdate() {
    if (!adapters_.fetFirmwareNeeded || !adapters_.updateFetFirmware || CurrentAdapter() != adapters_.fet ||
        engine_.AnyWorkerAlive())
        return;
    const std::string fet = adapters_.fetFirmwareNeeded();
    if (fet.empty())
        return;
    const std::optional<bool> update =
        view_.Ask("FET firmware update",
                  Format("The FET %s needs a firmware update before it can reach a chip.\n\nThe update "
                         "takes up to a few minutes. Do not unplug the FET or close Pyrola while it "
                         "runs.\n\nUpdate the FET's firmware now?",
                         fet.c_str()));
    if (!update)
        return; // no one to ask: the failure already says which command updates it
    if (!*update) {
        LogLine("The FET's firmware was not updated: it cannot program until it is.");
        return;
    }
    LogLine(Format("Updating the firmware of FET %s: do not unplug it..", fet.c_str()));
    SetStatus("Updating the FET's firmware: do not unplug the FET..");
    const std::string why = adapters_.updateFetFirmware();
    if (why.empty()) {
        LogLine("FET firmware updated. Start the job again.");
        SetStatus("FET firmware updated.");
        SetFailureMark(false);
    } else {
        LogLine("FET firmware update failed. " + why);
        SetStatus("FET firmware update failed.");
        SetFailureMark(true);
    }
}

void ProgrammerShell::HandOverReceived() {
    view_.BringToFront();
    LogLine("Detect new instance");
    if (!channel_)
        return;
    if (std::optional<std::string> text = channel_->TakeCommandLine())
        ProcessCommandLine(*text);
}

} // namespace pyrola
