// tollamy-deck import of Anki packages (.apkg): each note of the package gives one card.
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

// The number of media references in an Anki field: [sound:...] tags and <img> elements.
int CountMediaReferences(const std::string& field);

} // namespace deck::anki
