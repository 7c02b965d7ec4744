// The package reader: the newest collection of the archive, unpacked into a private copy
// (apkg_archive.cpp), checked and read as an SQLite collection (apkg_collection.cpp).
#include "deck/apkg.h"

#include "deck/apkg_archive.h"
#include "deck/apkg_collection.h"

#include <cstdio>

namespace apkg {
namespace {

std::string SizeText(uint64_t bytes) {
    char text[64];
    if (bytes >= (1ull << 30) && bytes % (1ull << 30) == 0) {
        snprintf(text, sizeof text, "%llu GiB", (unsigned long long)(bytes >> 30));
    } else if (bytes >= (1ull << 20) && bytes % (1ull << 20) == 0) {
        snprintf(text, sizeof text, "%llu MiB", (unsigned long long)(bytes >> 20));
    } else {
        snprintf(text, sizeof text, "%llu bytes", (unsigned long long)bytes);
    }
    return text;
}

// Calls `use` with the unpacked copy once it has been checked to be an SQLite database.
int UseCheckedCopy(const std::string& copy, const std::string& entry, const CollectionUse& use,
                   std::string* message) {
    int result = PrepareCollectionCopy(copy, entry, message);
    return result == kOk ? use(copy, entry) : result;
}

} // namespace

std::string OverLimitText(const std::string& entry, uint64_t stated, uint64_t limit) {
    const std::string what = stated ? " states " + SizeText(stated) + " uncompressed, more than "
                                    : " unpacks to more than ";
    return entry + what + "the limit of " + SizeText(limit) + " (a damaged package or a zip bomb)";
}

int WithPackageCollection(const std::string& path, uint64_t max_bytes, const CollectionUse& use,
                          std::string* message) {
    return WithUnpackedCollection(
        path, max_bytes,
        [&](const std::string& copy, const std::string& entry) {
            return UseCheckedCopy(copy, entry, use, message);
        },
        message);
}

int ReadPackage(const std::string& path, const ReadOptions& options, const NoteSink& sink,
                ReadInfo* info, std::string* message) {
    return WithPackageCollection(
        path, options.max_bytes,
        [&](const std::string& copy, const std::string& entry) {
            return ReadCollectionFile(copy, entry, options, sink, info, message);
        },
        message);
}

int ReadPackageBuffer(const void* data, size_t size, const ReadOptions& options,
                      const NoteSink& sink, ReadInfo* info, std::string* message) {
    const CollectionUse read = [&](const std::string& copy, const std::string& entry) {
        return ReadCollectionFile(copy, entry, options, sink, info, message);
    };
    return WithUnpackedCollection(
        data, size, options.max_bytes,
        [&](const std::string& copy, const std::string& entry) {
            return UseCheckedCopy(copy, entry, read, message);
        },
        message);
}

} // namespace apkg
