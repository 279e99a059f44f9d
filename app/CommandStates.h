#pragma once
// The main window's commands and which of them are enabled: decided by the shell,
// pushed to buttons and menu items by a front end.

#include <cstdint>
#include <utility>
#include <vector>

namespace pyrola {

enum CommandId : uint32_t {
    kCmdExit = 2,
    kCmdProgram = 1000,
    kCmdRead = 1001,
    kCmdVerify = 1002,
    kCmdErase = 1003,
    kCmdAuto = 1004,
    kCmdCancel = 1005,
    kCmdBlankCheck = 1006,
    kCmdReset = 1007,
    kCmdReadDs18b20 = 1008,
    kCmdDumpDeviceId = 1009,
    kCmdDumpRam = 1010,
    kCmdDumpBsl = 1011,
    kCmdSetup = 1039,
    kCmdSerialization = 1076,
    kCmdCreateRandomFile = 32784,
    kCmdReloadFile = 32789,
    kCmdOpen = 57601,
    kCmdSave = 57603,
    kCmdRecentFirst = 57616,
    kCmdRecentLast = 57631,
    kCmdAbout = 57664,
};

struct CommandStates {
    std::vector<std::pair<uint32_t, bool>> items;
    // Program is disabled and the focused control with it: the focus goes to Cancel.
    bool focusToCancelWhenDisabled = false;

    // Commands not listed (dumps, Exit, About, recent files) are always enabled.
    bool IsEnabled(uint32_t id) const {
        for (const auto& [item, enabled] : items) {
            if (item == id)
                return enabled;
        }
        return true;
    }
};

} // namespace pyrola
