#include "platform/ProfileFile.h"

#include <vector>
#include <windows.h>

namespace pyrola {
namespace {

class Win32ProfileFile : public ProfileFile {
public:
    std::string ReadString(const std::string& path, const std::string& section, const std::string& key,
                           const std::string& fallback, size_t maxLength) override {
        std::vector<char> buffer(maxLength + 1, '\0');
        DWORD got = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), path.c_str());
        return std::string(buffer.data(), got);
    }

    bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& value) override {
        if (value.find_first_of("\r\n") != std::string::npos)
            return false;
        return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != 0;
    }
};

} // namespace

ProfileFile& SystemProfileFile() {
    static Win32ProfileFile profile;
    return profile;
}

} // namespace pyrola
