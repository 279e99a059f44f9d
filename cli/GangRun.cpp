#include "cli/GangRun.h"

#include "base/TextFormat.h"
#include "cli/CliArguments.h"
#include "cli/LoaderOptions.h"
#include "cli/StationOutcome.h"
#include "cli/Terminal.h"
#include "platform/ChildProcess.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace pyrola::cli {

namespace {

constexpr int kExitRejected = 2;
constexpr int kProbeCannotLook = 3; // the --probe status of a port that cannot be reached
// Between two looks for a board: gentle on the port and on a board being put in.
constexpr auto kPollInterval = std::chrono::milliseconds(500);

using Clock = std::chrono::steady_clock;

// The command line every station runs, and what a look for a board needs of it.
struct GangPlan {
    std::vector<uint32_t> ports;
    StationAdapter adapter = StationAdapter::None;
    std::vector<std::string> job;   // the arguments of a station's run, without its port
    std::vector<std::string> probe; // the arguments of a look for a board, without its port
    std::string stationPrefix;      // "--station NAME" as "NAME:", before each station's name
    std::string error;
};

GangPlan PlanGang(const GangOptions& gang) {
    GangPlan plan;
    const LoaderOptions loader = TakeLoaderOptions(gang.rest);
    const CliArguments parsed = ParseCliArguments(loader.rest);
    plan.error = !loader.error.empty() ? loader.error : parsed.error;
    if (!plan.error.empty())
        return plan;
    const char* what = gang.gang ? "--gang" : "--loop";
    if (parsed.help || parsed.version || parsed.listPorts || parsed.storeSettings) {
        plan.error =
            Format("%s runs a job on its ports; it does not go with --help, --version, --list-ports or "
                   "--store-settings",
                   what);
        return plan;
    }
    if (parsed.savePath) {
        plan.error =
            Format("%s programs many boards; --save would write each one's image into the same file", what);
        return plan;
    }
    // Two drivers on one log tell their stations apart by a name in front of each.
    if (parsed.station)
        plan.stationPrefix = *parsed.station + ":";
    const StationTokens station = ReadStationTokens(parsed.tokens);
    plan.adapter = station.adapter;
    if (station.adapter == StationAdapter::None) {
        plan.error = Format("%s needs the adapter on the command line: -fet, -raw or -bsl", what);
        return plan;
    }
    if (gang.gang && !station.portToken.empty()) {
        plan.error = "--gang gives each station its port; leave out " + station.portToken;
        return plan;
    }
    if (!gang.gang && !station.portProblem.empty()) {
        plan.error = station.portProblem;
        return plan;
    }
    if (!gang.gang && station.port == 0) {
        plan.error = "--loop needs the port on the command line: -c{port} or --port NAME (or --gang PORTS)";
        return plan;
    }
    plan.ports = gang.gang ? gang.ports : std::vector<uint32_t>{station.port};
    for (size_t i = 0; i < gang.rest.size(); ++i) {
        if (gang.rest[i] == "--station")
            ++i; // each station gets its own name
        else if (gang.rest[i] != station.portToken)
            plan.job.push_back(gang.rest[i]);
    }
    // A board that comes round again in the loop keeps the number it has.
    const auto given = [&gang](const char* option) {
        return std::find(gang.rest.begin(), gang.rest.end(), option) != gang.rest.end();
    };
    if (gang.loop && given("--serial") && !given("--serial-on-board")) {
        plan.job.push_back("--serial-on-board");
        plan.job.push_back("keep");
    }
    plan.probe = {"--probe", station.adapter == StationAdapter::Fet   ? "-fet"
                             : station.adapter == StationAdapter::Raw ? "-raw"
                                                                      : "-bsl"};
    for (const std::string& argument : gang.rest) {
        if (argument == "--reset-inverted" || argument == "--test-inverted" ||
            argument == "--swap-reset-test")
            plan.probe.push_back(argument);
    }
    return plan;
}

// What every station shares: the printing, the counts and the stop.
struct GangShared {
    explicit GangShared(const GangOptions& options) : gang(options) {}

    const GangOptions& gang;
    std::string program;
    const Clock::time_point started = Clock::now();
    std::mutex mutex; // the printing and the boards done
    std::vector<StationOutcome> boards;
    std::atomic<bool> stopping{false};
    std::atomic<uint32_t> claimed{0};
    std::condition_variable wake; // a stop ends the pause between looks at once

    uint64_t ElapsedMs() const {
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
    }
    bool AllClaimed() const { return gang.count && claimed.load() >= *gang.count; }
    bool Stopped() const { return stopping.load() || AllClaimed(); }
    // Takes one of the --count boards; false when all are taken.
    bool Claim() {
        uint32_t taken = claimed.load();
        do {
            if (gang.count && taken >= *gang.count)
                return false;
        } while (!claimed.compare_exchange_weak(taken, taken + 1));
        return true;
    }
    void Record(const StationOutcome& board) {
        std::lock_guard<std::mutex> lock(mutex);
        boards.push_back(board);
        if (gang.loop && boards.size() % gang.countsEvery == 0) {
            std::printf("%s\n", CountsText(boards, ElapsedMs()).c_str());
            std::fflush(stdout);
        }
    }
    void Print(FILE* stream, const std::string& station, const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        std::fprintf(stream, "[%s] %s\n", station.c_str(), line.c_str());
        std::fflush(stream);
    }
};

// Reads a child's standard output and error to their ends, line by line, then waits for it.
ChildExit PumpChild(ChildProcess& child, const std::function<void(const std::string&)>& output,
                    const std::function<void(const std::string&)>& errors) {
    auto pump = [&child](ChildProcess::Stream stream, const std::function<void(const std::string&)>& take) {
        std::string pending;
        char buffer[4096];
        for (;;) {
            const size_t n = child.Read(stream, buffer, sizeof buffer);
            if (n == 0)
                break;
            pending.append(buffer, n);
            size_t end = 0;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                take(line);
            }
        }
        if (!pending.empty())
            take(pending);
    };
    std::thread errorReader([&] { pump(ChildProcess::Stream::Errors, errors); });
    pump(ChildProcess::Stream::Output, output);
    errorReader.join();
    return child.Wait();
}

// One port: its boards one after another, each in a process of its own.
class Station {
public:
    Station(GangShared& shared, const GangPlan& plan, uint32_t port)
        : shared_(shared), plan_(plan), port_(port),
          label_(plan.stationPrefix + StationLabel(plan.adapter, port)) {}

    void Start() {
        thread_ = std::thread([this] { Run(); });
    }
    bool Done() const { return done_; }
    void Join() {
        if (thread_.joinable())
            thread_.join();
    }
    // Ctrl+C: the board being programmed is cancelled, a look for one ends.
    void Interrupt() {
        std::lock_guard<std::mutex> lock(childMutex_);
        if (child_)
            child_->Interrupt();
    }

private:
    void Run() {
        if (!shared_.gang.loop) {
            shared_.Record(ProgramBoard());
        } else {
            while (WaitFor(true) && shared_.Claim()) {
                shared_.Record(ProgramBoard());
                // A board left in (after a failure above all) is never programmed twice.
                WaitFor(false);
            }
        }
        done_ = true;
    }

    // Looks for a board until one answers (or until none does), quietly; false when the
    // loop stopped first.
    bool WaitFor(bool present) {
        while (!shared_.Stopped()) {
            if (BoardAnswers() == present)
                return true;
            std::unique_lock<std::mutex> lock(childMutex_);
            shared_.wake.wait_for(lock, kPollInterval, [this] { return shared_.Stopped(); });
        }
        return false;
    }

    bool BoardAnswers() {
        std::vector<std::string> arguments = plan_.probe;
        arguments.push_back(Format("-c%u", unsigned(port_)));
        ChildProcess* child = StartChild(arguments);
        if (!child)
            return false;
        std::string reason;
        const ChildExit exit = PumpChild(
            *child, [](const std::string&) {},
            [&reason](const std::string& line) { reason += (reason.empty() ? "" : "; ") + line; });
        EndChild();
        // A port that cannot be reached (an adapter unplugged, a missing library) is said
        // once, not at every look; the station goes on looking.
        if (exit.exited && exit.status == kProbeCannotLook) {
            if (reason != probeProblem_)
                shared_.Print(stderr, label_, "Error. No board can be looked for: " + reason);
            probeProblem_ = reason;
            return false;
        }
        probeProblem_.clear();
        return exit.exited && exit.status == 0;
    }

    StationOutcome ProgramBoard() {
        StationOutcome outcome;
        outcome.station = label_;
        outcome.port = port_;
        std::vector<std::string> arguments = plan_.job;
        arguments.push_back(Format("-c%u", unsigned(port_)));
        arguments.push_back("--station");
        arguments.push_back(label_);
        std::string error;
        ChildProcess* child = StartChild(arguments, &error);
        if (!child) {
            const std::string line = "Error. The station's process could not be started (" + error + ")";
            shared_.Print(stderr, label_, line);
            outcome.TakeErrorLine(line);
            return outcome;
        }
        outcome.started = true;
        std::mutex outcomeMutex;
        outcome.exit = PumpChild(
            *child,
            [&](const std::string& line) {
                {
                    std::lock_guard<std::mutex> lock(outcomeMutex);
                    outcome.TakeOutputLine(line);
                }
                shared_.Print(stdout, label_, line);
            },
            [&](const std::string& line) {
                {
                    std::lock_guard<std::mutex> lock(outcomeMutex);
                    outcome.TakeErrorLine(line);
                }
                shared_.Print(stderr, label_, line);
            });
        EndChild();
        if (!outcome.exit.exited || outcome.exit.status > kExitRejected)
            shared_.Print(stderr, label_, "Error. The station's process ended: " + outcome.ResultText());
        return outcome;
    }

    // A child no Ctrl+C can miss: one that starts after the stop is interrupted at once.
    ChildProcess* StartChild(const std::vector<std::string>& arguments, std::string* why = nullptr) {
        std::lock_guard<std::mutex> lock(childMutex_);
        auto child = std::make_unique<ChildProcess>();
        std::string error;
        if (!child->Start(shared_.program, arguments, error)) {
            if (why)
                *why = error;
            return nullptr;
        }
        if (shared_.stopping)
            child->Interrupt();
        child_ = std::move(child);
        return child_.get();
    }
    void EndChild() {
        std::lock_guard<std::mutex> lock(childMutex_);
        child_.reset();
    }

    GangShared& shared_;
    const GangPlan& plan_;
    const uint32_t port_;
    const std::string label_;
    std::mutex childMutex_;
    std::unique_ptr<ChildProcess> child_;
    std::string probeProblem_; // the last reason a look could not be made
    std::thread thread_;
    std::atomic<bool> done_{false};
};

} // namespace

int RunGang(const GangOptions& gang) {
    const GangPlan plan = PlanGang(gang);
    if (!plan.error.empty()) {
        std::fprintf(stderr, "pyrola: %s\n", plan.error.c_str());
        return kExitRejected;
    }
    GangShared shared(gang);
    shared.program = RunningProgramPath();
    if (shared.program.empty()) {
        std::fprintf(stderr, "pyrola: cannot find its own program file to start the stations\n");
        return kExitRejected;
    }
    // The first press cancels the stations, the second stops waiting for them (with the
    // counts so far), the third ends the driver at once.
    InstallInterruptHandler(3);
    std::vector<std::unique_ptr<Station>> stations;
    for (uint32_t port : plan.ports)
        stations.push_back(std::make_unique<Station>(shared, plan, port));
    for (const auto& station : stations)
        station->Start();
    bool interrupted = false;
    bool gaveUp = false;
    while (
        !std::all_of(stations.begin(), stations.end(), [](const auto& station) { return station->Done(); })) {
        if (!interrupted && InterruptCount() > 0) {
            interrupted = true;
            shared.stopping = true;
            shared.wake.notify_all();
            for (const auto& station : stations)
                station->Interrupt();
        }
        if (InterruptCount() > 1) {
            gaveUp = true; // the stations, cancelled, still end their boards and log them
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!gaveUp) {
        for (const auto& station : stations)
            station->Join();
    }
    std::unique_lock<std::mutex> lock(shared.mutex);
    // A day's loop is in the log; its table keeps to the boards that need a look.
    std::vector<StationOutcome> listed;
    std::copy_if(shared.boards.begin(), shared.boards.end(), std::back_inserter(listed),
                 [&gang](const StationOutcome& board) { return !gang.loop || !board.Passed(); });
    // In port order, as the stations stand on the bench; a port's boards in the order done.
    std::stable_sort(listed.begin(), listed.end(),
                     [](const StationOutcome& a, const StationOutcome& b) { return a.port < b.port; });
    if (!listed.empty()) {
        for (const std::string& line : SummaryTable(listed))
            std::printf("%s\n", line.c_str());
    }
    const char* stopped =
        gaveUp ? " (stopped without waiting: boards still running are in the log only)" : " (stopped)";
    if (gang.loop) {
        std::printf("%s%s\n", CountsText(shared.boards, shared.ElapsedMs()).c_str(),
                    interrupted ? stopped : "");
    } else {
        const size_t passed =
            static_cast<size_t>(std::count_if(shared.boards.begin(), shared.boards.end(),
                                              [](const StationOutcome& board) { return board.Passed(); }));
        std::printf("Gang: %u of %u boards passed%s\n", unsigned(passed), unsigned(shared.boards.size()),
                    gaveUp        ? stopped
                    : interrupted ? " (cancelled)"
                                  : "");
    }
    std::fflush(stdout);
    if (gaveUp) {
        // Station threads still wait on their children: the process ends without them.
        std::fflush(stderr);
        std::_Exit(1); // as a cancelled gang ends
    }
    return GangExitStatus(shared.boards);
}

} // namespace pyrola::cli
