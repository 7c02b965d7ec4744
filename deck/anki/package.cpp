// The package reader: the newest collection of the archive, unpacked into a private copy
// (archive.cpp), checked and read as an SQLite collection (collection.cpp).
#include "deck/anki/package.h"

#include "deck/anki/archive.h"
#include "deck/anki/collection.h"
#include "deck/base/limits.h"

#include <cstdio>

namespace deck::anki {
namespace {

// Calls `use` with the unpacked copy once it has been checked to be an SQLite database.
bool UseCheckedCopy(const std::string& copy, const std::string& entry, const CollectionUse& use,
                    std::string* err) {
    return PrepareCollectionCopy(copy, entry, err) && use(copy, entry, err);
}

} // namespace

std::string OverLimitText(const std::string& entry, uint64_t stated, uint64_t limit) {
    const std::string what = stated ? " states " + SizeText(stated) + " uncompressed, more than "
                                    : " unpacks to more than ";
    return entry + what + "the limit of " + SizeText(limit) + " (a damaged package or a zip bomb)";
}

bool WithPackageCollection(const std::string& path, uint64_t max_bytes, const CollectionUse& use,
                           std::string* err) {
    return WithUnpackedCollection(
        path, max_bytes,
        [&](const std::string& copy, const std::string& entry, std::string* why) {
            return UseCheckedCopy(copy, entry, use, why);
        },
        err);
}

bool ReadPackage(const std::string& path, const ReadOptions& options, const NoteSink& sink,
                 ReadInfo* info, std::string* err) {
    return WithPackageCollection(
        path, options.max_bytes,
        [&](const std::string& copy, const std::string& entry, std::string* why) {
            return ReadNotes(copy, entry, options, sink, info, why);
        },
        err);
}

bool ReadPackageBuffer(const void* data, size_t size, const ReadOptions& options,
                       const NoteSink& sink, ReadInfo* info, std::string* err) {
    return WithUnpackedCollection(
        data, size, options.max_bytes,
        [&](const std::string& copy, const std::string& entry, std::string* why) {
            return PrepareCollectionCopy(copy, entry, why) &&
                   ReadNotes(copy, entry, options, sink, info, why);
        },
        err);
}

} // namespace deck::anki
