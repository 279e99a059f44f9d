#include "platform/IniSettingsStore.h"

#include "platform/AtomicFile.h"

#include "ui/TextCompare.h"

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

bool IniDocument::Parse(const std::string& text) {
    sections_.clear();
    if (text.find('\0') != std::string::npos)
        return false;
    Section* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string trimmed = TrimBlanks(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#')
            continue;
        if (trimmed[0] == '[') {
            if (trimmed.back() != ']' || trimmed.size() < 3)
                return false;
            current = &Obtain(TrimBlanks(trimmed.substr(1, trimmed.size() - 2)));
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos || !current)
            return false;
        std::string name = TrimBlanks(line.substr(0, equals));
        if (name.empty())
            return false;
        Set(*current, name, line.substr(equals + 1));
    }
    return true;
}

std::string IniDocument::Serialize() const {
    std::string text;
    for (const Section& section : sections_) {
        if (!text.empty())
            text += '\n';
        text += '[' + section.name + "]\n";
        for (const auto& [name, value] : section.entries)
            text += name + '=' + value + '\n';
    }
    return text;
}

const IniDocument::Section* IniDocument::Find(const std::string& section) const {
    for (const Section& s : sections_) {
        if (SameIgnoringCase(s.name, section))
            return &s;
    }
    return nullptr;
}

IniDocument::Section& IniDocument::Obtain(const std::string& section) {
    for (Section& s : sections_) {
        if (SameIgnoringCase(s.name, section))
            return s;
    }
    sections_.push_back(Section{section, {}});
    return sections_.back();
}

const std::string* IniDocument::Lookup(const Section& section, const std::string& name) {
    for (const auto& entry : section.entries) {
        if (SameIgnoringCase(entry.first, name))
            return &entry.second;
    }
    return nullptr;
}

void IniDocument::Set(Section& section, const std::string& name, const std::string& value) {
    for (auto& entry : section.entries) {
        if (SameIgnoringCase(entry.first, name)) {
            entry.second = value;
            return;
        }
    }
    section.entries.emplace_back(name, value);
}

void IniDocument::Remove(Section& section, const std::string& name) {
    for (auto it = section.entries.begin(); it != section.entries.end(); ++it) {
        if (SameIgnoringCase(it->first, name)) {
            section.entries.erase(it);
            return;
        }
    }
}

std::string IniSettingsStore::SectionOf(const std::string& keyPath) {
    size_t slash = keyPath.find_last_of("\\/");
    return slash == std::string::npos ? keyPath : keyPath.substr(slash + 1);
}

bool IniSettingsStore::Load(IniDocument& document) {
    std::string text;
    if (path_.empty() || !ReadWholeFile(path_, text))
        return false;
    return document.Parse(text);
}

bool IniSettingsStore::HasKey(const std::string& keyPath) {
    IniDocument document;
    return Load(document) && document.Find(SectionOf(keyPath)) != nullptr;
}

std::optional<std::string> IniSettingsStore::ReadText(const std::string& keyPath, const std::string& name) {
    IniDocument document;
    if (!Load(document))
        return std::nullopt;
    const IniDocument::Section* section = document.Find(SectionOf(keyPath));
    if (!section)
        return std::nullopt;
    const std::string* value = IniDocument::Lookup(*section, name);
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
    if (path_.empty())
        return false;
    IniDocument document;
    std::string old;
    if (ReadWholeFile(path_, old) && !document.Parse(old)) {
        // Keep what could not be understood instead of silently dropping it.
        ReplaceFileAtomically(path_ + ".corrupt", old);
        document = IniDocument();
    }
    IniDocument::Section& section = document.Obtain(SectionOf(keyPath));
    for (const SettingsChange& change : changes) {
        switch (change.kind) {
        case SettingsChange::kNumber:
            IniDocument::Set(section, change.name, std::to_string(change.number));
            break;
        case SettingsChange::kText:
            if (StorableText(change.text))
                IniDocument::Set(section, change.name, change.text);
            break;
        case SettingsChange::kDelete:
            IniDocument::Remove(section, change.name);
            break;
        }
    }
    return ReplaceFileAtomically(path_, document.Serialize());
}

} // namespace pyrola
