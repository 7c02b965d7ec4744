// tollamy-deck import of Anki packages (.apkg): each note of the package gives one card.
#pragma once

#include "deck/cards.h"

#include <stdio.h>

#include <string>

namespace deck {

// True when `import` with these options reads the input as a package: --format apkg, or
// --format auto and an input that begins like a ZIP archive, whatever its name.
bool ImportsPackage(const ImportOptions& options);

// Runs `import` of a package and returns the exit status: 0 written, 1 the package or the
// output failed (nothing written), 2 bad options. Diagnostics and the closing line go to err.
int RunPackageImport(const ImportOptions& options, FILE* err, bool quiet = false);

// The number of media references in an Anki field: [sound:...] tags and <img> elements.
int CountMediaReferences(const std::string& field);

} // namespace deck
