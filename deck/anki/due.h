// `tollamy-deck import --due`: the cards an Anki collection has due today, each shown as Anki
// shows that card, as a deck for the Today item.
#pragma once

#include "deck/importoptions.h"

#include <stdio.h>

namespace deck::anki {

// Runs `import --due` of options.input (with --new N, --deck NAME) and returns the exit
// status: 0 written (or OUTPUT left as it was, when it already held exactly these cards), 1 the
// input or the output failed (nothing written), 2 bad options. Diagnostics and the closing line
// go to err.
int RunDueImport(const ImportOptions& options, FILE* err, bool quiet = false);

} // namespace deck::anki
