#include "platform/SettingsStore.h"
#include "platform/IniSettingsStore.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace pyrola {

std::string DefaultSettingsFilePath() {
    const char* explicitPath = std::getenv("PYROLA_SETTINGS");
    if (explicitPath && *explicitPath)
        return explicitPath;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return std::string(config) + "/pyrola/settings.ini";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || !*home)
        return {};
    return std::string(home) + "/.config/pyrola/settings.ini";
}

std::unique_ptr<SettingsStore> CreateSystemSettingsStore() {
    return std::make_unique<IniSettingsStore>(DefaultSettingsFilePath());
}

} // namespace pyrola
