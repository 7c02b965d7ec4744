// One import of an Anki item as `watch` makes it: `import --due` of the item's deck from its
// profile into NAME.txt, with --next-change NAME.next beside it, run in this process with its
// messages kept; and the watch's own messages.
#pragma once

#include "deck/watch/items.h"
#include "deck/watch/schedule.h"

#include <stdio.h>

#include <string>

namespace deck::watch {

struct Imported {
    bool ok = false;
    bool changed = false; // the deck was written anew, not left "(unchanged)"
    std::string messages; // the import's own, its closing line among them
    std::string why;      // its first error, for a failure
    Outcome outcome;      // on the watch's clock
};

// Imports the item's due cards into FOLDER/NAME.txt.
Imported ImportItem(const std::string& folder, const Item& item);

// What --next-change wrote: the change and the rollover on the importer's clock, and when
// (the file's time stamp). False when there is no such file.
bool ReadNext(const std::string& path, Seconds* change, Seconds* rollover, Seconds* at);

// The system's clock, and the importer's: TOLLAMY_NOW, else the system's.
Seconds Now();
Seconds ToolClock(Seconds now);

// The folder of an Anki profile, whether it exists or not.
std::string ProfileFolder(const std::string& profile);

// "tollamy-deck: TEXT", and text as it is (an import's messages), on err at once.
void Say(FILE* err, const std::string& text);
void SayLines(FILE* err, const std::string& text);

} // namespace deck::watch
