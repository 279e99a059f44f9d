// pyrola [-pi] [-fet | -raw | -bsl] [-c{port}] [+ebpvr] {file}
// The main window's command line without the window: each argument is one command-line
// token, a job that starts is waited for, the settings are saved as on Exit.
// Exit status: 0 all done, 1 a step failed, left image bytes out or was cancelled, 2 the
// command line or the file was rejected (or named no action) and no job ran.

#include "adapters/bsl/BslAdapter.h"
#include "adapters/bsl/BslPatch.h"
#include "app/AdapterSuite.h"
#include "app/ProgrammerShell.h"
#include "app/QueuedMessageBus.h"
#include "cli/CliArguments.h"
#include "cli/CliView.h"
#include "cli/FaultWatchdog.h"
#include "cli/Terminal.h"
#include "jobs/CommandLine.h"
#include "jobs/JobFlags.h"
#include "platform/Clock.h"
#include "platform/DynamicLibrary.h"
#include "platform/FaultGuard.h"
#include "platform/ProgramDirectory.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "platform/ThreadPriority.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace pyrola::cli {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRejected = 2;
// The program's own options, shown after the command-line usage.
constexpr const char* kProgramOptionsUsage = "Program options:\n"
                                             "    -h, --help   Show this text\n"
                                             "    --version    Show the program version";
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
    std::printf("%s\n%s\n", text.c_str(), kProgramOptionsUsage);
}

// Waits for the job of a carried-out command line and tells how it ended.
int WaitForJob(ProgrammerShell& shell, QueuedMessageBus& bus, const CommandLineOutcome& outcome) {
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
    return (cancelled || unfinished || incomplete || shell.StatusIsError() || outcome.rejected) ? kExitFailed
                                                                                                : kExitDone;
}

int Run(const std::vector<std::string>& arguments) {
    const CliArguments parsed = ParseCliArguments(arguments);
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

    QueuedMessageBus bus;
    std::unique_ptr<SettingsStore> store = CreateSystemSettingsStore();
    AdapterSuite adapters(SystemLibraryLoader(), SystemSerialPorts(), SystemClock(), SystemFaultGuard());
    // The vendor's loader patch for old chips, when shipped beside the program.
    adapters.Bsl().patchFilePath = BesideProgram(kBslPatchFileName);
    CliView view(stdout, stderr, StandardErrorIsTerminal());
    int status = kExitDone;
    {
        ProgrammerShell shell(view, *store, bus, adapters.Set());
        view.Attach(&shell);
        shell.Engine().applyThreadPriority = &SetCurrentThreadPriority;
        bus.SetReceiver([&shell](uint32_t code, uintptr_t value) { shell.HandleBusMessage(code, value); });
        shell.Initialize();
        InstallInterruptHandler();

        const CommandLineRequest request = shell.ReadCommandTokens(parsed.tokens);
        if (request.aborted || request.errorFlag) {
            // A script must never have a job run on settings it did not ask for.
            shell.SetFailureMark(true);
            shell.Message("Command line rejected: nothing was done");
            status = kExitRejected;
        } else if (request.fileToken && request.flowFlags == 0) {
            shell.SetFailureMark(true);
            shell.Message("Error. No action given for the file (+e, +b, +p, +v or +r): nothing was done");
            status = kExitRejected;
        } else {
            // Ends the process should a fault inside the adapter leave the program stuck.
            FaultWatchdog watchdog;
            CarryOutOptions options;
            options.loadMustSucceed = true;
            // A file without its end record may be cut short: never programmed unattended.
            options.refuseUnterminatedFile = true;
            const CommandLineOutcome outcome = shell.CarryOutCommandLine(request, options);
            if (outcome.jobStarted)
                status = WaitForJob(shell, bus, outcome);
            else
                status = outcome.rejected ? kExitRejected : kExitDone;
            shell.Exit();
        }
        view.Finish();
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
