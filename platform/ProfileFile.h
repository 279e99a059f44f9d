#pragma once
// Section/key strings of an INI-style profile file (the serialization ".sprj" files).
// Windows uses the system's profile functions; elsewhere the same text format is read and
// edited line by line, so comments and unknown lines survive a write. Paths should be
// absolute: the Windows functions look for a bare name in the Windows folder.

#include <cstddef>
#include <optional>
#include <string>

namespace pyrola {

class ProfileFile {
public:
    virtual ~ProfileFile() = default;
    // The key's text without surrounding blanks (and one pair of surrounding quotes), cut
    // to maxLength characters; fallback when the file, section or key is missing.
    virtual std::string ReadString(const std::string& path, const std::string& section,
                                   const std::string& key, const std::string& fallback, size_t maxLength) = 0;
    // Creates the file, section or key as needed. False when the file cannot be written.
    virtual bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& value) = 0;
};

ProfileFile& SystemProfileFile();

// The text rules, usable without a file (the POSIX backend is built on them).
std::optional<std::string> ProfileLookup(const std::string& text, const std::string& section,
                                         const std::string& key);
// The first key that stands twice in section (the section's repeats included): a reader
// takes the first, a person may mean the other. Empty when none does.
std::string ProfileRepeatedKey(const std::string& text, const std::string& section);
// text with the key set: its line replaced in place, or added at the end of its section,
// or the section appended. A value holding a line break cannot be stored: nothing.
std::optional<std::string> ProfileUpdate(const std::string& text, const std::string& section,
                                         const std::string& key, const std::string& value);

} // namespace pyrola
