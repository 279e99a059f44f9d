#include "settings/SettingsPersistence.h"

#include "adapters/bsl/BslLineOptions.h"

namespace pyrola {

bool LoadSettings(Settings& settings, SettingsStore& store) {
    if (!store.HasKey(settings.keyPath))
        return false;
    const Settings defaults;
    auto number = [&](const char* name, uint32_t fallback) {
        return store.ReadNumber(settings.keyPath, name).value_or(fallback);
    };
    auto flag = [&](const char* name, uint8_t fallback) -> uint8_t {
        std::optional<uint32_t> value = store.ReadNumber(settings.keyPath, name);
        return value ? (*value != 0 ? 1 : 0) : fallback;
    };
    settings.bslPort = number("BSL_PORT", defaults.bslPort);
    settings.fetPort = number("FET_PORT", defaults.fetPort);
    settings.rawPort = number("RAW_FET_PORT", defaults.rawPort);
    settings.adapter = number("Adapter", defaults.adapter);
    settings.autoSteps = number("AutoProgramm", defaults.autoSteps);
    settings.gapByte = static_cast<uint8_t>(number("GapByte", defaults.gapByte) & 0xFF);
    settings.removeGap = flag("RemoveGap", defaults.removeGap);
    settings.autoDetect = flag("AutoDetect", defaults.autoDetect);
    settings.eraseInfo = flag("EraseInfo", defaults.eraseInfo);
    settings.oneInstance = flag("OneInstance", defaults.oneInstance);
    settings.bslPatch = flag("BslPatch", defaults.bslPatch);
    settings.overrideDevice = number("OverrideDev", defaults.overrideDevice);
    const uint32_t speed = number("BslSpeed", defaults.bslSpeed);
    settings.bslSpeed = IsBslBaudRate(speed) ? speed : defaults.bslSpeed;
    settings.bslResetInverted = flag("BslResetInverted", defaults.bslResetInverted);
    settings.bslTestInverted = flag("BslTestInverted", defaults.bslTestInverted);
    settings.bslSwapResetTest = flag("BslSwapResetTest", defaults.bslSwapResetTest);
    return true;
}

bool SaveSettings(const Settings& settings, SettingsStore& store) {
    using C = SettingsChange;
    return store.Write(settings.keyPath, {
                                             C::Number("BSL_PORT", settings.bslPort),
                                             C::Number("FET_PORT", settings.fetPort),
                                             C::Number("RAW_FET_PORT", settings.rawPort),
                                             C::Number("Adapter", settings.adapter),
                                             C::Number("AutoProgramm", settings.autoSteps),
                                             C::Number("AutoDetect", settings.autoDetect),
                                             C::Number("GapByte", settings.gapByte),
                                             C::Number("RemoveGap", settings.removeGap),
                                             C::Number("EraseInfo", settings.eraseInfo),
                                             C::Number("OneInstance", settings.oneInstance),
                                             C::Number("BslPatch", settings.bslPatch),
                                             C::Number("OverrideDev", settings.overrideDevice),
                                             C::Number("BslSpeed", settings.bslSpeed),
                                             C::Number("BslResetInverted", settings.bslResetInverted),
                                             C::Number("BslTestInverted", settings.bslTestInverted),
                                             C::Number("BslSwapResetTest", settings.bslSwapResetTest),
                                         });
}

} // namespace pyrola
