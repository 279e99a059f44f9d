#pragma once
// The headless program's options for the bootstrap loader's serial line, taken out of the
// arguments before the rest is read:
//   --bsl-speed N        ask the loader for N baud (9600, 19200 or 38400; also --bsl-speed=N)
//   --reset-inverted     the cable inverts the reset line
//   --test-inverted      the cable inverts the test line
//   --swap-reset-test    DTR drives the test line and RTS the reset line
// They hold for this run only: they adjust the line the settings give the adapter, and
// the stored settings ("BslSpeed", "BslResetInverted", "BslTestInverted",
// "BslSwapResetTest") change only with --store-settings.

#include "adapters/bsl/BslLineOptions.h"
#include "settings/Settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pyrola::cli {

inline constexpr const char* kLoaderOptionsUsage =
    "Loader line options (this run only):\n"
    "    --bsl-speed 9600|19200|38400   Loader speed, where the loader can change it\n"
    "    --reset-inverted               The cable inverts the reset line (DTR)\n"
    "    --test-inverted                The cable inverts the test line (RTS)\n"
    "    --swap-reset-test              DTR drives the test line and RTS the reset line";

struct LoaderOptions {
    std::optional<uint32_t> speed;
    bool resetInverted = false;
    bool testInverted = false;
    bool swapResetTest = false;
    // The other arguments, in their order.
    std::vector<std::string> rest;
    // Why the options were refused; empty when they were not.
    std::string error;
};

LoaderOptions TakeLoaderOptions(const std::vector<std::string>& arguments);

// Sets what the options name in the line the settings gave; the rest stays as it was.
void AdjustBslLine(const LoaderOptions& options, BslLineOptions& line);
// --store-settings: what the options name becomes the stored setting.
void StoreLoaderOptions(const LoaderOptions& options, Settings& settings);

} // namespace pyrola::cli
