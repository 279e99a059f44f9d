#include "sim/SimChipSetup.h"

#include "sim/FaultList.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

namespace pyrola::sim {

const char* ProcessEnvironment(const char* name) {
    return std::getenv(name);
}

SimEnvironment PortEnvironment(SimEnvironment environment, const std::string& port) {
    // The values handed out stay valid as long as the environment itself.
    auto values = std::make_shared<std::map<std::string, std::string>>();
    return [environment = std::move(environment), port, values](const char* name) -> const char* {
        const char* value = environment(name);
        if (value == nullptr ||
            (std::strcmp(name, "PYROLA_SIM_STATE") != 0 && std::strcmp(name, "PYROLA_SIM_BOARD") != 0))
            return value;
        std::string text = value;
        for (size_t at = text.find("%p"); at != std::string::npos; at = text.find("%p", at + port.size()))
            text.replace(at, 2, port);
        std::string& kept = (*values)[name];
        kept = text;
        return kept.c_str();
    };
}

const char* ChipSetupErrorText(ChipSetupError error) {
    switch (error) {
    case ChipSetupError::None:
        return "No error";
    case ChipSetupError::UnknownDevice: {
        // A test's typo is found faster with the names it could have used.
        static const std::string text = [] {
            std::string listed = "Unknown simulated device in PYROLA_SIM_DEVICE (known:";
            for (const std::string& name : DeviceModel::DeviceNames())
                listed += " " + name;
            return listed + ")";
        }();
        return text.c_str();
    }
    case ChipSetupError::StateUnreadable:
        return "Simulated target state file is unreadable";
    case ChipSetupError::DeviceMismatch:
        return "Simulated target state file holds another device";
    case ChipSetupError::BadFaults:
        return "Invalid list of simulated faults";
    }
    return "Unknown error";
}

ChipSetupError PrepareChip(const SimEnvironment& environment, SimChip& chip) {
    const char* device = environment("PYROLA_SIM_DEVICE");
    const bool deviceNamed = device != nullptr && device[0] != '\0';
    if (deviceNamed && !DeviceModel::IsDeviceName(device)) {
        return ChipSetupError::UnknownDevice;
    }
    const char* state = environment("PYROLA_SIM_STATE");
    chip.statePath = state != nullptr ? state : "";

    std::error_code ec;
    if (!chip.statePath.empty() && std::filesystem::exists(chip.statePath, ec)) {
        DeviceModel probe;
        if (!probe.Load(chip.statePath)) {
            return ChipSetupError::StateUnreadable;
        }
        if (deviceNamed && probe.DeviceName() != device) {
            return ChipSetupError::DeviceMismatch;
        }
        if (chip.model == nullptr) {
            chip.model = std::make_unique<DeviceModel>(probe.DeviceName());
            chip.faultsApplied = false;
        }
        // Loading in place keeps the faults already injected into this chip.
        if (!chip.model->Load(chip.statePath)) {
            return ChipSetupError::StateUnreadable;
        }
    } else if (chip.model == nullptr || !chip.statePath.empty() ||
               (deviceNamed && chip.model->DeviceName() != device)) {
        chip.model = std::make_unique<DeviceModel>(deviceNamed ? device : kDefaultChip);
        chip.faultsApplied = false;
    }
    if (!chip.faultsApplied) {
        const char* faults = environment("PYROLA_SIM_FAULTS");
        if (faults != nullptr && !ApplyFaultList(faults, *chip.model, nullptr)) {
            return ChipSetupError::BadFaults;
        }
        chip.faultsApplied = true;
    }
    return ChipSetupError::None;
}

bool SaveChip(const SimChip& chip) {
    return chip.statePath.empty() || chip.model == nullptr || chip.model->Save(chip.statePath);
}

} // namespace pyrola::sim
