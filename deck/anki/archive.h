// The ZIP archive of an Anki package, read with libzip: opened from a file or from memory, its
// newest collection (collection.anki21b before collection.anki21 before collection.anki2) found
// and unpacked into a private temporary file, held to a limit.
#pragma once

#include "deck/apkg.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace apkg {

// 1 when the file begins like a ZIP archive (a local file header or an empty archive's end
// record), 0 otherwise or when it cannot be read.
int LooksLikeZip(const std::string& path);

// 1 when the file is a ZIP archive that holds one of the three collections.
int IsPackage(const std::string& path);

// Unpacks the newest collection of the package at `path` into a private temporary file (mode
// 0600, in $TMPDIR or /tmp) and calls `use` with it; the file is removed before this returns,
// also on failure. Returns a Result, or what `use` returned.
int WithUnpackedCollection(const std::string& path, uint64_t max_bytes, const CollectionUse& use,
                           std::string* message);

// The same for a package held in memory.
int WithUnpackedCollection(const void* data, size_t size, uint64_t max_bytes,
                           const CollectionUse& use, std::string* message);

} // namespace apkg
