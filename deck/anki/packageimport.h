// tollamy-deck import of Anki packages (.apkg) and collections without --due: each note gives
// its first card (its lowest card number), as Anki shows that card.
#pragma once

#include "deck/importoptions.h"

#include <stdio.h>

#include <string>

namespace deck::anki {

// True when `import` with these options reads the input as a package: --format apkg,
// --anki-profile, or --format auto and an input that begins like a ZIP archive or an SQLite
// database, whatever its name.
bool ImportsPackage(const ImportOptions& options);

// Runs `import` of a package (or a collection file) at options.input and returns the exit
// status: 0 written, 1 the package or the output failed (nothing written), 2 bad options.
// Diagnostics and the closing line go to err.
int RunPackageImport(const ImportOptions& options, FILE* err, bool quiet = false);

} // namespace deck::anki
