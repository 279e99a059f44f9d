#include "cli/CliArguments.h"

#include "app/Version.h"
#include "jobs/CommandLine.h"
#include "ui/TextFormat.h"

namespace pyrola::cli {

std::string VersionText() {
    return Format("PYROLA v%s", PYROLA_VERSION_TEXT);
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
    for (const std::string& argument : arguments) {
        if (argument.rfind("--", 0) != 0) {
            parsed.tokens.push_back(argument);
            continue;
        }
        if (argument == "--help") {
            parsed.help = true;
        } else if (argument == "--version") {
            parsed.version = true;
        } else {
            parsed.error = Format("Unknown option '%s'", argument.c_str());
            return parsed;
        }
    }
    // "pyrola --version -fet +e && echo PASS" must not pass without having programmed.
    if ((parsed.help || parsed.version) && arguments.size() > 1) {
        parsed.help = parsed.version = false;
        parsed.error = "--help and --version stand alone";
        return parsed;
    }
    // The window's processing ignores tokens past the sixteenth; a script must not have
    // one of its arguments dropped without a word.
    if (parsed.tokens.size() > kCommandLineMaxTokens)
        parsed.error = Format("Too many arguments: at most %d are read", int(kCommandLineMaxTokens));
    return parsed;
}

} // namespace pyrola::cli
