#pragma once
// Reading and writing the settings record through a SettingsStore.

#include "platform/SettingsStore.h"
#include "settings/Settings.h"

namespace pyrola {

// False, with every field unchanged, when the key cannot be opened. Otherwise each value
// that is missing or unreadable takes its default; the gap byte keeps the low 8 bits and a
// flag is set by any non-zero value. A loader speed other than 9600, 19200 and 38400 is
// read as 9600.
bool LoadSettings(Settings& settings, SettingsStore& store);

// Writes all sixteen values (the twelve of the original record, then the loader line's
// four); false when the key cannot be created or written.
bool SaveSettings(const Settings& settings, SettingsStore& store);

} // namespace pyrola
