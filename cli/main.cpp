// pyrola [-pi] [-fet | -raw | -bsl] [-c{port}] [+ebpvr] {file}
// The main window's command line without the window: the arguments are processed as one
// command-line text, a job that starts is waited for, the settings are saved as on Exit.
// Exit status: 0 all done, 1 a step failed or the job was cancelled, 2 the command line or
// the file was rejected and no job ran.

#include "adapters/bsl/BslAdapter.h"
#include "adapters/bsl/BslPatch.h"
#include "app/AdapterSuite.h"
#include "app/ProgrammerShell.h"
#include "app/QueuedMessageBus.h"
#include "cli/CliView.h"
#include "cli/Terminal.h"
#include "jobs/CommandLine.h"
#include "jobs/JobFlags.h"
#include "platform/Clock.h"
#include "platform/DynamicLibrary.h"
#include "platform/PortIo.h"
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
    std::printf("%s\n", text.c_str());
}

bool IsHelp(const std::string& argument) {
    return argument == "-h" || argument == "--help" || argument == "-?";
}

int Run(const std::vector<std::string>& arguments) {
    if (arguments.empty() || (arguments.size() == 1 && IsHelp(arguments[0]))) {
        PrintUsage();
        return kExitDone;
    }

    QueuedMessageBus bus;
    std::unique_ptr<SettingsStore> store = CreateSystemSettingsStore();
    AdapterSuite adapters(SystemLibraryLoader(), SystemPortIo(), SystemSerialPorts(), SystemClock());
    // The vendor's loader patch for old chips, when shipped beside the program.
    const std::string programDirectory = ProgramDirectory();
    if (!programDirectory.empty())
        adapters.Bsl().patchFilePath = programDirectory + "/" + kBslPatchFileName;
    CliView view(stdout, stderr, StandardErrorIsTerminal());
    int status = kExitDone;
    {
        ProgrammerShell shell(view, *store, bus, adapters.Set());
        view.Attach(&shell);
        shell.Engine().applyThreadPriority = &SetCurrentThreadPriority;
        bus.SetReceiver([&shell](uint32_t code, uintptr_t value) { shell.HandleBusMessage(code, value); });
        shell.Initialize();
        InstallInterruptHandler();

        const CommandLineOutcome outcome = shell.ProcessCommandLine(JoinArguments(arguments));
        if (outcome.jobStarted) {
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
            status = (cancelled || unfinished || shell.StatusIsError() || outcome.rejected) ? kExitFailed
                                                                                            : kExitDone;
        } else {
            status = outcome.rejected ? kExitRejected : kExitDone;
        }
        shell.Exit();
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
