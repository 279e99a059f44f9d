// pyrola [program options] [-pi] [-fet | -raw | -bsl] [-c{port}] [+ebpvr] {file}
// The main window's command line without the window: each argument is one command-line
// token, a job that starts is waited for; the adapter and port it names hold for this run
// (the settings are saved as on Exit only with --store-settings). The program's own "--"
// options (serial numbers, the production log, saving a read image, the dumps) are read
// first and never reach the command-line processing.
// Exit status: 0 all done, 1 a step failed, left image bytes out or was cancelled, 2 the
// command line, an option's file or the image file was rejected (or named no action), or
// the identified chip cannot hold the image or the serial: nothing on the chip changed.

#include "adapters/bsl/BslAdapter.h"
#include "adapters/bsl/BslPatch.h"
#include "adapters/fet/FetAdapter.h"
#include "adapters/raw/RawJtagAdapter.h"
#include "app/AdapterSuite.h"
#include "app/ProgrammerShell.h"
#include "app/QueuedMessageBus.h"
#include "cli/BoardProbe.h"
#include "cli/CliArguments.h"
#include "cli/CliView.h"
#include "cli/DeviceChoice.h"
#include "cli/FetMaintenance.h"
#include "cli/GangRun.h"
#include "cli/HeadlessRun.h"
#include "cli/HelpText.h"
#include "cli/LoaderOptions.h"
#include "cli/PortName.h"
#include "cli/Terminal.h"
#include "jobs/CommandLine.h"
#include "platform/Clock.h"
#include "platform/DynamicLibrary.h"
#include "platform/FaultGuard.h"
#include "platform/PortIo.h"
#include "platform/PortList.h"
#include "platform/ProgramDirectory.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "platform/ThreadPriority.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace pyrola::cli {
namespace {

// The program's own options, shown after the command-line usage.
constexpr const char* kProgramOptionsUsage =
    "Program options (read before the command line, never passed on):\n"
    "    -h, --help              Show this text\n"
    "    --version               Show the program version\n"
    "    --serial FILE.sprj      After the flow steps, write the serial number of FILE.sprj;\n"
    "                            the number after it is stored in the file before the chip\n"
    "                            is written, so no number is ever given to two boards\n"
    "    --serial-on-board keep|new\n"
    "                            keep: a board holding a number FILE.sprj gave out keeps it\n"
    "                            (the default of --loop); new: it gets a new number\n"
    "    --serial-read FILE.sprj Read back the serial number FILE.sprj places and print it\n"
    "    --log FILE.csv          Append one CSV line about this run to FILE.csv (and a\n"
    "                            RESERVED line when a serial number is taken)\n"
    "    --station NAME          The station's name in the log (default: adapter and port);\n"
    "                            with --gang or --loop, put before each station's name\n"
    "    --store-settings        Keep -fet/-raw/-bsl, -c and the loader options as the stored\n"
    "                            settings (otherwise they hold for this run only)\n"
    "    --save FILE             After +r or --dump, save the image (format by extension)\n"
    "    --dump ram|id|bsl       Dump RAM, the device ID or the bootstrap loader area\n"
    "    --format NAME           Read the image file as txt, hex, bin, elf or srec (else by\n"
    "                            its extension, else by its first bytes; never binary unasked)\n"
    "    --base ADDR             A binary file's first byte goes to ADDR (0x1100), as\n"
    "                            objcopy -O binary writes it; default 0\n"
    "    --strict-image          Refuse a file that gives an address twice (overlapping\n"
    "                            records); without it the later value is kept, with a warning\n"
    "    --device NAME           Device-table name (MSP430F149) for a chip the loader cannot\n"
    "                            identify; a chip that identifies as another fails Init\n"
    "    --quiet                 Print only failures and the closing Result line\n"
    "    --verbose               Also print what was tried: settings, ports, library, loader\n"
    "    --port NAME             The port by its name: COM3, LPT1 or a device path such as\n"
    "                            /dev/ttyUSB0 (instead of -c{port})\n"
    "    --list-ports            List the serial and parallel ports and the FETs the FET\n"
    "                            library enumerates, one per line\n"
    "    --fet-update -fet -cN   Update the firmware of FET N, as the FET library asks\n"
    "                            (the FET must stay plugged in; nothing else is done)\n"
    "    --gang PORTS            Run the job on every port of the list at once (1-8,\n"
    "                            1,3,5-6 or names: COM1,COM3), each board in a process of\n"
    "                            its own; its lines are prefixed by its station, a summary\n"
    "                            table ends the run\n"
    "    --loop                  Board after board on the port (or each --gang port): wait\n"
    "                            until a board answers, program it, wait until it is taken\n"
    "                            away; until Ctrl+C or --count boards\n"
    "    --count N               With --loop: stop after N boards in all\n"
    "    --counts-every N        With --loop: print the counts (passed, failed, yield, boards\n"
    "                            per hour) every N boards (default 10) and at the end\n"
    "    --probe                 Exit 0 when a board answers on the port, 1 when none does,\n"
    "                            3 when the port cannot be reached; nothing is changed\n"
    "  A value that starts with - or + must be written --option=VALUE.";
// The window's usage text as this program is called (pyrola, pyrola-cli.exe on Windows),
// the read row aligned with the others.
std::string ProgramUsage() {
    std::string text;
    for (char c : std::string(kCommandLineUsage)) {
        if (c != '\r')
            text += c;
    }
    const auto replace = [&text](const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
    };
#ifdef _WIN32
    const std::string name = "pyrola-cli";
    replace("pyrola.exe ", name + ".exe ");
#else
    const std::string name = "pyrola";
    replace("pyrola.exe ", name + " ");
#endif
    replace("    PYROLA [", "    " + name + " [");
    replace("    r         Read", "    r        Read");
    return text;
}

void PrintUsage() {
    std::printf("%s\n%s\n%s\n%s\n", ProgramUsage().c_str(), kProgramOptionsUsage, kLoaderOptionsUsage,
                ReferenceHelpText().c_str());
}

int Run(const std::vector<std::string>& given) {
    const auto started = std::chrono::steady_clock::now();
    // A port by its name becomes -c{n} before anything else reads the arguments.
    const PortArguments named = TakePortOption(given);
    if (!named.error.empty()) {
        std::fprintf(stderr, "pyrola: %s\n", named.error.c_str());
        return kExitRejected;
    }
    const std::vector<std::string>& arguments = named.rest;
    if (IsFetUpdate(arguments)) {
        FetAdapter fet(SystemLibraryLoader(), SystemFaultGuard());
        return RunFetUpdate(fet, arguments);
    }
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
        FetAdapter fet(SystemLibraryLoader(), SystemFaultGuard());
        for (const std::string& line : FetPortLines(fet))
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
        shell.Engine().SetPriorityHook(&SetCurrentThreadPriority);
        bus.SetReceiver([&shell](uint32_t code, uintptr_t value) { shell.HandleBusMessage(code, value); });
        shell.Initialize();
        for (const std::string& note : named.notes)
            shell.LogLine(note);
        if (!device.note.empty())
            shell.LogLine(device.note);
        if (device.index != 0) {
            // Proposed where the chip cannot be identified, insisted on where it can.
            shell.Engine().SetDeviceIndex(device.index);
            JobRequest request;
            request.requiredDevice = device.index;
            shell.Engine().SetRequest(request);
        }
        // The loader-line options hold for this run; the stored settings stay as they are.
        shell.SetBslLineAdjustment([loader](BslLineOptions& line) { AdjustBslLine(loader, line); });
        shell.ApplySettings();
        InstallInterruptHandler();

        HeadlessRun run(shell, bus, view, parsed, loader);
        status = run.Execute();
        view.Finish();
        view.ShowResult(ResultLine(status, shell.Engine().StepTimes(), started));
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
