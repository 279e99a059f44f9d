#include "platform/ProfileFile.h"

#include "base/TextCompare.h"
#include <vector>

namespace pyrola {
namespace {

struct Line {
    std::string text;
    enum Kind { kOther, kSection, kEntry } kind = kOther;
    std::string name; // section or key name
    std::string value;
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        Line line;
        line.text = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        const std::string trimmed = TrimBlanks(line.text);
        if (trimmed.size() >= 2 && trimmed.front() == '[') {
            size_t close = trimmed.find(']');
            if (close != std::string::npos) {
                line.kind = Line::kSection;
                line.name = TrimBlanks(trimmed.substr(1, close - 1));
            }
        } else if (!trimmed.empty() && trimmed[0] != ';') {
            size_t equals = trimmed.find('=');
            if (equals != std::string::npos && equals > 0) {
                line.kind = Line::kEntry;
                line.name = TrimBlanks(trimmed.substr(0, equals));
                line.value = TrimBlanks(trimmed.substr(equals + 1));
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace

std::optional<std::string> ProfileLookup(const std::string& text, const std::string& section,
                                         const std::string& key) {
    bool inside = false;
    for (const Line& line : SplitLines(text)) {
        if (line.kind == Line::kSection)
            inside = SameIgnoringCase(line.name, section);
        else if (inside && line.kind == Line::kEntry && SameIgnoringCase(line.name, key)) {
            std::string value = line.value;
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            return value;
        }
    }
    return std::nullopt;
}

std::string ProfileRepeatedKey(const std::string& text, const std::string& section) {
    bool inside = false;
    std::vector<std::string> seen;
    for (const Line& line : SplitLines(text)) {
        if (line.kind == Line::kSection)
            inside = SameIgnoringCase(line.name, section);
        else if (inside && line.kind == Line::kEntry) {
            for (const std::string& name : seen) {
                if (SameIgnoringCase(name, line.name))
                    return line.name;
            }
            seen.push_back(line.name);
        }
    }
    return {};
}

std::optional<std::string> ProfileUpdate(const std::string& text, const std::string& section,
                                         const std::string& key, const std::string& value) {
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos ||
        key.find_first_of("=\r\n[") != std::string::npos || key.empty())
        return std::nullopt;
    std::vector<Line> lines = SplitLines(text);
    const std::string entry = key + "=" + value;
    bool inside = false;
    bool replaced = false;
    size_t insertAt = std::string::npos; // after the last non-blank line of the section
    for (size_t i = 0; i < lines.size() && !replaced; ++i) {
        Line& line = lines[i];
        if (line.kind == Line::kSection) {
            if (inside)
                break;
            inside = SameIgnoringCase(line.name, section);
            if (inside)
                insertAt = i + 1;
        } else if (inside) {
            if (line.kind == Line::kEntry && SameIgnoringCase(line.name, key)) {
                // A CR LF file stays one.
                line.text = !line.text.empty() && line.text.back() == '\r' ? entry + '\r' : entry;
                replaced = true;
                break;
            }
            if (!TrimBlanks(line.text).empty())
                insertAt = i + 1;
        }
    }
    if (replaced) {
        // changed in place
    } else if (insertAt != std::string::npos) {
        Line added;
        added.text = entry;
        lines.insert(lines.begin() + static_cast<long>(insertAt), added);
    } else {
        if (!lines.empty() && !TrimBlanks(lines.back().text).empty())
            lines.push_back(Line{});
        Line header;
        header.text = "[" + section + "]";
        lines.push_back(header);
        Line added;
        added.text = entry;
        lines.push_back(added);
    }
    std::string result;
    for (const Line& line : lines)
        result += line.text + "\n";
    return result;
}

} // namespace pyrola
