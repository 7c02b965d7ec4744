// The SQLite collection of an Anki package or profile, read from a private copy: opened
// read-only with SQLite's defensive settings, its notes handed out in note-id order.
#pragma once

#include "deck/anki/sqlite.h"
#include "deck/anki/package.h"

#include <string>

namespace deck::anki {

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
// collection.
bool CollectionError(sqlite3* db, const std::string& entry, std::string* err);

// The notes of a collection file that is already a private copy, as ReadPackage hands them out.
bool ReadNotes(const std::string& path, const std::string& entry, const ReadOptions& options,
               const NoteSink& sink, ReadInfo* info, std::string* err);

} // namespace deck::anki
