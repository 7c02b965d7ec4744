// tollamy-deck import: any supported input to a deck the item reads as it stands.
#pragma once

#include "deck/cards.h"
#include "deck/input.h"

#include <string>

namespace deck {

// Runs `import` and returns the exit status: 0 written, 1 the input or the output failed,
// 2 bad options. Diagnostics and the closing line go to err.
int RunImport(const ImportOptions& options, FILE* err, bool quiet = false);

} // namespace deck
