// The headless run's rules: see HeadlessRun.h.

#include "cli/HeadlessRun.h"

#include "adapters/DeviceTable.h"
#include "app/ProgrammerShell.h"
#include "app/QueuedMessageBus.h"
#include "base/TextFormat.h"
#include "cli/CliView.h"
#include "cli/FaultWatchdog.h"
#include "cli/ImageFormatChoice.h"
#include "cli/ProductionChecks.h"
#include "cli/RunDetails.h"
#include "cli/SaveTarget.h"
#include "cli/SerialReservation.h"
#include "cli/StepNames.h"
#include "cli/Terminal.h"
#include "image/ImageCrc.h"
#include "image/ImageReader.h"
#include "jobs/JobFlags.h"
#include "jobs/JobSteps.h"
#include "jobs/SerialPlacement.h"
#include "serialno/SerialBytes.h"

#include <cstring>
#include <ctime>
#include <optional>

namespace pyrola::cli {
namespace {

std::string LocalDateTime() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now); // main thread only
    char text[32] = "";
    if (local)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
    return text;
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
    // A cancel gives the worker up after a short wait, but a worker inside a step finishes
    // that step (a serial number taken is still written): the result and the log line wait
    // for it, so they tell what the chip really got.
    while (shell.Engine().AnyWorkerAlive())
        bus.Pump(20);
    while (bus.Pump(0) > 0) {
    }
    const bool unfinished = (shell.Engine().RemainingFlags() & kJobStepBits) != 0;
    // Image bytes left out because the device has no memory there: the chip does not
    // hold the image, whatever the steps said.
    const bool incomplete = shell.Engine().BytesOutsideDevice() > 0;
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

} // namespace

// The closing line of every run that got as far as the shell: the result for scripts and
// the time each step took.
std::string ResultLine(int status, const std::vector<StepTime>& times,
                       std::chrono::steady_clock::time_point started) {
    const char* result = status == kExitDone ? "PASS" : status == kExitFailed ? "FAIL" : "NOTHING DONE";
    const auto total =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count();
    const std::string steps = ResultStepsText(times);
    return Format("Result: %s in %lld ms%s", result, static_cast<long long>(total),
                  steps.empty() ? "" : (" (" + steps + ")").c_str());
}

HeadlessRun::HeadlessRun(ProgrammerShell& shell, QueuedMessageBus& bus, CliView& view,
                         const CliArguments& arguments, const LoaderOptions& loader)
    : shell_(shell), bus_(bus), view_(view), arguments_(arguments), loader_(loader) {
    record_.dateTime = LocalDateTime();
    shell_.WriteRecentListOnExitOnly();
}

int HeadlessRun::Execute() {
    const int status = Carry();
    return Finish(status);
}

void HeadlessRun::Complain(const std::string& message) {
    shell_.SetFailureMark(true);
    shell_.Message(message);
}

int HeadlessRun::Reject(const std::string& message) {
    Complain(message);
    return kExitRejected;
}

int HeadlessRun::Carry() {
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
        return Reject("Error. No action given for the file (+e, +b, +p, +v, +r, --serial, --serial-read or "
                      "--dump): nothing was done");
    if (arguments_.savePath && !(request.flowFlags & kJobRead) && arguments_.dumpFlag == 0)
        return Reject("Error. --save needs +r or --dump: nothing was done");
    // The window shows what was read; here it would be read (minutes over the loader) and lost.
    if ((request.flowFlags & kJobRead) && !arguments_.savePath)
        return Reject(
            "Error. +r reads the chip into the image, which this program keeps only with --save FILE: "
            "nothing was done");
    // A save target that cannot be written is found now, not after the whole chip was read.
    if (arguments_.savePath) {
        const std::string why = SaveTargetProblem(*arguments_.savePath);
        if (!why.empty()) {
            Complain(Format("Error. Can't write the save file \"%s\": nothing was done",
                            arguments_.savePath->c_str()));
            return Reject(why);
        }
    }
    const ImageFormatChoice format = ChooseImageFormat(request.fileToken, arguments_.formatName);
    if (!format.error.empty())
        return Reject(format.error + ": nothing was done");
    shell_.SetLoadFormat(format.format);
    if (arguments_.binaryBase) {
        // A base places raw bytes; any other format carries its own addresses.
        if (!request.fileToken || !format.format ||
            EffectiveFileFormat(*request.fileToken, *format.format) != FileFormat::Binary)
            return Reject(
                "Error. --base is for a binary file (.bin, .tsk, .dat or --format bin): nothing was done");
        shell_.SetBinaryBase(*arguments_.binaryBase);
    }
    // The command line's adapter and port (and the loader options) hold for this run;
    // storing them is asked for explicitly.
    if (request.anyToken && request.flowFlags == 0 && optionFlags == 0 && !request.fileToken &&
        !arguments_.storeSettings)
        return Reject("Error. Nothing to do: -fet, -raw, -bsl, -c and -pi hold for one run; add "
                      "--store-settings to keep the adapter and port: nothing was done");
    SerialBlock& block = shell_.Engine().Serial();
    if (arguments_.serialPath || arguments_.serialReadPath) {
        serial_ = std::make_shared<SerialReservation>(arguments_.serialPath ? *arguments_.serialPath
                                                                            : *arguments_.serialReadPath);
        const std::string problem = serial_->Load(block, arguments_.serialPath.has_value());
        if (!problem.empty())
            return Reject(problem + ": nothing was done");
    }
    // The device the command line named stays required.
    JobRequest hooks;
    hooks.requiredDevice = shell_.Engine().Request().requiredDevice;
    if (arguments_.serialPath && arguments_.serialOnBoard == std::string("keep")) {
        // What the board holds where its serial goes, read before anything can erase it.
        serial_->keepOnBoard = true;
        hooks.inspectAttached = [reservation = serial_, address = block.address,
                                 size = static_cast<uint32_t>(block.bytes.size())](const DeviceRecord&,
                                                                                   const auto& read) {
            std::vector<uint8_t> bytes(size);
            if (size != 0 && read(address, bytes.data(), size))
                reservation->onBoard = std::move(bytes);
        };
    }
    hooks.mismatchesListed = arguments_.verbose ? 0 : kMismatchesListed;
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
                record.device = DeviceRecordName(device);
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
        hooks.prepareSerialWrite = [reservation = serial_](const DeviceRecord& device, SerialBlock& target) {
            return reservation->Reserve(device, target);
        };
    }
    const bool imageSteps = (request.flowFlags & (kJobProgram | kJobVerify)) != 0;
    hooks.checkSerialAgainstImage = arguments_.serialPath && imageSteps;
    hooks.checkAttachedDevice = [shared = shared_, imageSteps,
                                 serial =
                                     arguments_.serialPath ? std::optional<SerialBlock>(block) : std::nullopt,
                                 image = &shell_.Image(),
                                 // Filled by the load, which comes before the job.
                                 parts = &shell_.LoadedParts()](const DeviceRecord& device) {
        std::string problem = imageSteps ? ImageOutsideDevice(*image, device, *parts) : std::string();
        if (problem.empty() && serial)
            problem = SerialOutsideDevice(*serial, device);
        if (!problem.empty()) {
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->refusal = problem;
        }
        return problem;
    };
    shell_.Engine().SetRequest(std::move(hooks));
    // Ends the process should a fault inside the adapter leave the program stuck.
    FaultWatchdog watchdog;
    CarryOutOptions options;
    options.extraFlags = optionFlags;
    options.loadMustSucceed = true;
    // A file without its end record may be cut short: never programmed unattended.
    options.refuseUnterminatedFile = true;
    options.refuseOverlappingFile = arguments_.strictImage;
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

std::string HeadlessRun::CheckBeforeJob() {
    station_ = arguments_.station.value_or(AdapterLabel(shell_.GetSettings()));
    // A run on the stored adapter or port says so: a failure on a port nobody named misleads.
    if (!request_.adapter || !request_.port)
        shell_.Message(
            StoredChoiceText(AdapterLabel(shell_.GetSettings()), !request_.adapter, !request_.port));
    if (arguments_.logPath) {
        const std::string why = PrepareRunLog(*arguments_.logPath, station_, &attempt_);
        if (!why.empty()) {
            logUsable_ = false;
            return Format("Error. Can't write the log file \"%s\": nothing was done (%s)",
                          arguments_.logPath->c_str(), why.c_str());
        }
    }
    if (arguments_.serialPath && request_.fileToken) {
        const std::string overlap = SerialOverlapsImage(shell_.Image(), shell_.Engine().Serial());
        if (!overlap.empty())
            return overlap;
    }
    std::lock_guard<std::mutex> lock(shared_->mutex);
    FillRecord(shared_->reservation);
    return {};
}

void HeadlessRun::FillRecord(RunRecord& record) const {
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

int HeadlessRun::AfterJob() {
    const SerialBlock& block = shell_.Engine().Serial();
    if (serial_) {
        const std::string text = DecodeSerial(block, serial_->Config().type);
        if (arguments_.serialReadPath && SerialAreaErased(block)) {
            Complain(Format("Error. No serial number at 0x%X: the place is erased", unsigned(block.address)));
            return kExitFailed;
        }
        if (arguments_.serialReadPath && text == kSerialUnknownText) {
            Complain(Format("Error. No serial number at 0x%X", unsigned(block.address)));
            return kExitFailed;
        }
        shell_.Message(Format(arguments_.serialPath ? "Serial number written: %s" : "Serial number read: %s",
                              text.c_str()));
    }
    if (arguments_.savePath) {
        saved_ = true;
        if (!shell_.SaveFile(*arguments_.savePath))
            return kExitFailed;
    }
    return kExitDone;
}

int HeadlessRun::Finish(int status) {
    // The stored settings change only when asked; a rejected command line changes nothing.
    if (carriedOut_) {
        if (arguments_.storeSettings)
            StoreLoaderOptions(loader_, shell_.GetSettings());
        shell_.Exit(arguments_.storeSettings);
        if (arguments_.storeSettings)
            shell_.Message(StoredSettingsText(shell_.GetSettings()));
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
    const uint32_t device = shell_.Engine().DeviceIndex();
    if (jobStarted_ && device != 0 && device < kDeviceCount)
        record.device = DeviceName(device);
    if (!request_.fileToken && saved_)
        record.imageFile = *arguments_.savePath;
    const MemoryImage& image = shell_.Image();
    if (jobStarted_ && image.Low() <= image.High())
        record.imageCrc = Format("0x%08X", ImageCrc32(image));
    if (serial_ && arguments_.serialPath)
        record.serial = serial_->Reserved().value_or("");
    record.steps = StepsText(requested_ & ~shell_.Engine().RemainingFlags(), saved_);
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

} // namespace pyrola::cli
