#pragma once
// The settings store as a text file: one "[section]" per key (named after the key path's
// last component), "name=value" lines below it, numbers in decimal. A file that cannot
// be read or parsed counts as absent, so every value takes its default; the next write
// replaces it (keeping the unreadable original beside it as "<file>.corrupt").
//
// The file is read and parsed once and then served from memory until it changes (its
// stamp differs), so a load of many values costs one read. A write takes the lock file
// "<file>.lock", reads the file afresh, applies the changes and replaces the file
// atomically: programs saving at the same time never lose each other's values. Comment
// lines and the file's permissions survive; a read-only file is left alone and the
// write fails, as a registry failure does.

#include "platform/AtomicFile.h"
#include "platform/IniDocument.h"
#include "platform/SettingsStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pyrola {

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

    // How often the file was read (and parsed) and how often it was replaced.
    uint32_t FileReads() const { return fileReads_; }
    uint32_t FileWrites() const { return fileWrites_; }

private:
    // The file's document, read again only when the file has changed; null when the
    // file is missing, unreadable or no settings file.
    const IniDocument* Current();

    std::string path_;
    std::optional<FileStamp> cachedStamp_; // of the file behind cached_
    bool cachedValid_ = false;             // the file at cachedStamp_ parsed
    IniDocument cached_;
    uint32_t fileReads_ = 0;
    uint32_t fileWrites_ = 0;
};

// Strict decimal 32-bit parse (surrounding blanks allowed); nothing for anything else.
std::optional<uint32_t> ParseDecimal32(const std::string& text);

} // namespace pyrola
