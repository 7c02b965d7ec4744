// The Windows launcher's session: one screen per user. With none open, today's due cards of
// each Anki item imported (tollamy-deck.exe watch --once), the decks installed beside their
// module copies and registered, and today-host.exe --live started with the refresh of the Anki
// items (tollamy-deck.exe watch), the two living as long as each other. With one open, the
// decks named are handed to it.
#pragma once

#include <string>

#include "launcher/options.h"

// The places the session uses: the program's folder (tollamy.exe and its files) and the data
// folder of the Anki items (%LOCALAPPDATA%\Tollamy\anki).
struct LauncherPlaces {
    std::wstring program;
    std::wstring data;
};
LauncherPlaces FindPlaces();

// Runs the session; the exit status (the host's, 1 when the screen could not be kept current,
// 2 for bad arguments).
int RunSession(const LauncherArgs& args, const LauncherPlaces& places);
