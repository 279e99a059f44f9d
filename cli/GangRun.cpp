#include "cli/GangRun.h"

#include "base/TextFormat.h"
#include "cli/CliArguments.h"
#include "cli/LoaderOptions.h"
#include "cli/StationOutcome.h"
#include "cli/Terminal.h"
#include "platform/ChildProcess.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace pyrola::cli {

namespace {

constexpr int kExitRejected = 2;

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The adapter the tokens name and the station label of a port on it ("BSL(COM3)"); empty
// with a reason when the command line cannot be run as a gang.
struct GangPlan {
    std::string adapterPrefix; // "FET(LPT", "RAW(LPT", "BSL(COM"
    std::string error;
};

GangPlan PlanGang(const std::vector<std::string>& rest) {
    GangPlan plan;
    const LoaderOptions loader = TakeLoaderOptions(rest);
    if (!loader.error.empty()) {
        plan.error = loader.error;
        return plan;
    }
    const CliArguments parsed = ParseCliArguments(loader.rest);
    if (!parsed.error.empty()) {
        plan.error = parsed.error;
        return plan;
    }
    if (parsed.help || parsed.version || parsed.listPorts || parsed.storeSettings) {
        plan.error =
            "--gang runs a job on every port; it does not go with --help, --version, --list-ports or "
            "--store-settings";
        return plan;
    }
    if (parsed.station) {
        plan.error = "--gang names each station by its adapter and port; leave out --station";
        return plan;
    }
    for (const std::string& token : parsed.tokens) {
        const std::string lower = Lower(token);
        if (lower.rfind("-c", 0) == 0) {
            plan.error = "--gang gives each station its port; leave out " + token;
            return plan;
        }
        const char* prefix = lower == "-fet"   ? "FET(LPT"
                             : lower == "-raw" ? "RAW(LPT"
                             : lower == "-bsl" ? "BSL(COM"
                                               : nullptr;
        if (prefix)
            plan.adapterPrefix = prefix; // the last one counts, as on a single command line
    }
    if (plan.adapterPrefix.empty())
        plan.error = "--gang needs the adapter on the command line: -fet, -raw or -bsl";
    return plan;
}

// One station's process and what it printed.
class Station {
public:
    Station(std::string label, uint32_t port, std::mutex& printing) : port_(port), printing_(printing) {
        outcome_.station = std::move(label);
    }

    void Start(const std::string& program, std::vector<std::string> arguments) {
        arguments.push_back(Format("-c%u", unsigned(port_)));
        arguments.push_back("--station");
        arguments.push_back(outcome_.station);
        std::string error;
        if (!child_.Start(program, arguments, error)) {
            Print(stderr, "Error. The station's process could not be started (" + error + ")");
            outcome_.TakeErrorLine("The station's process could not be started (" + error + ")");
            done_ = true;
            return;
        }
        outcome_.started = true;
        errors_ = std::thread([this] { Pump(ChildProcess::Stream::Errors); });
        output_ = std::thread([this] {
            Pump(ChildProcess::Stream::Output);
            errors_.join();
            outcome_.exit = child_.Wait();
            if (!outcome_.exit.exited || outcome_.exit.status > kExitRejected)
                Print(stderr, "Error. The station's process ended: " + outcome_.ResultText());
            done_ = true;
        });
    }

    bool Done() const { return done_; }
    void Interrupt() { child_.Interrupt(); }
    StationOutcome Finish() {
        if (output_.joinable())
            output_.join();
        return outcome_;
    }

private:
    void Print(FILE* stream, const std::string& line) {
        std::lock_guard<std::mutex> lock(printing_);
        std::fprintf(stream, "[%s] %s\n", outcome_.station.c_str(), line.c_str());
        std::fflush(stream);
    }

    // Reads one stream of the child to its end, line by line.
    void Pump(ChildProcess::Stream stream) {
        const bool output = stream == ChildProcess::Stream::Output;
        std::string pending;
        char buffer[4096];
        auto take = [&](const std::string& line) {
            {
                std::lock_guard<std::mutex> lock(printing_);
                if (output)
                    outcome_.TakeOutputLine(line);
                else
                    outcome_.TakeErrorLine(line);
            }
            Print(output ? stdout : stderr, line);
        };
        for (;;) {
            const size_t n = child_.Read(stream, buffer, sizeof buffer);
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
    }

    uint32_t port_;
    std::mutex& printing_;
    ChildProcess child_;
    StationOutcome outcome_;
    std::thread output_;
    std::thread errors_;
    std::atomic<bool> done_{false};
};

} // namespace

int RunGang(const GangOptions& gang) {
    const GangPlan plan = PlanGang(gang.rest);
    if (!plan.error.empty()) {
        std::fprintf(stderr, "pyrola: %s\n", plan.error.c_str());
        return kExitRejected;
    }
    const std::string program = RunningProgramPath();
    if (program.empty()) {
        std::fprintf(stderr, "pyrola: --gang cannot find its own program file to start the stations\n");
        return kExitRejected;
    }
    InstallInterruptHandler();
    std::mutex printing;
    std::vector<std::unique_ptr<Station>> stations;
    for (uint32_t port : gang.ports) {
        stations.push_back(std::make_unique<Station>(
            Format("%s%u)", plan.adapterPrefix.c_str(), unsigned(port)), port, printing));
        stations.back()->Start(program, gang.rest);
    }
    bool interrupted = false;
    while (
        !std::all_of(stations.begin(), stations.end(), [](const auto& station) { return station->Done(); })) {
        if (!interrupted && InterruptCount() > 0) {
            interrupted = true;
            for (const auto& station : stations)
                station->Interrupt();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::vector<StationOutcome> outcomes;
    for (const auto& station : stations)
        outcomes.push_back(station->Finish());
    for (const std::string& line : SummaryTable(outcomes))
        std::printf("%s\n", line.c_str());
    const size_t passed = static_cast<size_t>(std::count_if(
        outcomes.begin(), outcomes.end(), [](const StationOutcome& outcome) { return outcome.Passed(); }));
    std::printf("Gang: %zu of %zu boards passed%s\n", passed, outcomes.size(),
                interrupted ? " (cancelled)" : "");
    std::fflush(stdout);
    return GangExitStatus(outcomes);
}

} // namespace pyrola::cli
