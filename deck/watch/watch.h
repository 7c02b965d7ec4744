// `tollamy-deck watch`: keeps the Anki items of a data folder current, for the screen that
// shows them (the launcher starts it beside the Today host, and it ends with the launcher).
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

namespace deck::watch {

struct WatchOptions {
    std::string folder;              // the data folder, with each item's NAME.source
    std::vector<std::string> anki;   // --anki: decks to add as items
    std::string profile;             // --anki-profile: their profile (else the only one)
    std::vector<std::string> others; // --other-item: names the screen's other items have
    int refreshMinutes = 10;         // --refresh: the safety net; 0: none
    std::string switchProgram;       // --switch: shows or hides an item's entry
    bool once = false;               // --once: imports each item once, and ends
};

// Adds the --anki decks as items (importing their due cards), then keeps every item of the
// folder current until a signal ends it or the program that started it ends; with --once it
// imports each item once instead and prints "added NAME", "shown NAME" or "hidden NAME" for
// each on `out`. Returns the exit status: 0 done, 1 a failure that stops it, 2 bad options
// (among them two decks that would make one item; nothing is written then).
int RunWatch(const WatchOptions& options, FILE* out, FILE* err);

} // namespace deck::watch
