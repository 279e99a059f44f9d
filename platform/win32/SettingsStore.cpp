#include "platform/win32/SettingsStore.h"

#include "platform/IniSettingsStore.h"

#include <cstdlib>
#include <windows.h>

namespace pyrola {

bool RegistrySettingsStore::HasKey(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::optional<uint32_t> RegistrySettingsStore::ReadNumber(const std::string& keyPath,
                                                          const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    // Whatever the value's type, its first four bytes are the number.
    BYTE bytes[4] = {};
    DWORD size = sizeof bytes;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, bytes, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

std::optional<std::string> RegistrySettingsStore::ReadText(const std::string& keyPath,
                                                           const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    std::optional<std::string> result;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size < 4096) {
        std::string text(size + 1, '\0');
        DWORD got = size;
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) ==
            ERROR_SUCCESS) {
            text.resize(got);
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            result = text;
        }
    }
    RegCloseKey(key);
    return result;
}

bool RegistrySettingsStore::Write(const std::string& keyPath, const std::vector<SettingsChange>& changes) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    for (const SettingsChange& change : changes) {
        switch (change.kind) {
        case SettingsChange::kNumber: {
            DWORD value = change.number;
            RegSetValueExA(key, change.name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                           sizeof value);
            break;
        }
        case SettingsChange::kText:
            RegSetValueExA(key, change.name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(change.text.c_str()),
                           static_cast<DWORD>(change.text.size() + 1));
            break;
        case SettingsChange::kDelete:
            RegDeleteValueA(key, change.name.c_str());
            break;
        }
    }
    RegCloseKey(key);
    return true;
}

std::string DefaultSettingsFilePath() {
    const char* explicitPath = std::getenv("PYROLA_SETTINGS");
    return explicitPath ? std::string(explicitPath) : std::string();
}

std::unique_ptr<SettingsStore> CreateSystemSettingsStore() {
    // A settings file named in the environment (tests, portable installs) replaces the registry.
    std::string file = DefaultSettingsFilePath();
    if (!file.empty())
        return std::make_unique<IniSettingsStore>(file);
    return std::make_unique<RegistrySettingsStore>();
}

} // namespace pyrola
