// --autostart and --no-autostart on Windows: the value Tollamy of the user's Run key,
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run, which starts the launcher at
// login with the options given with it.
#pragma once

#include <string>

#include "launcher/options.h"

// Writes (args.autostart 1) or removes (-1) the entry for the launcher at `self`, says what it
// did, and returns the exit status.
int Autostart(const LauncherArgs& args, const std::wstring& self);
