#include "settings/RecentFileList.h"

#include "base/TextCompare.h"
#include "base/TextFormat.h"

#include <algorithm>

namespace pyrola {

bool SamePathIgnoringCase(const std::string& a, const std::string& b) {
    return SameIgnoringCase(a, b);
}

RecentFileList::RecentFileList(const std::string& settingsKeyPath)
    : keyPath_(settingsKeyPath + "\\Recent Document List") {}

bool RecentFileList::Read(SettingsStore& store) {
    if (!store.HasKey(keyPath_))
        return false;
    if (std::optional<uint32_t> count = store.ReadNumber(keyPath_, "DocumentCount"))
        capacity_ = std::clamp(*count, kMinCapacity, kMaxCapacity);
    entries_.clear();
    for (uint32_t i = 1; i <= capacity_; ++i) {
        std::optional<std::string> path = store.ReadText(keyPath_, Format("Document%u", i));
        if (!path || path->empty() || path->size() > kMaxPathLength)
            continue;
        bool duplicate = std::any_of(entries_.begin(), entries_.end(),
                                     [&](const std::string& e) { return SamePathIgnoringCase(e, *path); });
        if (!duplicate)
            entries_.push_back(*path);
    }
    return true;
}

bool RecentFileList::Write(SettingsStore& store) const {
    std::vector<SettingsChange> changes;
    changes.push_back(SettingsChange::Number("DocumentCount", capacity_));
    for (size_t i = 0; i < entries_.size(); ++i)
        changes.push_back(
            SettingsChange::Text(Format("Document%u", static_cast<unsigned>(i + 1)), entries_[i]));
    for (size_t i = entries_.size() + 1; i <= kMaxCapacity; ++i)
        changes.push_back(SettingsChange::Delete(Format("Document%u", static_cast<unsigned>(i))));
    return store.Write(keyPath_, changes);
}

void RecentFileList::Add(const std::string& path) {
    if (path.empty() || path.size() > kMaxPathLength)
        return;
    Remove(path);
    entries_.insert(entries_.begin(), path);
    if (entries_.size() > capacity_)
        entries_.resize(capacity_);
}

void RecentFileList::Remove(const std::string& path) {
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const std::string& e) { return SamePathIgnoringCase(e, path); }),
                   entries_.end());
}

std::string RecentFileList::MenuText(size_t index) const {
    if (index >= entries_.size())
        return entries_.empty() && index == 0 ? "(empty)" : std::string();
    return Format("&%u %s", static_cast<unsigned>(index + 1), entries_[index].c_str());
}

} // namespace pyrola
