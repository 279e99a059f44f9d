#include "platform/ProfileFile.h"
#include "platform/AtomicFile.h"

namespace pyrola {
namespace {

class TextProfileFile : public ProfileFile {
public:
    std::string ReadString(const std::string& path, const std::string& section, const std::string& key,
                           const std::string& fallback, size_t maxLength) override {
        std::string text;
        std::optional<std::string> value;
        if (ReadWholeFile(path, text))
            value = ProfileLookup(text, section, key);
        std::string result = value ? *value : fallback;
        if (result.size() > maxLength)
            result.resize(maxLength);
        return result;
    }

    bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& value) override {
        std::string text;
        ReadWholeFile(path, text); // a missing file starts empty
        std::optional<std::string> updated = ProfileUpdate(text, section, key, value);
        return updated && ReplaceFileAtomically(path, *updated);
    }
};

} // namespace

ProfileFile& SystemProfileFile() {
    static TextProfileFile profile;
    return profile;
}

} // namespace pyrola
