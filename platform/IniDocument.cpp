#include "platform/IniDocument.h"

#include "base/TextCompare.h"

namespace pyrola {
namespace {

std::string Folded(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

} // namespace

bool IniDocument::Fail() {
    blocks_.assign(1, Block{});
    sections_.clear();
    lineEnd_ = "\n";
    return false;
}

bool IniDocument::Parse(const std::string& text) {
    Fail();
    if (text.find('\0') != std::string::npos)
        return false;
    const size_t firstEnd = text.find('\n');
    if (firstEnd != std::string::npos && firstEnd > 0 && text[firstEnd - 1] == '\r')
        lineEnd_ = "\r\n";
    Section* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string trimmed = TrimBlanks(line);
        Block& block = blocks_.back();
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') {
            block.lines.push_back(Line{line});
            continue;
        }
        if (trimmed[0] == '[') {
            if (trimmed.back() != ']' || trimmed.size() < 3)
                return Fail();
            current = &sections_[Folded(TrimBlanks(trimmed.substr(1, trimmed.size() - 2)))];
            blocks_.push_back(Block{{Line{line}}, 1});
            current->lastBlock = blocks_.size() - 1;
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos || !current)
            return Fail();
        const std::string name = TrimBlanks(line.substr(0, equals));
        if (name.empty())
            return Fail();
        block.lines.push_back(Line{line});
        block.insertAt = block.lines.size();
        AddEntry(*current, name, line.substr(equals + 1), blocks_.size() - 1, block.lines.size() - 1);
    }
    return true;
}

std::string IniDocument::Serialize() const {
    std::string text;
    for (const Block& block : blocks_) {
        for (const Line& line : block.lines) {
            if (!line.removed)
                text += line.text + lineEnd_;
        }
    }
    return text;
}

bool IniDocument::HasSection(const std::string& section) const {
    return sections_.count(Folded(section)) != 0;
}

const std::string* IniDocument::Lookup(const std::string& section, const std::string& name) const {
    const auto s = sections_.find(Folded(section));
    if (s == sections_.end())
        return nullptr;
    const auto e = s->second.entries.find(Folded(name));
    return e == s->second.entries.end() ? nullptr : &e->second.value;
}

void IniDocument::AddSection(const std::string& section) {
    Obtain(section);
}

IniDocument::Section& IniDocument::Obtain(const std::string& section) {
    Section& s = sections_[Folded(section)];
    if (s.lastBlock != 0)
        return s;
    // A new section: one blank line apart from what stands above it.
    bool above = false;
    for (const Block& block : blocks_) {
        for (const Line& line : block.lines)
            above = above || !line.removed;
    }
    Block block;
    if (above)
        block.lines.push_back(Line{});
    block.lines.push_back(Line{"[" + section + "]"});
    block.insertAt = block.lines.size();
    blocks_.push_back(std::move(block));
    s.lastBlock = blocks_.size() - 1;
    return s;
}

void IniDocument::Set(const std::string& section, const std::string& name, const std::string& value) {
    Section& s = Obtain(section);
    const auto found = s.entries.find(Folded(name));
    if (found != s.entries.end()) {
        Entry& entry = found->second;
        if (entry.value != value) {
            const auto [block, line] = entry.lines.back();
            blocks_[block].lines[line].text = entry.name + "=" + value;
            entry.value = value;
        }
        return;
    }
    // Only lines without values follow insertAt, and no entry refers to them, so the
    // insertion moves nothing that is indexed.
    Block& block = blocks_[s.lastBlock];
    const size_t at = block.insertAt;
    block.lines.insert(block.lines.begin() + static_cast<std::ptrdiff_t>(at), Line{name + "=" + value});
    block.insertAt = at + 1;
    AddEntry(s, name, value, s.lastBlock, at);
}

void IniDocument::Remove(const std::string& section, const std::string& name) {
    const auto s = sections_.find(Folded(section));
    if (s == sections_.end())
        return;
    const auto e = s->second.entries.find(Folded(name));
    if (e == s->second.entries.end())
        return;
    for (const auto& [block, line] : e->second.lines)
        blocks_[block].lines[line].removed = true;
    s->second.entries.erase(e);
}

void IniDocument::AddEntry(Section& section, const std::string& name, const std::string& value, size_t block,
                           size_t line) {
    Entry& entry = section.entries[Folded(name)];
    if (entry.lines.empty())
        entry.name = name;
    entry.value = value;
    entry.lines.emplace_back(block, line);
}

} // namespace pyrola
