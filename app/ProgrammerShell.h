#pragma once
// The main window's logic as a plain class: settings, image, adapters, job engine and
// the load/save flow; commands and their enabled states; the receiver of every message-bus
// request. A front end (window, headless program, test) shows what it decides through a
// ShellView and delivers the bus requests to HandleBusMessage on its main thread.

#include "app/AdapterSet.h"
#include "app/CommandStates.h"
#include "app/ShellView.h"
#include "image/FileFlow.h"
#include "image/FileFlowHost.h"
#include "image/MemoryImage.h"
#include "jobs/CommandLine.h"
#include "jobs/JobEngine.h"
#include "jobs/MessageBus.h"
#include "platform/SettingsStore.h"
#include "settings/RecentFileList.h"
#include "settings/Settings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pyrola {

class InstanceChannel;
class SerializationForm;

struct TimeOfDay {
    int hour = 0, minute = 0, second = 0;
};

// "%02i:%02i:%02i->%s"
std::string FormatLogLine(const TimeOfDay& time, const std::string& text);
// "FET(LPT%d)", "RAW(LPT%d)" or "BSL(COM%d)" for the settings' adapter and port.
std::string AdapterLabel(const Settings& settings);
// The BSL line the settings ask for.
BslLineOptions BslLineFrom(const Settings& settings);

// How a command line went, for a front end that must report it (the headless program).
struct CommandLineOutcome {
    bool anyToken = false;
    bool rejected = false; // an illegal flow letter, option or file token, or a failed load
    bool jobStarted = false;
    // The file loaded, but without its end record (it may be cut short). With
    // CarryOutOptions::refuseUnterminatedFile such a file is also rejected and no job starts.
    bool unterminatedFile = false;
    // The file gave some address twice (see FileFlow::LastLoadOverlap). With
    // CarryOutOptions::refuseOverlappingFile it is also rejected and no job starts.
    bool overlappingFile = false;
};

// What a front end adds when it carries out a command line.
struct CarryOutOptions {
    uint32_t extraFlags = 0;      // job steps of its own, run with the flow letters'
    bool loadMustSucceed = false; // a file that fails to load stops the job in every case
    // A file without its end record is refused (logged, rejected, no job) instead of
    // programming what may be half a file: for a front end nobody watches. The window
    // only warns.
    bool refuseUnterminatedFile = false;
    // A file that gives an address twice is refused the same way (a production script's
    // choice: two images concatenated are a wrong file there). The window only warns.
    bool refuseOverlappingFile = false;
    // Runs once the file is loaded and before the job starts: a non-empty text refuses the
    // job (shown in the error colour, the outcome rejected), with nothing done.
    std::function<std::string()> checkBeforeJob;
};

class ProgrammerShell : private FileFlowHost {
public:
    // bus is where the worker sends its requests; the front end hands them back to
    // HandleBusMessage on the main thread. Everything passed in must outlive the shell.
    // Destruction waits for every worker, so a bus that blocks senders until its main loop
    // runs must be shut down (or kept running) first.
    ProgrammerShell(ShellView& view, SettingsStore& store, MessageBus& bus, const AdapterSet& adapters);
    ~ProgrammerShell() override;

    // Window creation: settings and recent files loaded, settings applied, the device
    // override handed to the engine, states refreshed, "Ready", empty title.
    void Initialize();

    // The settings reach their users: adapter and port (and the status-bar label), the
    // BSL adapter's patch flag and line (speed and wiring), the gap byte, erase info.
    void ApplySettings();
    // Setup confirmed with OK: save, apply, refresh.
    void SettingsConfirmed();
    // Changes the BSL line the settings give before it reaches the adapter, at every apply
    // from now on; the settings themselves stay as they are (options for one run).
    void SetBslLineAdjustment(std::function<void(BslLineOptions&)> adjust) {
        bslLineAdjust_ = std::move(adjust);
    }

    // Loads and saves never run while a worker may still touch the image: a running job
    // is broken off first, and the file is loaded or saved once the last worker has
    // stopped (at its end-of-list notice). They return false while they wait.
    bool LoadFile(const std::string& path);
    bool SaveFile(const std::string& path);
    // The format every load reads in, decided by a front end without the File Format
    // dialog; nullopt (the default) chooses by extension and asks.
    void SetLoadFormat(std::optional<FileFormat> format) { fileFlow_.SetLoadFormat(format); }
    // Where byte 0 of the binary files loaded from now on goes (0: the file starts at 0).
    void SetBinaryBase(uint32_t base) { fileFlow_.SetBinaryBase(base); }
    // Files dropped on the window: only the first one is loaded.
    bool LoadDroppedFiles(const std::vector<std::string>& paths);
    // Recent entry i (0-based): loaded; moved up on success, dropped on failure.
    bool LoadRecentFile(size_t index);

    // The command-line processing: the tokens are read, then carried out.
    CommandLineOutcome ProcessCommandLine(const std::string& text);
    // The same for tokens already split (the headless program's arguments, one token each
    // whatever characters they hold).
    CommandLineOutcome ProcessCommandTokens(const std::vector<std::string>& tokens);
    // The two halves, for a front end with rules of its own between them. Reading reports
    // every complaint and sets erase info as the options are read; carrying out applies the
    // adapter and port, loads the file and starts a job with the flow flags and extraFlags.
    CommandLineRequest ReadCommandTokens(const std::vector<std::string>& tokens);
    CommandLineOutcome CarryOutCommandLine(const CommandLineRequest& request,
                                           const CarryOutOptions& options = {});
    // Flags of the job engine plus 0x2000 (reload first) and 0x10000 (cancel).
    void StartJob(uint32_t flags);
    // A menu item, button or key.
    void ExecuteCommand(uint32_t id);
    // Cancel a running job and save the settings (unless saveSettings is false: a run that
    // must leave the stored settings as they were); the front end then closes.
    void Exit(bool saveSettings = true);
    // The recent-file list changes in memory only and is written by Exit when it saves the
    // settings (a headless run writes nothing it was not asked to).
    void WriteRecentListOnExitOnly() { recentWrittenOnExit_ = true; }

    // The user picked a row of the device list.
    void SelectDevice(uint32_t index);
    void RefreshCommandStates(uint32_t waitMs = 0);
    CommandStates ComputeCommandStates() const;

    // Every bus request, on the main thread. Codes 13 and above are swallowed.
    void HandleBusMessage(uint32_t code, uintptr_t value);

    // Where a second instance leaves its command line (bus code 12); may stay unset.
    void SetInstanceChannel(InstanceChannel* channel) { channel_ = channel; }
    // Local time for the log lines; tests fix it.
    void SetTimeSource(std::function<TimeOfDay()> source) { timeSource_ = std::move(source); }
    // Whether the serialization dialog exists (it keeps its command disabled).
    void SetSerializationOpen(bool open) { serializationOpen_ = open; }
    // The serialization dialog's form, whose "In memory" the answer to a serial job (bus
    // code 11) refreshes before the view redraws it; may stay unset. Must outlive the shell
    // or be unset first.
    void SetSerializationForm(SerializationForm* form) { serializationForm_ = form; }

    // Log line and status text, as every shell message does.
    void Message(const std::string& text);
    // A time-stamped log line only.
    void LogLine(const std::string& text);
    void Log(const std::string& text) override;
    void LogReason(const std::string& text) override { LogLine(text); }
    void SetFailureMark(bool failed) override;

    Settings& GetSettings() { return settings_; }
    MemoryImage& Image() { return image_; }
    JobEngine& Engine() { return engine_; }
    RecentFileList& RecentFiles() { return recent_; }
    const std::string& CurrentFile() const { return fileFlow_.CurrentFile(); }
    // The named pieces (ELF sections) of the last file loaded; empty for other formats.
    const std::vector<ImagePart>& LoadedParts() const { return fileFlow_.LastLoadParts(); }
    TargetAdapter* CurrentAdapter() const { return engine_.CurrentAdapter(); }
    bool IsJobRunning() const { return engine_.IsWorkerRunning(); }
    // A worker may still read or write the image (a job runs, or one broken off has not
    // stopped yet): a view must not read the image now.
    bool ImageInUse() const { return engine_.AnyWorkerAlive(); }
    // A load, save or command line waits for the image to be free.
    bool ChangePending() const { return static_cast<bool>(pendingChange_); }
    bool StatusIsError() const { return statusError_; }
    std::optional<uint32_t> DeviceSelection() const { return selection_; }

private:
    // FileFlowHost
    FileFlowOptions FileOptions() const override;
    FileFormat AskFormat(FileFormat preselected, uint32_t* binaryBase) override;
    void AddRecentFile(const std::string& path) override;
    void Refreshed(uint32_t scrollAddress) override;

    void SetStatus(const std::string& text);
    void PrepareBslPassword(uint32_t flags);
    bool StartJobReporting(uint32_t flags);
    void HandOverReceived();
    // A command line's file (if any) and steps; a failed load stops Program and Verify
    // (and every job when the options say so).
    void LoadAndStart(const std::optional<std::string>& file, uint32_t flags, const CarryOutOptions& options,
                      CommandLineOutcome& outcome);
    bool LoadRecentPath(const std::string& path);
    // While a worker may touch the image: breaks a running job off, keeps change (in
    // place of one kept before) for RunPendingChange and returns true. Otherwise false:
    // the caller changes the image now.
    bool DeferWhileImageInUse(std::function<void()> change);
    // The kept change, once every worker has stopped (waiting at most waitMs for that).
    void RunPendingChange(uint32_t waitMs);
    // After a list: a FET whose firmware the library wants updated first is offered the
    // update (never started unasked: it takes a while and the FET must stay plugged in).
    void OfferFetFirmwareUpdate();

    ShellView& view_;
    SettingsStore& store_;
    AdapterSet adapters_;
    Settings settings_;
    std::function<void(BslLineOptions&)> bslLineAdjust_;
    MemoryImage image_;
    JobEngine engine_;
    RecentFileList recent_;
    FileFlow fileFlow_;
    InstanceChannel* channel_ = nullptr;
    std::function<TimeOfDay()> timeSource_;
    std::optional<uint32_t> selection_;
    uint32_t scrollTarget_ = 0;
    bool statusError_ = false;
    bool recentWrittenOnExit_ = false;
    bool serializationOpen_ = false;
    SerializationForm* serializationForm_ = nullptr;
    std::function<void()> pendingChange_;
};

} // namespace pyrola
