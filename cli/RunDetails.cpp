#include "cli/RunDetails.h"

#include "app/ProgrammerShell.h"
#include "base/TextFormat.h"
#include "platform/PortIo.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"

#include <cstdlib>

namespace pyrola::cli {

namespace {

std::string SettingsPlace() {
#ifdef _WIN32
    const char* file = std::getenv("PYROLA_SETTINGS");
    if (file == nullptr || file[0] == '\0')
        return "registry HKEY_CURRENT_USER\\Software\\Qorvane\\Pyrola";
#endif
    return DefaultSettingsFilePath();
}

std::string ParallelPortPlace(uint32_t number) {
    const char* named = std::getenv(LptVariableName(number).c_str());
    if (named != nullptr && named[0] != '\0')
        return named;
#ifdef _WIN32
    return "the WinIo port driver";
#else
    return "/dev/parport" + std::to_string(number - 1);
#endif
}

} // namespace

std::vector<std::string> RunDetails(const Settings& settings, const CommandLineRequest& request) {
    std::vector<std::string> lines;
    lines.push_back("Settings: " + SettingsPlace());
    const uint32_t adapter = request.adapter.value_or(settings.adapter);
    const auto port = [&](uint32_t stored) { return request.port.value_or(stored) + 1; };
    switch (adapter) {
    case kAdapterBsl: {
        const std::string name = "COM" + std::to_string(port(settings.bslPort));
        lines.push_back("Serial port " + name + ": " + SerialDevicePath(name));
        break;
    }
    case kAdapterFet:
        break; // the adapter names the library file it loaded
    default: {
        const uint32_t number = port(settings.rawPort);
        lines.push_back("Parallel port LPT" + std::to_string(number) + ": " + ParallelPortPlace(number));
        break;
    }
    }
    return lines;
}

std::string StoredChoiceText(const std::string& label, bool adapterStored, bool portStored) {
    const char* which = adapterStored && portStored ? "Adapter and port" : adapterStored ? "Adapter" : "Port";
    const char* choose = adapterStored && portStored ? "-fet, -raw or -bsl and -c{port} or --port NAME"
                         : adapterStored             ? "-fet, -raw or -bsl"
                                                     : "-c{port} or --port NAME";
    return Format("%s from the stored settings (%s): %s. Choose another with %s", which,
                  SettingsPlace().c_str(), label.c_str(), choose);
}

std::string StoredSettingsText(const Settings& settings) {
    std::string wiring;
    if (settings.bslResetInverted)
        wiring += ", reset inverted";
    if (settings.bslTestInverted)
        wiring += ", test inverted";
    if (settings.bslSwapResetTest)
        wiring += ", reset and test swapped";
    return Format("Settings stored in %s: %s, loader at %u baud%s", SettingsPlace().c_str(),
                  AdapterLabel(settings).c_str(), unsigned(settings.bslSpeed ? settings.bslSpeed : 9600),
                  wiring.c_str());
}

} // namespace pyrola::cli
