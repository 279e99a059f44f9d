#include "cli/FetMaintenance.h"

#include "adapters/fet/FetAdapter.h"
#include "base/TextFormat.h"
#include "cli/HeadlessRun.h"

#include <cstdio>
#include <cstdlib>

namespace pyrola::cli {

namespace {

constexpr const char* kFetUpdate = "--fet-update";

// "-c7" gives 7; 0 for anything else.
unsigned PortOf(const std::string& token) {
    if (token.size() < 3 || token.compare(0, 2, "-c") != 0)
        return 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(token.c_str() + 2, &end, 10);
    return (*end == '\0' && token[2] >= '0' && token[2] <= '9' && value >= 1 && value <= 255)
               ? static_cast<unsigned>(value)
               : 0;
}

void PrintNotes(FetAdapter& fet) {
    for (const std::string& note : fet.TakeNotes())
        std::printf("%s\n", note.c_str());
}

} // namespace

std::vector<std::string> FetPortLines(FetAdapter& fet) {
    std::vector<std::string> lines;
    const std::vector<std::string> names = fet.ListFets();
    for (size_t i = 0; i < names.size(); ++i) {
        lines.push_back(Format("FET%u\t%s\tFET of the library %s", unsigned(i + 1), names[i].c_str(),
                               fet.LibraryName().c_str()));
    }
    fet.TakeNotes();
    return lines;
}

bool IsFetUpdate(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument == kFetUpdate)
            return true;
    }
    return false;
}

int RunFetUpdate(FetAdapter& fet, const std::vector<std::string>& arguments) {
    unsigned port = 1;
    for (const std::string& argument : arguments) {
        if (argument == kFetUpdate || argument == "-fet")
            continue;
        if (const unsigned number = PortOf(argument); number != 0) {
            port = number;
            continue;
        }
        std::fprintf(stderr, "pyrola: --fet-update takes only -fet and -c{port}, not %s\n", argument.c_str());
        return kExitRejected;
    }
    fet.portNumber = port;
    std::printf("Updating the firmware of FET %u. This takes up to a minute: do not unplug the FET.\n", port);
    std::fflush(stdout);
    const bool updated = fet.UpdateFirmware();
    PrintNotes(fet);
    if (!updated) {
        const char* reason = fet.GetErrorText(fet.GetErrorNumber());
        std::fprintf(stderr, "pyrola: Firmware update failed. %s\n", reason != nullptr ? reason : "");
        return kExitFailed;
    }
    std::printf("Firmware update complete.\n");
    return kExitDone;
}

} // namespace pyrola::cli
