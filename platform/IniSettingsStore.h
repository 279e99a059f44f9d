#pragma once
// The settings store as a text file: one "[section]" per key (named after the key path's
// last component), "name=value" lines below it, numbers in decimal. A file that cannot
// be read or parsed counts as absent, so every value takes its default; the next write
// replaces it (keeping the unreadable original beside it as "<file>.corrupt").

#include "platform/SettingsStore.h"

#include <string>
#include <utility>
#include <vector>

namespace pyrola {

class IniDocument {
public:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
    };

    // False for text that is not a settings file (NUL bytes, stray lines, open brackets).
    bool Parse(const std::string& text);
    std::string Serialize() const;

    const Section* Find(const std::string& section) const;
    Section& Obtain(const std::string& section);
    static const std::string* Lookup(const Section& section, const std::string& name);
    static void Set(Section& section, const std::string& name, const std::string& value);
    static void Remove(Section& section, const std::string& name);

private:
    std::vector<Section> sections_;
};

class IniSettingsStore : public SettingsStore {
public:
    explicit IniSettingsStore(std::string path) : path_(std::move(path)) {}

    bool HasKey(const std::string& keyPath) override;
    std::optional<uint32_t> ReadNumber(const std::string& keyPath, const std::string& name) override;
    std::optional<std::string> ReadText(const std::string& keyPath, const std::string& name) override;
    bool Write(const std::string& keyPath, const std::vector<SettingsChange>& changes) override;

    const std::string& Path() const { return path_; }
    // The section a key path maps to: its last backslash-separated component.
    static std::string SectionOf(const std::string& keyPath);

private:
    bool Load(IniDocument& document);
    std::string path_;
};

// Strict decimal 32-bit parse (surrounding blanks allowed); nothing for anything else.
std::optional<uint32_t> ParseDecimal32(const std::string& text);

} // namespace pyrola
