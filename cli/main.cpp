// pyrola [program options] [-pi] [-fet | -raw | -bsl] [-c{port}] [+ebpvr] {file}
// The main window's command line without the window: each argument is one command-line
// token, a job that starts is waited for; the adapter and port it names hold for this run
// (the settings are saved as on Exit only with --store-settings). The program's own "--"
// options (serial numbers, the production log, saving a read image, the dumps) are read
// first and never reach the command-line processing.
// Exit status: 0 all done, 1 a step failed, left image bytes out or was cancelled, 2 the
// command line, an option's file or the image file was rejected (or named no action), or
// the identified chip cannot hold the image or the serial: nothing on the chip changed.

#include "adapters/DeviceTable.h"
#include "adapters/bsl/BslAdapter.h"
#include "adapters/bsl/BslPatch.h"
#include "adapters/fet/FetAdapter.h"
#include "adapters/raw/RawJtagAdapter.h"
#include "app/AdapterSuite.h"
#include "app/ProgrammerShell.h"
#include "app/QueuedMessageBus.h"
#include "base/TextFormat.h"
#include "cli/BoardProbe.h"
#include "cli/CliArguments.h"
#include "cli/CliView.h"
#include "cli/DeviceChoice.h"
#include "cli/FaultWatchdog.h"
#include "cli/GangRun.h"
#include "cli/HelpText.h"
#include "cli/ImageFormatChoice.h"
#include "cli/LoaderOptions.h"
#include "cli/ProductionChecks.h"
#include "cli/RunDetails.h"
#include "cli/RunLog.h"
#include "cli/SerialReservation.h"
#include "cli/StepNames.h"
#include "cli/Terminal.h"
#include "image/ImageCrc.h"
#include "jobs/CommandLine.h"
#include "jobs/JobFlags.h"
#include "jobs/SerialPlacement.h"
#include "platform/Clock.h"
#include "platform/DynamicLibrary.h"
#include "platform/FaultGuard.h"
#include "platform/PortIo.h"
#include "platform/PortList.h"
#include "platform/ProgramDirectory.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "platform/ThreadPriority.h"
#include "serialno/SerialBytes.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pyrola::cli {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRejected = 2;
// The program's own options, shown after the command-line usage.
constexpr const char* kProgramOptionsUsage =
    "Program options (read before the command line, never passed on):\n"
    "    -h, --help              Show this text\n"
    "    --version               Show the program version\n"
    "    --serial FILE.sprj      After the flow steps, write the serial number of FILE.sprj;\n"
    "                            the number after it is stored in the file before the chip\n"
    "                            is written, so no number is ever given to two boards\n"
    "    --serial-read FILE.sprj Read back the serial number FILE.sprj places and print it\n"
    "    --log FILE.csv          Append one CSV line about this run to FILE.csv (and a\n"
    "                            RESERVED line when a serial number is taken)\n"
    "    --station NAME          The station's name in the log (default: adapter and port)\n"
    "    --store-settings        Keep -fet/-raw/-bsl, -c and the loader options as the stored\n"
    "                            settings (otherwise they hold for this run only)\n"
    "    --save FILE             After +r or --dump, save the image (format by extension)\n"
    "    --dump ram|id|bsl       Dump RAM, the device ID or the bootstrap loader area\n"
    "    --format NAME           Read the image file as txt, hex, bin, elf or srec (else by\n"
    "                            its extension, else by its first bytes; never binary unasked)\n"
    "    --device NAME           Device-table name (MSP430F149) for a chip the loader cannot\n"
    "                            identify; a chip that identifies as another fails Init\n"
    "    --quiet                 Print only failures and the closing Result line\n"
    "    --verbose               Also print what was tried: settings, ports, library, loader\n"
    "    --list-ports            List the serial and parallel ports, one per line\n"
    "    --gang PORTS            Run the job on every port of the list at once (1-8 or\n"
    "                            1,3,5-6), each board in a process of its own; its lines\n"
    "                            are prefixed by its station, a summary table ends the run\n"
    "    --loop                  Board after board on the port (or each --gang port): wait\n"
    "                            until a board answers, program it, wait until it is taken\n"
    "                            away; until Ctrl+C or --count boards\n"
    "    --count N               With --loop: stop after N boards in all\n"
    "    --counts-every N        With --loop: print the counts (passed, failed, yield, boards\n"
    "                            per hour) every N boards (default 10) and at the end\n"
    "    --probe                 Exit 0 when a board answers on the port, 1 when none does,\n"
    "                            3 when the port cannot be reached; nothing is changed\n"
    "  A value that starts with - or + must be written --option=VALUE.";
// Steps the engine knows; a bit of these left after the list means it did not finish.
constexpr uint32_t kStepBits = kJobProgram | kJobErase | kJobRead | kJobBlankCheck | kJobVerify |
                               kJobDebugOneWire | kJobWriteSerial | kJobReadSerial | kJobReset | kJobDumpRam |
                               kJobDumpLoader | kJobDumpDeviceId | kJobAttachOnly;

void PrintUsage() {
    std::string usage = kCommandLineUsage;
    std::string text;
    for (char c : usage) {
        if (c != '\r')
            text += c;
    }
    std::printf("%s\n%s\n%s\n%s\n", text.c_str(), kProgramOptionsUsage, kLoaderOptionsUsage,
                ReferenceHelpText().c_str());
}

std::string LocalDateTime() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now); // main thread only
    char text[32] = "";
    if (local)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
    return text;
}

std::string DeviceNameOf(const DeviceRecord& device) {
    char name[sizeof device.name + 1] = {};
    std::memcpy(name, device.name, sizeof device.name);
    return name;
}

// The closing line of every run that got as far as the shell: the result for scripts and
// the time each step took.
std::string ResultLine(int status, const StepTimes& times, std::chrono::steady_clock::time_point started) {
    const char* result = status == kExitDone ? "PASS" : status == kExitFailed ? "FAIL" : "NOTHING DONE";
    const auto total =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count();
    const std::string steps = times.Text();
    return Format("Result: %s in %lld ms%s", result, static_cast<long long>(total),
                  steps.empty() ? "" : (" (" + steps + ")").c_str());
}

// How a job ended; reason says why it failed when no failure text was shown.
struct JobEnd {
    int status = kExitDone;
    std::string reason;
};

// Waits for the job of a carried-out command line and tells how it ended.
JobEnd WaitForJob(ProgrammerShell& shell, QueuedMessageBus& bus, const CommandLineOutcome& outcome) {
    bool cancelled = false;
    while (shell.IsJobRunning()) {
        bus.Pump(20);
        if (InterruptCount() > 0 && !cancelled) {
            cancelled = true;
            shell.StartJob(kJobCancel);
        }
    }
    while (bus.Pump(0) > 0) {
    }
    const bool unfinished = (shell.Engine().jobFlags.load() & kStepBits) != 0;
    // Image bytes left out because the device has no memory there: the chip does not
    // hold the image, whatever the steps said.
    const bool incomplete = shell.Engine().bytesOutsideDevice.load() > 0;
    if (incomplete) {
        shell.SetFailureMark(true);
        shell.Message(
            "Image bytes outside the device memory were left out: the chip does not hold the image");
    }
    JobEnd end;
    if (cancelled)
        end.reason = "Cancelled";
    else if (incomplete)
        end.reason = "Image bytes outside the device memory were left out";
    else if (unfinished)
        end.reason = "The job ended before every step ran";
    if (cancelled || unfinished || incomplete || shell.StatusIsError() || outcome.rejected)
        end.status = kExitFailed;
    return end;
}

// One run of the program once its arguments are read: the checks of the options' files,
// the job, what follows it (printing a serial, saving the image) and the log line.
class HeadlessRun {
public:
    HeadlessRun(ProgrammerShell& shell, QueuedMessageBus& bus, CliView& view, const CliArguments& arguments,
                const LoaderOptions& loader)
        : shell_(shell), bus_(bus), view_(view), arguments_(arguments), loader_(loader) {
        record_.dateTime = LocalDateTime();
    }

    int Execute() {
        const int status = Carry();
        return Finish(status);
    }

private:
    void Complain(const std::string& message) {
        shell_.SetFailureMark(true);
        shell_.Message(message);
    }

    int Reject(const std::string& message) {
        Complain(message);
        return kExitRejected;
    }

    int Carry() {
        const CommandLineRequest request = shell_.ReadCommandTokens(arguments_.tokens);
        request_ = request;
        if (arguments_.verbose) {
            for (const std::string& line : RunDetails(shell_.GetSettings(), request))
                shell_.LogLine(line);
        }
        // A script must never have a job run on settings it did not ask for.
        if (request.aborted || request.errorFlag)
            return Reject("Command line rejected: nothing was done");
        const uint32_t optionFlags = arguments_.ActionFlags();
        if (request.fileToken && request.flowFlags == 0 && optionFlags == 0)
            return Reject(
                "Error. No action given for the file (+e, +b, +p, +v, +r, --serial, --serial-read or "
                "--dump): nothing was done");
        if (arguments_.savePath && !(request.flowFlags & kJobRead) && arguments_.dumpFlag == 0)
            return Reject("Error. --save needs +r or --dump: nothing was done");
        const ImageFormatChoice format = ChooseImageFormat(request.fileToken, arguments_.formatName);
        if (!format.error.empty())
            return Reject(format.error + ": nothing was done");
        shell_.SetLoadFormat(format.format);
        // The command line's adapter and port (and the loader options) hold for this run;
        // storing them is asked for explicitly.
        if (request.anyToken && request.flowFlags == 0 && optionFlags == 0 && !request.fileToken &&
            !arguments_.storeSettings)
            return Reject("Error. Nothing to do: -fet, -raw, -bsl, -c and -pi hold for one run; add "
                          "--store-settings to keep the adapter and port: nothing was done");
        SerialBlock& block = shell_.Engine().serialBlock;
        if (arguments_.serialPath || arguments_.serialReadPath) {
            serial_ = std::make_shared<SerialReservation>(arguments_.serialPath ? *arguments_.serialPath
                                                                                : *arguments_.serialReadPath);
            const std::string problem = serial_->Load(block, arguments_.serialPath.has_value());
            if (!problem.empty())
                return Reject(problem + ": nothing was done");
        }
        if (arguments_.serialPath) {
            // A worker given up on (Ctrl+C) may still be in the write step when this run
            // object is gone: the hook keeps the reservation (and the log record) alive itself.
            if (arguments_.logPath) {
                serial_->recordReservation = [shared = shared_, path = *arguments_.logPath](
                                                 const std::string& serial, const DeviceRecord& device) {
                    RunRecord record;
                    {
                        std::lock_guard<std::mutex> lock(shared->mutex);
                        record = shared->reservation;
                    }
                    record.dateTime = LocalDateTime();
                    record.device = DeviceNameOf(device);
                    record.serial = serial;
                    record.result = kRunReserved;
                    return AppendRunLog(path, RunLogLine(record));
                };
            }
            // A number that grew a digit since the check before the job must still stay off
            // the image.
            if (request.fileToken)
                serial_->acceptSerial = [image = &shell_.Image()](const SerialBlock& serial) {
                    return SerialImageOverlapText(serial, FindSerialImageOverlap(*image, serial));
                };
            shell_.Engine().prepareSerialWrite = [reservation = serial_](const DeviceRecord& device,
                                                                         SerialBlock& target) {
                return reservation->Reserve(device, target);
            };
        }
        const bool imageSteps = (request.flowFlags & (kJobProgram | kJobVerify)) != 0;
        shell_.Engine().checkSerialAgainstImage = arguments_.serialPath && imageSteps;
        shell_.Engine().checkAttachedDevice =
            [shared = shared_, imageSteps,
             serial = arguments_.serialPath ? std::optional<SerialBlock>(block) : std::nullopt,
             image = &shell_.Image()](const DeviceRecord& device) {
                std::string problem = imageSteps ? ImageOutsideDevice(*image, device) : std::string();
                if (problem.empty() && serial)
                    problem = SerialOutsideDevice(*serial, device);
                if (!problem.empty()) {
                    std::lock_guard<std::mutex> lock(shared->mutex);
                    shared->refusal = problem;
                }
                return problem;
            };
        // Ends the process should a fault inside the adapter leave the program stuck.
        FaultWatchdog watchdog;
        CarryOutOptions options;
        options.extraFlags = optionFlags;
        options.loadMustSucceed = true;
        // A file without its end record may be cut short: never programmed unattended.
        options.refuseUnterminatedFile = true;
        options.checkBeforeJob = [this] { return CheckBeforeJob(); };
        requested_ = request.flowFlags | optionFlags;
        const CommandLineOutcome outcome = shell_.CarryOutCommandLine(request, options);
        carriedOut_ = true;
        jobStarted_ = outcome.jobStarted;
        if (!outcome.jobStarted) {
            requested_ = 0;
            return outcome.rejected ? kExitRejected : kExitDone;
        }
        const JobEnd end = WaitForJob(shell_, bus_, outcome);
        reason_ = end.reason;
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            // Refused once the chip was known, before anything on it changed.
            if (!shared_->refusal.empty())
                return kExitRejected;
        }
        if (end.status != kExitDone)
            return end.status;
        return AfterJob();
    }

    // Once the image is loaded, before the job: what can be known without the chip.
    std::string CheckBeforeJob() {
        station_ = arguments_.station.value_or(AdapterLabel(shell_.GetSettings()));
        if (arguments_.logPath) {
            const std::string why = PrepareRunLog(*arguments_.logPath, station_, &attempt_);
            if (!why.empty()) {
                logUsable_ = false;
                return Format("Error. Can't write the log file \"%s\": nothing was done (%s)",
                              arguments_.logPath->c_str(), why.c_str());
            }
        }
        if (arguments_.serialPath && request_.fileToken) {
            const std::string overlap = SerialOverlapsImage(shell_.Image(), shell_.Engine().serialBlock);
            if (!overlap.empty())
                return overlap;
        }
        std::lock_guard<std::mutex> lock(shared_->mutex);
        FillRecord(shared_->reservation);
        return {};
    }

    // The fields every line of this run shares.
    void FillRecord(RunRecord& record) const {
        record.dateTime = record_.dateTime;
        record.station = station_;
        record.attempt = attempt_;
        record.adapter = AdapterLabel(shell_.GetSettings());
        if (request_.fileToken)
            record.imageFile = *request_.fileToken;
        const MemoryImage& image = shell_.Image();
        if (request_.fileToken && image.Low() <= image.High())
            record.imageCrc = Format("0x%08X", ImageCrc32(image));
    }

    int AfterJob() {
        const SerialBlock& block = shell_.Engine().serialBlock;
        if (serial_) {
            const std::string text = DecodeSerial(block, serial_->Config().type);
            if (arguments_.serialReadPath && SerialAreaErased(block)) {
                Complain(
                    Format("Error. No serial number at 0x%X: the place is erased", unsigned(block.address)));
                return kExitFailed;
            }
            if (arguments_.serialReadPath && text == kSerialUnknownText) {
                Complain(Format("Error. No serial number at 0x%X", unsigned(block.address)));
                return kExitFailed;
            }
            shell_.Message(
                Format(arguments_.serialPath ? "Serial number written: %s" : "Serial number read: %s",
                       text.c_str()));
        }
        if (arguments_.savePath) {
            saved_ = true;
            if (!shell_.SaveFile(*arguments_.savePath))
                return kExitFailed;
        }
        return kExitDone;
    }

    int Finish(int status) {
        // The stored settings change only when asked; a rejected command line changes nothing.
        if (carriedOut_) {
            if (arguments_.storeSettings)
                StoreLoaderOptions(loader_, shell_.GetSettings());
            shell_.Exit(arguments_.storeSettings);
        }
        if (!arguments_.logPath || !logUsable_)
            return status;
        if (station_.empty()) {
            // Refused before the log was prepared: it is checked (and numbered) now.
            station_ = arguments_.station.value_or(AdapterLabel(shell_.GetSettings()));
            const std::string why = PrepareRunLog(*arguments_.logPath, station_, &attempt_);
            if (!why.empty()) {
                Complain(Format("Error. Can't write the log file \"%s\" (%s)", arguments_.logPath->c_str(),
                                why.c_str()));
                return status == kExitDone ? kExitFailed : status;
            }
        }
        RunRecord& record = record_;
        FillRecord(record);
        const uint32_t device = shell_.Engine().deviceIndex.load();
        if (jobStarted_ && device != 0 && device < kDeviceCount)
            record.device = DeviceName(device);
        if (!request_.fileToken && saved_)
            record.imageFile = *arguments_.savePath;
        const MemoryImage& image = shell_.Image();
        if (jobStarted_ && image.Low() <= image.High())
            record.imageCrc = Format("0x%08X", ImageCrc32(image));
        if (serial_ && arguments_.serialPath)
            record.serial = serial_->Reserved().value_or("");
        record.steps = StepsText(requested_ & ~shell_.Engine().jobFlags.load(), saved_);
        record.result = status == kExitDone ? kRunPassed : kRunFailed;
        if (status != kExitDone)
            record.failure = !view_.FirstErrorText().empty() ? view_.FirstErrorText() : reason_;
        if (jobStarted_)
            record.stepTimes = StepTimesText(shell_.Engine().StepTimes());
        record.durationMs = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_)
                .count());
        const std::string why = AppendRunLog(*arguments_.logPath, RunLogLine(record));
        if (!why.empty()) {
            Complain(Format("Error. Can't append to the log file \"%s\" (%s)", arguments_.logPath->c_str(),
                            why.c_str()));
            return status == kExitDone ? kExitFailed : status;
        }
        return status;
    }

    ProgrammerShell& shell_;
    QueuedMessageBus& bus_;
    CliView& view_;
    const CliArguments& arguments_;
    const LoaderOptions& loader_;
    // What the worker's hooks share with the run; they may outlive it (a worker given up
    // on after Ctrl+C).
    struct Shared {
        std::mutex mutex;
        std::string refusal;   // why the attached chip refused the run
        RunRecord reservation; // the RESERVED line's fields known before the job
    };
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::string station_;
    uint32_t attempt_ = 0;
    bool logUsable_ = true;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    RunRecord record_;
    CommandLineRequest request_;
    std::shared_ptr<SerialReservation> serial_;
    uint32_t requested_ = 0;
    bool carriedOut_ = false;
    bool jobStarted_ = false;
    bool saved_ = false;
    std::string reason_;
};

int Run(const std::vector<std::string>& arguments) {
    const auto started = std::chrono::steady_clock::now();
    const GangOptions gang = TakeGangOptions(arguments);
    if (!gang.error.empty()) {
        std::fprintf(stderr, "pyrola: %s\n", gang.error.c_str());
        return kExitRejected;
    }
    if (gang.probe)
        return RunProbe(gang.rest);
    if (gang.Any())
        return RunGang(gang);
    const LoaderOptions loader = TakeLoaderOptions(arguments);
    if (!loader.error.empty()) {
        std::fprintf(stderr, "pyrola: %s\n", loader.error.c_str());
        return kExitRejected;
    }
    const CliArguments parsed = ParseCliArguments(loader.rest);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "pyrola: %s\n", parsed.error.c_str());
        return kExitRejected;
    }
    if (parsed.help) {
        PrintUsage();
        return kExitDone;
    }
    if (parsed.version) {
        std::printf("%s\n", VersionText().c_str());
        return kExitDone;
    }
    if (parsed.listPorts) {
        for (const std::string& line : PortListLines())
            std::printf("%s\n", line.c_str());
        return kExitDone;
    }
    DeviceChoice device;
    if (parsed.deviceName) {
        device = ChooseDevice(*parsed.deviceName);
        if (!device.error.empty()) {
            std::fprintf(stderr, "pyrola: %s\n", device.error.c_str());
            return kExitRejected;
        }
    }

    QueuedMessageBus bus;
    std::unique_ptr<SettingsStore> store = CreateSystemSettingsStore();
    AdapterSuite adapters(SystemLibraryLoader(), SystemPortIo(), SystemSerialPorts(), SystemClock(),
                          SystemFaultGuard());
    // The vendor's loader patch for old chips, when shipped beside the program.
    adapters.Bsl().patchFilePath = BesideProgram(kBslPatchFileName);
    CliView view(stdout, stderr, StandardErrorIsTerminal());
    view.SetQuiet(parsed.quiet);
    adapters.Fet().verboseNotes = adapters.Raw().verboseNotes = adapters.Bsl().verboseNotes = parsed.verbose;
    int status = kExitDone;
    {
        ProgrammerShell shell(view, *store, bus, adapters.Set());
        view.Attach(&shell);
        shell.Engine().applyThreadPriority = &SetCurrentThreadPriority;
        bus.SetReceiver([&shell](uint32_t code, uintptr_t value) { shell.HandleBusMessage(code, value); });
        shell.Initialize();
        if (device.index != 0) {
            // Proposed where the chip cannot be identified, insisted on where it can.
            shell.Engine().deviceIndex = device.index;
            shell.Engine().requiredDevice = device.index;
        }
        // The loader-line options hold for this run; the stored settings stay as they are.
        shell.SetBslLineAdjustment([loader](BslLineOptions& line) { AdjustBslLine(loader, line); });
        shell.ApplySettings();
        InstallInterruptHandler();

        HeadlessRun run(shell, bus, view, parsed, loader);
        status = run.Execute();
        view.Finish();
        view.ShowResult(ResultLine(status, view.Times(), started));
        // No receiver from here on: a worker still sending must not wait for one.
        bus.Shutdown();
    }
    return status;
}

} // namespace
} // namespace pyrola::cli

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return pyrola::cli::Run(arguments);
}
