#include "cli/LoaderOptions.h"

#include "cli/OptionValue.h"

namespace pyrola::cli {

namespace {

constexpr const char* kSpeedOption = "--bsl-speed";

// "9600", "19200" or "38400" as a number; nothing for any other text.
std::optional<uint32_t> ParseSpeed(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const uint32_t rate = static_cast<uint32_t>(std::stoul(text));
    return IsBslBaudRate(rate) ? std::optional<uint32_t>(rate) : std::nullopt;
}

} // namespace

LoaderOptions TakeLoaderOptions(const std::vector<std::string>& arguments) {
    LoaderOptions options;
    const std::string speedPrefix = std::string(kSpeedOption) + "=";
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::optional<std::string> speedText;
        if (argument == kSpeedOption || argument.rfind(speedPrefix, 0) == 0) {
            const OptionValue taken =
                TakeOptionValue(arguments, i, kSpeedOption, "a rate: 9600, 19200 or 38400");
            if (!taken.error.empty()) {
                options.error = taken.error;
                return options;
            }
            speedText = taken.value;
        }
        if (speedText) {
            options.speed = ParseSpeed(*speedText);
            if (!options.speed) {
                options.error = "--bsl-speed takes 9600, 19200 or 38400, not '" + *speedText + "'";
                return options;
            }
        } else if (argument == "--reset-inverted") {
            options.resetInverted = true;
        } else if (argument == "--test-inverted") {
            options.testInverted = true;
        } else if (argument == "--swap-reset-test") {
            options.swapResetTest = true;
        } else {
            options.rest.push_back(argument);
        }
    }
    return options;
}

void AdjustBslLine(const LoaderOptions& options, BslLineOptions& line) {
    if (options.speed)
        line.baudRate = *options.speed;
    if (options.resetInverted)
        line.wiring.resetInverted = true;
    if (options.testInverted)
        line.wiring.testInverted = true;
    if (options.swapResetTest)
        line.wiring.swapResetTest = true;
}

void StoreLoaderOptions(const LoaderOptions& options, Settings& settings) {
    if (options.speed)
        settings.bslSpeed = *options.speed;
    if (options.resetInverted)
        settings.bslResetInverted = 1;
    if (options.testInverted)
        settings.bslTestInverted = 1;
    if (options.swapResetTest)
        settings.bslSwapResetTest = 1;
}

} // namespace pyrola::cli
