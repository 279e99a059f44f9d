#pragma once
// The three adapters the shell chooses from, and the BSL adapter's own settings that the
// shell writes (patch flag, password). Borrowed: the owner keeps them alive.

#include "adapters/TargetAdapter.h"
#include "adapters/bsl/BslLineOptions.h"
#include "adapters/bsl/BslPassword.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pyrola {

struct AdapterSet {
    TargetAdapter* fet = nullptr;
    TargetAdapter* raw = nullptr;
    TargetAdapter* bsl = nullptr;

    // The BSL adapter's fields; unset hooks do nothing (a placeholder adapter).
    std::function<void(bool enabled)> setBslPatch;
    std::function<void(const BslLineOptions& line)> setBslLine;
    std::function<bool()> bslNeedsPassword;
    std::function<void(const BslPassword& password)> setBslPassword;

    // The FET's firmware: the FET's name when its last Open found that the library needs
    // the firmware updated first (empty otherwise), and the update itself (empty when done,
    // else why not). Unset: never asked.
    std::function<std::string()> fetFirmwareNeeded;
    std::function<std::string()> updateFetFirmware;
};

} // namespace pyrola
