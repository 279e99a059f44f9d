#include "cli/CliArguments.h"

#include "app/Version.h"
#include "base/TextFormat.h"
#include "cli/OptionValue.h"
#include "image/FileFormat.h"
#include "image/FilePath.h"
#include "image/ImageAddress.h"
#include "jobs/CommandLine.h"
#include "jobs/JobFlags.h"

namespace pyrola::cli {

namespace {

struct ValueOption {
    const char* name;
    std::optional<std::string> CliArguments::*field;
    const char* what;
};

constexpr ValueOption kFileOptions[] = {
    {"--serial", &CliArguments::serialPath, "a file name"},
    {"--serial-read", &CliArguments::serialReadPath, "a file name"},
    {"--serial-on-board", &CliArguments::serialOnBoard, "keep or new"},
    {"--log", &CliArguments::logPath, "a file name"},
    {"--save", &CliArguments::savePath, "a file name"},
    {"--station", &CliArguments::station, "a name"},
    {"--format", &CliArguments::formatName, "a format name"},
    {"--base", &CliArguments::baseText, "an address"},
    {"--device", &CliArguments::deviceName, "a device name"},
};

// The options that take no value.
std::optional<bool CliArguments::*> FlagOption(const std::string& name) {
    if (name == "--quiet")
        return &CliArguments::quiet;
    if (name == "--verbose")
        return &CliArguments::verbose;
    if (name == "--list-ports")
        return &CliArguments::listPorts;
    if (name == "--store-settings")
        return &CliArguments::storeSettings;
    if (name == "--strict-image")
        return &CliArguments::strictImage;
    return std::nullopt;
}

uint32_t DumpFlag(const std::string& what) {
    if (what == "ram")
        return kJobDumpRam;
    if (what == "id")
        return kJobDumpDeviceId;
    if (what == "bsl")
        return kJobDumpLoader;
    return 0;
}

// The checks that need no device and no file: combinations and the save format.
std::string CombinationError(const CliArguments& parsed) {
    if (parsed.quiet && parsed.verbose)
        return "--quiet and --verbose cannot be combined";
    if (parsed.serialPath && parsed.serialReadPath)
        return "--serial and --serial-read cannot be combined: the serial write reads its number back itself";
    if (parsed.serialOnBoard && *parsed.serialOnBoard != "keep" && *parsed.serialOnBoard != "new")
        return Format("--serial-on-board takes keep or new, not '%s'", parsed.serialOnBoard->c_str());
    if (parsed.serialOnBoard && !parsed.serialPath)
        return "--serial-on-board goes with --serial";
    // No format dialog here: the extension must name a format the program writes.
    if (parsed.savePath &&
        !FileFormatWritable(FileFormatForExtension(ExtensionOf(FileNamePart(*parsed.savePath)))))
        return Format("--save: no format that is written for '%s' (use .txt, .hex, .a43, .bin, .tsk or .dat)",
                      parsed.savePath->c_str());
    // The window's processing ignores tokens past the sixteenth; a script must not have
    // one of its arguments dropped without a word.
    if (parsed.tokens.size() > kCommandLineMaxTokens)
        return Format("Too many arguments: at most %d are read", int(kCommandLineMaxTokens));
    return {};
}

} // namespace

std::string VersionText() {
    return Format("PYROLA v%s", PYROLA_VERSION_TEXT);
}

uint32_t CliArguments::ActionFlags() const {
    return (serialPath ? kJobWriteSerial : 0) | (serialReadPath ? kJobReadSerial : 0) | dumpFlag;
}

CliArguments ParseCliArguments(const std::vector<std::string>& arguments) {
    CliArguments parsed;
    if (arguments.empty()) {
        parsed.help = true;
        return parsed;
    }
    if (arguments.size() == 1 && (arguments[0] == "-h" || arguments[0] == "-?")) {
        parsed.help = true;
        return parsed;
    }
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            parsed.tokens.push_back(argument);
            continue;
        }
        if (argument == "--help") {
            parsed.help = true;
            continue;
        }
        if (argument == "--version") {
            parsed.version = true;
            continue;
        }
        const std::string name = argument.substr(0, argument.find('='));
        if (const std::optional<bool CliArguments::*> flag = FlagOption(name); flag && name == argument) {
            parsed.*(*flag) = true;
            continue;
        }
        const ValueOption* fileOption = nullptr;
        for (const ValueOption& option : kFileOptions) {
            if (name == option.name)
                fileOption = &option;
        }
        if (!fileOption && name != "--dump") {
            parsed.error = Format("Unknown option '%s'", argument.c_str());
            return parsed;
        }
        const OptionValue taken =
            TakeOptionValue(arguments, i, name, fileOption ? fileOption->what : "ram, id or bsl");
        if (!taken.error.empty()) {
            parsed.error = taken.error;
            return parsed;
        }
        const std::string& value = *taken.value;
        if (fileOption) {
            std::optional<std::string>& field = parsed.*(fileOption->field);
            if (field) {
                parsed.error = Format("Option '%s' given twice", name.c_str());
                return parsed;
            }
            field = value;
            continue;
        }
        const uint32_t dump = DumpFlag(value);
        if (dump == 0) {
            parsed.error = Format("Unknown dump '%s': use ram, id or bsl", value.c_str());
            return parsed;
        }
        // Every dump replaces the image: a second one would leave only one of them to see.
        if (parsed.dumpFlag != 0) {
            parsed.error = "Option '--dump' given twice";
            return parsed;
        }
        parsed.dumpFlag = dump;
    }
    // "pyrola --version -fet +e && echo PASS" must not pass without having programmed.
    if ((parsed.help || parsed.version || parsed.listPorts) && arguments.size() > 1) {
        parsed.error = parsed.listPorts ? "--list-ports stands alone" : "--help and --version stand alone";
        parsed.help = parsed.version = parsed.listPorts = false;
        return parsed;
    }
    if (parsed.baseText) {
        parsed.binaryBase = ParseImageAddress(*parsed.baseText);
        if (!parsed.binaryBase) {
            parsed.error = Format("--base: '%s' is no address from 0 to 0xFFFFF (write 0x1100 or 4352)",
                                  parsed.baseText->c_str());
            return parsed;
        }
    }
    parsed.error = CombinationError(parsed);
    return parsed;
}

} // namespace pyrola::cli
