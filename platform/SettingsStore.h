#pragma once
// Persistent 32-bit values and strings under a key path ("Software\Qorvane\Pyrola",
// "Software\Qorvane\Pyrola\Recent Document List"). Windows keeps them in the registry
// below HKEY_CURRENT_USER; elsewhere an INI-style file holds one section per key, named
// after the last component of the key path.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pyrola {

// One change of a batch written by SettingsStore::Write.
struct SettingsChange {
    enum Kind : uint8_t { kNumber, kText, kDelete };
    Kind kind = kNumber;
    std::string name;
    uint32_t number = 0;
    std::string text;

    static SettingsChange Number(std::string name, uint32_t value) {
        return {kNumber, std::move(name), value, {}};
    }
    static SettingsChange Text(std::string name, std::string value) {
        return {kText, std::move(name), 0, std::move(value)};
    }
    static SettingsChange Delete(std::string name) { return {kDelete, std::move(name), 0, {}}; }
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // True when the key exists and can be read.
    virtual bool HasKey(const std::string& keyPath) = 0;
    // A value that is missing or cannot be read gives nothing.
    virtual std::optional<uint32_t> ReadNumber(const std::string& keyPath, const std::string& name) = 0;
    virtual std::optional<std::string> ReadText(const std::string& keyPath, const std::string& name) = 0;
    // Creates the key when needed and applies the changes in order. False when the key
    // cannot be created or the batch could not be stored; one value that fails does not
    // stop the others. The file backend replaces its file atomically, once per batch.
    virtual bool Write(const std::string& keyPath, const std::vector<SettingsChange>& changes) = 0;
};

// The store of this platform: the registry on Windows (or the file named by
// $PYROLA_SETTINGS when that is set), the settings file elsewhere.
std::unique_ptr<SettingsStore> CreateSystemSettingsStore();

// Path of the settings file: $PYROLA_SETTINGS, else $XDG_CONFIG_HOME/pyrola/settings.ini,
// else ~/.config/pyrola/settings.ini. Empty when none of these can be formed.
std::string DefaultSettingsFilePath();

} // namespace pyrola
