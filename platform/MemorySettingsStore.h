#pragma once
// A settings store held in memory, for tests and for runs that must not touch the
// user's settings. Key paths and names compare without regard to case, like the registry.

#include "platform/SettingsStore.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <variant>

namespace pyrola {

class MemorySettingsStore : public SettingsStore {
public:
    using Value = std::variant<uint32_t, std::string>;

    bool HasKey(const std::string& keyPath) override { return keys_.count(Fold(keyPath)) != 0; }

    std::optional<uint32_t> ReadNumber(const std::string& keyPath, const std::string& name) override {
        const Value* value = Find(keyPath, name);
        if (!value || !std::holds_alternative<uint32_t>(*value))
            return std::nullopt;
        return std::get<uint32_t>(*value);
    }

    std::optional<std::string> ReadText(const std::string& keyPath, const std::string& name) override {
        const Value* value = Find(keyPath, name);
        if (!value || !std::holds_alternative<std::string>(*value))
            return std::nullopt;
        return std::get<std::string>(*value);
    }

    bool Write(const std::string& keyPath, const std::vector<SettingsChange>& changes) override {
        ++writeCount;
        if (failWrites)
            return false;
        auto& key = keys_[Fold(keyPath)];
        for (const SettingsChange& change : changes) {
            if (change.kind == SettingsChange::kNumber)
                key[Fold(change.name)] = change.number;
            else if (change.kind == SettingsChange::kText)
                key[Fold(change.name)] = change.text;
            else
                key.erase(Fold(change.name));
        }
        return true;
    }

    // Direct access for tests.
    void Put(const std::string& keyPath, const std::string& name, Value value) {
        keys_[Fold(keyPath)][Fold(name)] = std::move(value);
    }
    bool HasValue(const std::string& keyPath, const std::string& name) const {
        return Find(keyPath, name) != nullptr;
    }
    size_t ValueCount(const std::string& keyPath) const {
        auto it = keys_.find(Fold(keyPath));
        return it == keys_.end() ? 0 : it->second.size();
    }

    bool failWrites = false;
    int writeCount = 0;

private:
    static std::string Fold(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }
    const Value* Find(const std::string& keyPath, const std::string& name) const {
        auto key = keys_.find(Fold(keyPath));
        if (key == keys_.end())
            return nullptr;
        auto value = key->second.find(Fold(name));
        return value == key->second.end() ? nullptr : &value->second;
    }

    std::map<std::string, std::map<std::string, Value>> keys_;
};

} // namespace pyrola
