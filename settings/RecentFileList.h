#pragma once
// The most recently loaded or saved files, newest first, kept below the settings key in
// "Recent Document List" as "DocumentCount" (the capacity) and "Document1" (newest), ...

#include "platform/SettingsStore.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola {

class RecentFileList {
public:
    static constexpr uint32_t kDefaultCapacity = 4;
    static constexpr uint32_t kMinCapacity = 2;
    static constexpr uint32_t kMaxCapacity = 16;
    static constexpr size_t kMaxPathLength = 260;

    explicit RecentFileList(const std::string& settingsKeyPath);

    // Replaces the entries with the stored ones; the capacity becomes "DocumentCount"
    // clamped to 2..16 when it exists. False (list unchanged) when the key is missing.
    bool Read(SettingsStore& store);
    bool Write(SettingsStore& store) const;

    // Puts path at the top (an equal entry, ignoring case, moves there). A path longer
    // than the limit is not kept: shortening it would name a different file.
    void Add(const std::string& path);
    void Remove(const std::string& path);

    const std::vector<std::string>& Entries() const { return entries_; }
    uint32_t Capacity() const { return capacity_; }
    const std::string& KeyPath() const { return keyPath_; }
    // Menu text of entry i (0-based): "&1 C:\file.txt"; "(empty)" for an empty list.
    std::string MenuText(size_t index) const;

private:
    std::string keyPath_;
    uint32_t capacity_ = kDefaultCapacity;
    std::vector<std::string> entries_;
};

// Compares paths the way the list does: equal ignoring case.
bool SamePathIgnoringCase(const std::string& a, const std::string& b);

} // namespace pyrola
