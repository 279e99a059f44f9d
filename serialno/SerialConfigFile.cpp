#include "serialno/SerialConfigFile.h"

#include "base/TextFormat.h"
#include "image/ParseNumber.h"

namespace pyrola {

namespace {

uint32_t ReadNumber(ProfileFile& profile, const std::string& path, const char* key, uint32_t fallback) {
    const std::string text = profile.ReadString(path, kSerialConfigSection, key, "", kMaxSerialTextLength);
    bool ok = false;
    const int32_t value = ParseNumber(text.c_str(), 0, 0, &ok);
    return ok ? static_cast<uint32_t>(value) : fallback;
}

} // namespace

SerialConfig ReadSerialConfig(ProfileFile& profile, const std::string& path) {
    SerialConfig config;
    config.address = ReadNumber(profile, path, kSerialConfigAddressKey, kDefaultSerialAddress);
    config.type = ReadNumber(profile, path, kSerialConfigTypeKey, kDefaultSerialType);
    config.serial =
        profile.ReadString(path, kSerialConfigSection, kSerialConfigSerialKey, "", kMaxSerialTextLength);
    return config;
}

bool WriteSerialConfig(ProfileFile& profile, const std::string& path, const SerialConfig& config) {
    // All three are tried, so one failing value does not keep the others from the file.
    bool ok = profile.WriteString(path, kSerialConfigSection, kSerialConfigAddressKey,
                                  Format("%d", static_cast<int>(config.address)));
    ok = profile.WriteString(path, kSerialConfigSection, kSerialConfigTypeKey,
                             Format("%d", static_cast<int>(config.type))) &&
         ok;
    ok = profile.WriteString(path, kSerialConfigSection, kSerialConfigSerialKey, config.serial) && ok;
    return ok;
}

} // namespace pyrola
