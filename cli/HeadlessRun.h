#pragma once
// One run of the headless program once its arguments are read: the checks of the options'
// files, the job, what follows it (printing a serial, saving the image), the exit status
// and the production log's line. The exit status says what a script may rely on:
// kExitDone every requested step completed; kExitFailed a step failed, the job was
// cancelled or left image bytes out, a serial read found an erased place, or the log line
// could not be written; kExitRejected nothing on the chip changed (the command line, an
// option's file or the image was refused, or the identified chip cannot hold the image or
// the serial).

#include "cli/CliArguments.h"
#include "cli/LoaderOptions.h"
#include "cli/RunLog.h"
#include "jobs/CommandLine.h"
#include "jobs/StepRunner.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pyrola {
class ProgrammerShell;
class QueuedMessageBus;
} // namespace pyrola

namespace pyrola::cli {

class CliView;
class SerialReservation;

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitRejected = 2;

// The closing line of every run that got as far as the shell: the result for scripts and
// the time each step took, "Result: PASS in 2210 ms (Init 130 ms, ...)".
std::string ResultLine(int status, const std::vector<StepTime>& times,
                       std::chrono::steady_clock::time_point started);

class HeadlessRun {
public:
    // The shell is initialised and its settings applied; bus is the one its worker reports
    // through (pumped here while the job runs); view is the shell's view.
    HeadlessRun(ProgrammerShell& shell, QueuedMessageBus& bus, CliView& view, const CliArguments& arguments,
                const LoaderOptions& loader);

    // Carries the run out, closes the shell (storing the settings only when asked) and
    // writes the log line; the exit status.
    int Execute();

private:
    void Complain(const std::string& message);
    int Reject(const std::string& message);
    int Carry();
    // Once the image is loaded, before the job: what can be known without the chip.
    std::string CheckBeforeJob();
    // The fields every line of this run shares.
    void FillRecord(RunRecord& record) const;
    int AfterJob();
    int Finish(int status);

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

} // namespace pyrola::cli
