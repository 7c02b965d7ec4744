// Reading Anki packages (.apkg): a ZIP archive that holds an SQLite collection.
//
// The reader takes the newest collection in the archive (collection.anki21b, compressed with
// Zstandard, before collection.anki21 before collection.anki2), unpacks it into a private
// temporary file (apkg_archive.cpp, apkg_zstd.cpp), opens that read-only with SQLite's
// defensive settings and hands out the notes in note-id order (apkg_collection.cpp). It writes
// nothing but its own temporary file, which it removes before it returns, also on failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace apkg {

// The largest collection the reader unpacks: both the sizes that the archive states and the
// bytes that decompression really gives are held to it.
constexpr uint64_t kMaxCollectionBytes = 1ull << 30; // 1 GiB

enum Result {
    kOk = 0,
    kIoError,       // the package or the temporary copy cannot be read or written
    kNotZip,        // not a ZIP archive, or a truncated or damaged one
    kNoCollection,  // a ZIP archive without collection.anki21b, .anki21 or .anki2
    kTooLarge,      // the collection is larger than the limit (stated or unpacked)
    kBadZstd,       // collection.anki21b is not a complete Zstandard stream
    kNotSqlite,     // the collection is not an SQLite database
    kBadCollection, // an SQLite database without the tables of a collection, or damaged
    kNoSuchDeck,    // --deck names no deck of the package
    kStopped,       // the note callback asked to stop
    kBusy,          // Anki holds the collection open, and there is no backup to read instead
};

struct Note {
    int64_t id = 0;
    std::vector<std::string> fields;      // UTF-8, in the order of the note type's fields
    bool cloze = false;                   // the note type is a cloze type
    std::string type_name;                // the note type's name ("" when the type is unknown)
    std::vector<std::string> field_names; // the note type's field names, in field order
};

struct ReadOptions {
    std::string deck;                         // "": every note; else this deck and its subdecks
    uint64_t max_bytes = kMaxCollectionBytes; // limit on the unpacked collection
    const char* kind = "package";             // what messages call the input
};

struct ReadInfo {
    std::string entry;              // the archive entry read, e.g. "collection.anki21b"
    uint64_t notes_in_package = 0;  // rows of the notes table
    uint64_t notes_read = 0;        // notes handed to the callback (after --deck)
    std::vector<std::string> decks; // every deck's name, Parent::Child style, sorted
};

// Called once per note, in note-id order. A non-zero result stops the reading (kStopped).
using NoteSink = std::function<int(const Note&)>;

// Reads the package at `path`. Returns a Result; on failure `*message` tells what is wrong
// in words for the user (without the file name).
int ReadPackage(const std::string& path, const ReadOptions& options, const NoteSink& sink,
                ReadInfo* info, std::string* message);

// The same for a package held in memory (used by the fuzz target).
int ReadPackageBuffer(const void* data, size_t size, const ReadOptions& options,
                      const NoteSink& sink, ReadInfo* info, std::string* message);

// --- Seams for the readers of whole collections (the schedule, the decks listing) ---------

// Called with the path of a private copy of a collection and the name it is known by
// ("collection.anki21b"); its result is handed back.
using CollectionUse = std::function<int(const std::string& copy, const std::string& entry)>;

// Unpacks the newest collection of the package at `path` into a private temporary file, checks
// that it is an SQLite database and calls `use` with it. The file is removed before this
// returns. Returns a Result, or what `use` returned.
int WithPackageCollection(const std::string& path, uint64_t max_bytes, const CollectionUse& use,
                          std::string* message);

// The message for a collection larger than `limit`: as `stated` by the archive or the
// Zstandard frame, or (stated 0) as it really unpacks.
std::string OverLimitText(const std::string& entry, uint64_t stated, uint64_t limit);

} // namespace apkg
