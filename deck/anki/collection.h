// The SQLite collection of an Anki package or profile, read from a private copy: opened
// read-only with SQLite's defensive settings, its notes handed out in note-id order.
#pragma once

#include "deck/anki/sqlite.h"
#include "deck/base/files.h"
#include "deck/anki/package.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace deck::anki {

// The path of a collection's private copy in `folder`, with the files SQLite may make beside it
// (-wal, -shm, -journal) registered, so that a signal removes them too.
std::string CollectionCopyIn(TempFolder& folder);

// Each of these is false with *err set to what is wrong, in words for the user.

// Checks that a private copy of a collection is an SQLite database. A collection saved in WAL
// mode is switched to the rollback journal in the copy, so that a read-only open needs no -wal
// or -shm file.
bool PrepareCollectionCopy(const std::string& path, const std::string& entry, std::string* err);

// Opens a private copy of a collection read-only, with the defensive settings every collection
// gets (no triggers, views or extensions; a stand-in for Anki's unicase collation).
bool OpenCollectionFile(const std::string& path, const std::string& entry, DbPtr* db,
                        std::string* err);

// Always false, with *err set to the last error of `db`: not an SQLite database, or a damaged
// collection. Memory that SQLite ran out of is no damage: it throws std::bad_alloc, as the
// tool's own allocations do, for the command's end.
bool CollectionError(sqlite3* db, const std::string& entry, std::string* err);

// The notes of a collection file that is already a private copy, as ReadPackage hands them out:
// each with its first card (with ReadOptions::deck, its first card in that deck and its
// subdecks; notes without one there are passed over).
bool ReadNotes(const std::string& path, const std::string& entry, const ReadOptions& options,
               const NoteSink& sink, ReadInfo* info, std::string* err);

// A row of the notes table.
struct NoteRow {
    int64_t type = 0;
    std::vector<std::string> fields;
    std::string tags;
};

// The notes with these ids (those that exist), by id. Returns an SQLite result code.
int ReadNoteRows(sqlite3* db, std::vector<int64_t> ids,
                 std::unordered_map<int64_t, NoteRow>* notes);

} // namespace deck::anki
