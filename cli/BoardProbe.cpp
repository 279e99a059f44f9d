#include "cli/BoardProbe.h"

#include "adapters/DeviceRecord.h"
#include "adapters/DeviceTable.h"
#include "adapters/bsl/BslAdapter.h"
#include "adapters/fet/FetAdapter.h"
#include "adapters/raw/RawError.h"
#include "adapters/raw/RawJtagAdapter.h"
#include "app/AdapterSuite.h"
#include "app/ProgrammerShell.h"
#include "cli/CliArguments.h"
#include "cli/GangOptions.h"
#include "cli/LoaderOptions.h"
#include "jobs/JobEngine.h"
#include "platform/Clock.h"
#include "platform/DynamicLibrary.h"
#include "platform/FaultGuard.h"
#include "platform/PortIo.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "settings/SettingsPersistence.h"

#include <cstdio>
#include <memory>

namespace pyrola::cli {

namespace {
constexpr int kBoardAnswers = 0;
constexpr int kNoBoard = 1;
constexpr int kRejected = 2;
constexpr int kCannotLook = 3;

// The port or the library cannot be reached: the adapter's notes say why.
int CannotLook(TargetAdapter& adapter) {
    for (const std::string& note : adapter.TakeNotes())
        std::fprintf(stderr, "%s\n", note.c_str());
    return kCannotLook;
}
} // namespace

int RunProbe(const std::vector<std::string>& arguments) {
    const LoaderOptions loader = TakeLoaderOptions(arguments);
    const CliArguments parsed = ParseCliArguments(loader.rest);
    const StationTokens station = ReadStationTokens(parsed.tokens);
    std::string error = !loader.error.empty() ? loader.error : parsed.error;
    if (error.empty())
        error = station.portProblem;
    if (error.empty() && (station.adapter == StationAdapter::None || station.port == 0))
        error = "--probe needs the adapter and the port: -fet, -raw or -bsl and -c{port} or --port NAME";
    if (!error.empty()) {
        std::fprintf(stderr, "pyrola: %s\n", error.c_str());
        return kRejected;
    }
    AdapterSuite adapters(SystemLibraryLoader(), SystemPortIo(), SystemSerialPorts(), SystemClock(),
                          SystemFaultGuard());
    if (station.adapter == StationAdapter::Bsl) {
        BslAdapter& bsl = adapters.Bsl();
        bsl.portNumber = station.port;
        // The stored cable settings, adjusted by this command line's, as a run would use them.
        Settings settings;
        if (std::unique_ptr<SettingsStore> store = CreateSystemSettingsStore())
            LoadSettings(settings, *store);
        bsl.lineOptions = BslLineFrom(settings);
        AdjustBslLine(loader, bsl.lineOptions);
        if (bsl.Answers())
            return kBoardAnswers;
        return bsl.GetErrorNumber() == kBslOpenFailed ? CannotLook(bsl) : kNoBoard;
    }
    TargetAdapter& target =
        station.adapter == StationAdapter::Fet ? static_cast<TargetAdapter&>(adapters.Fet()) : adapters.Raw();
    DeviceRecord record;
    FillDeviceRecord(0, &record);
    record.supplyMillivolts = kTargetSupplyMillivolts;
    target.deviceRecord = &record;
    target.portNumber = station.port;
    if (target.Open()) {
        target.Close();
        return kBoardAnswers;
    }
    if (station.adapter == StationAdapter::Fet &&
        target.GetErrorNumber() == FetAdapter::kAdapterErrorNumber) {
        // No such FET, or one whose firmware must be updated first: no board can be
        // looked for there, and a station loop must not take it for an empty socket.
        std::fprintf(stderr, "%s\n", target.GetErrorText(FetAdapter::kAdapterErrorNumber));
        target.TakeNotes();
        return kCannotLook;
    }
    const bool unreachable = station.adapter == StationAdapter::Fet
                                 ? !adapters.Fet().LibraryReady()
                                 : target.GetErrorNumber() == kRawInterfaceFailed;
    return unreachable ? CannotLook(target) : kNoBoard;
}

} // namespace pyrola::cli
