#pragma once
// The text of a settings file as "[section]" lines with "name=value" lines below them,
// kept line by line: comments (";" or "#"), blank lines and the spelling of untouched
// lines come out of Serialize as they went in. Sections and names compare without regard
// to case; looking one up, setting or removing it costs the same whatever the file's size.

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pyrola {

class IniDocument {
public:
    // False for text that is not a settings file (NUL bytes, stray lines, open brackets);
    // the document is then empty.
    bool Parse(const std::string& text);
    // The lines in order, each ended like the first line end of the parsed text (LF when
    // there was none).
    std::string Serialize() const;

    bool HasSection(const std::string& section) const;
    // Appends an empty "[section]" when the document has none of that name.
    void AddSection(const std::string& section);
    // The text after the first "=" of the name's last line in the section; null when absent.
    const std::string* Lookup(const std::string& section, const std::string& name) const;
    // Rewrites the name's line in place, or adds it after the section's last value (the
    // section is appended to the document when missing). An unchanged value leaves the
    // line exactly as it was.
    void Set(const std::string& section, const std::string& name, const std::string& value);
    // Drops every line of the name in the section.
    void Remove(const std::string& section, const std::string& name);

private:
    struct Line {
        std::string text; // without its line end
        bool removed = false;
    };
    // A "[section]" line with the lines below it up to the next one; block 0 holds what
    // stands above the first section.
    struct Block {
        std::vector<Line> lines;
        size_t insertAt = 0; // after the last value or the header: where new values go
    };
    struct Entry {
        std::string name; // as first written
        std::string value;
        std::vector<std::pair<size_t, size_t>> lines; // (block, line) of each occurrence
    };
    struct Section {
        size_t lastBlock = 0;
        std::unordered_map<std::string, Entry> entries; // by folded name
    };

    // Empties the document; false.
    bool Fail();
    // The section, appended to the document when missing.
    Section& Obtain(const std::string& section);
    void AddEntry(Section& section, const std::string& name, const std::string& value, size_t block,
                  size_t line);

    std::vector<Block> blocks_ = std::vector<Block>(1);
    std::unordered_map<std::string, Section> sections_; // by folded name
    std::string lineEnd_ = "\n";
};

} // namespace pyrola
