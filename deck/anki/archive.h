// The ZIP archive of an Anki package, read with libzip: opened from a file or from memory, its
// newest collection (collection.anki21b before collection.anki21 before collection.anki2) found
// and unpacked into a private temporary file, held to a limit.
#pragma once

#include "deck/anki/package.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace deck::anki {

// True when the file begins like a ZIP archive (a local file header or an empty archive's end
// record); false otherwise or when it cannot be read.
bool LooksLikeZip(const std::string& path);

// True when the file is a ZIP archive that holds one of the three collections.
bool IsPackage(const std::string& path);

// Unpacks the newest collection of the package at `path` into a private temporary folder (mode
// 0700, in $TMPDIR or /tmp) and calls `use` with it; the folder is removed before this returns,
// also on failure or a signal. False with *err set when the package or `use` failed.
bool WithUnpackedCollection(const std::string& path, uint64_t max_bytes, const CollectionUse& use,
                            std::string* err);

// The same for a package held in memory.
bool WithUnpackedCollection(const void* data, size_t size, uint64_t max_bytes,
                            const CollectionUse& use, std::string* err);

} // namespace deck::anki
