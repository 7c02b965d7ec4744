// tollamy-deck's surface, declared once: its commands and their manual (commands.cpp), its
// options (options.cpp) and the rest of its manual (manual.cpp). The parser (parse.cpp),
// --help, the man page, docs/tollamy-deck.md and the bash completion are all made from it.
#pragma once

#include "deck/importoptions.h"
#include "deck/surface/surface.h"
#include "deck/watch/watch.h"

namespace deck::cli {

// What the command line sets.
struct Arguments {
    ImportOptions import;
    watch::WatchOptions watch;
    bool strict = false;
    bool help = false;
    bool version = false;
};

// The whole surface; each option stores its values into `into`, which must outlive it.
surface::Surface DeckSurface(Arguments& into);

// Its parts.
void DeclareCommands(surface::Surface& s);
void DeclareOptions(surface::Surface& s, Arguments& into);
void DeclareManual(surface::Surface& s);

} // namespace deck::cli
