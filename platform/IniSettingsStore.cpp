#include "platform/IniSettingsStore.h"

#include "platform/FileLock.h"

#include "base/TextCompare.h"

namespace pyrola {
namespace {

bool StorableText(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

} // namespace

std::optional<uint32_t> ParseDecimal32(const std::string& text) {
    std::string digits = TrimBlanks(text);
    if (digits.empty() || digits.size() > 10)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFu)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

std::string IniSettingsStore::SectionOf(const std::string& keyPath) {
    size_t slash = keyPath.find_last_of("\\/");
    return slash == std::string::npos ? keyPath : keyPath.substr(slash + 1);
}

const IniDocument* IniSettingsStore::Current() {
    if (path_.empty())
        return nullptr;
    const std::optional<FileStamp> stamp = StampOfFile(path_);
    if (!stamp) {
        cachedStamp_.reset();
        return nullptr;
    }
    if (stamp != cachedStamp_) {
        std::string text;
        FileStamp read;
        ++fileReads_;
        if (!ReadWholeFile(path_, text, &read)) {
            cachedStamp_.reset();
            return nullptr;
        }
        cachedValid_ = cached_.Parse(text);
        cachedStamp_ = read;
    }
    return cachedValid_ ? &cached_ : nullptr;
}

bool IniSettingsStore::HasKey(const std::string& keyPath) {
    const IniDocument* document = Current();
    return document && document->HasSection(SectionOf(keyPath));
}

std::optional<std::string> IniSettingsStore::ReadText(const std::string& keyPath, const std::string& name) {
    const IniDocument* document = Current();
    const std::string* value = document ? document->Lookup(SectionOf(keyPath), name) : nullptr;
    if (!value)
        return std::nullopt;
    return *value;
}

std::optional<uint32_t> IniSettingsStore::ReadNumber(const std::string& keyPath, const std::string& name) {
    std::optional<std::string> text = ReadText(keyPath, name);
    if (!text)
        return std::nullopt;
    return ParseDecimal32(*text);
}

bool IniSettingsStore::Write(const std::string& keyPath, const std::vector<SettingsChange>& changes) {
    // A read-only settings file is left alone, without a lock file beside it either.
    if (path_.empty() || !MayReplaceFile(path_) || !MakeParentFolders(path_))
        return false;
    FileLock lock(path_ + ".lock");
    if (!lock.Held() || !MayReplaceFile(path_))
        return false;
    // Read afresh under the lock: another program may have saved since the last read.
    IniDocument document;
    std::string old;
    ++fileReads_;
    if (ReadWholeFile(path_, old) && !document.Parse(old)) {
        // Keep what could not be understood instead of silently dropping it.
        ReplaceFileAtomically(path_ + ".corrupt", old);
    }
    const std::string section = SectionOf(keyPath);
    for (const SettingsChange& change : changes) {
        switch (change.kind) {
        case SettingsChange::kNumber:
            document.Set(section, change.name, std::to_string(change.number));
            break;
        case SettingsChange::kText:
            if (StorableText(change.text))
                document.Set(section, change.name, change.text);
            break;
        case SettingsChange::kDelete:
            document.Remove(section, change.name);
            break;
        }
    }
    // An empty key still exists afterwards, as a created registry key does.
    document.AddSection(section);
    ++fileWrites_;
    cachedStamp_.reset();
    return ReplaceFileAtomically(path_, document.Serialize());
}

} // namespace pyrola
