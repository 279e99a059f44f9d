#pragma once
// The Setup dialog (template 201), modal: it draws the Setup form over a copy of the
// settings and hands it what the user does. The adapter and its port, the loader line,
// the Auto steps and the options; the caller saves and applies what OK returns.

#include "settings/Settings.h"

#include <optional>
#include <windows.h>

namespace pyrola::win32 {

// The edited settings after OK; nothing after Cancel (current stays as it was).
std::optional<Settings> RunSetupDialog(HWND owner, const Settings& current);

} // namespace pyrola::win32
