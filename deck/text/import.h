// tollamy-deck import of a text file (CSV, TSV, Anki's text export, Quizlet's text, a deck) to
// a deck the item reads as it stands.
#pragma once

#include "deck/importoptions.h"

#include <stdio.h>

namespace deck::text {

// Runs `import` of a text file and returns the exit status: 0 written, 1 the input or the
// output failed, 2 bad options. Diagnostics and the closing line go to err.
int RunTextImport(const ImportOptions& options, FILE* err, bool quiet = false);

} // namespace deck::text
