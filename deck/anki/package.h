// Reading Anki packages (.apkg): a ZIP archive that holds an SQLite collection.
//
// The reader takes the newest collection in the archive (collection.anki21b, compressed with
// Zstandard, before collection.anki21 before collection.anki2), unpacks it into a private
// temporary file (archive.cpp, zstd.cpp), opens that read-only with SQLite's defensive settings
// and hands out the notes in note-id order (collection.cpp). It writes nothing but its own
// temporary file, which it removes before it returns, also on failure or a signal.
#pragma once

#include "deck/anki/schema.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace deck::anki {

// The largest collection the reader unpacks: both the sizes that the archive states and the
// bytes that decompression really gives are held to it.
constexpr uint64_t kMaxCollectionBytes = 1ull << 30; // 1 GiB

struct NoteType;

struct Note {
    int64_t id = 0;
    std::vector<std::string> fields;      // UTF-8, in the order of the note type's fields
    bool cloze = false;                   // the note type is a cloze type
    std::string type_name;                // the note type's name ("" when the type is unknown)
    std::vector<std::string> field_names; // the note type's field names, in field order
    const NoteType* type = nullptr;       // its templates too (null when the type is unknown)
    std::string tags;                     // as the notes table keeps them: " a b "
    // The note's first card: its lowest card number (among the cards in the chosen deck); -1
    // for a note without cards. Its home deck and flags.
    int64_t card_ord = -1;
    std::string card_deck;
    int card_flags = 0;
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
    // What of the note types and decks is damaged, with what was assumed (see CheckSchema).
    std::vector<std::string> warnings;
    // The note types and decks read; the notes' `type` points into them, also after the
    // reading.
    std::shared_ptr<const Schema> schema;
};

// Called once per note, in note-id order. It may take the note's fields (swap them out for
// others): the reader fills them anew for each note.
using NoteSink = std::function<void(Note&)>;

// Reads the package at `path`. False with *err set to what is wrong, in words for the user
// (without the file name).
bool ReadPackage(const std::string& path, const ReadOptions& options, const NoteSink& sink,
                 ReadInfo* info, std::string* err);

// The same for a package held in memory (used by the fuzz target).
bool ReadPackageBuffer(const void* data, size_t size, const ReadOptions& options,
                       const NoteSink& sink, ReadInfo* info, std::string* err);

// --- Seams for the readers of whole collections (the schedule, the decks listing) ---------

// Called with the path of a private copy of a collection and the name it is known by
// ("collection.anki21b"). False with *err set stops the reading with that error.
using CollectionUse =
    std::function<bool(const std::string& copy, const std::string& entry, std::string* err)>;

// Unpacks the newest collection of the package at `path` into a private temporary file, checks
// that it is an SQLite database and calls `use` with it. The file is removed before this
// returns. False with *err set when the package or `use` failed.
bool WithPackageCollection(const std::string& path, uint64_t max_bytes, const CollectionUse& use,
                           std::string* err);

// The message for a collection larger than `limit`: as `stated` by the archive or the
// Zstandard frame, or (stated 0) as it really unpacks.
std::string OverLimitText(const std::string& entry, uint64_t stated, uint64_t limit);

} // namespace deck::anki
