#pragma once
// The settings store in the registry below HKEY_CURRENT_USER; numbers as REG_DWORD,
// texts as REG_SZ.

#include "platform/SettingsStore.h"

namespace pyrola {

class RegistrySettingsStore : public SettingsStore {
public:
    bool HasKey(const std::string& keyPath) override;
    std::optional<uint32_t> ReadNumber(const std::string& keyPath, const std::string& name) override;
    std::optional<std::string> ReadText(const std::string& keyPath, const std::string& name) override;
    bool Write(const std::string& keyPath, const std::vector<SettingsChange>& changes) override;
};

} // namespace pyrola
