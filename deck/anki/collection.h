// The SQLite collection of an Anki package or profile, read from a private copy: opened
// read-only with SQLite's defensive settings, its notes handed out in note-id order.
#pragma once

#include "deck/anki_sqlite.h"
#include "deck/apkg.h"

#include <string>

namespace apkg {

// Checks that a private copy of a collection is an SQLite database (kNotSqlite otherwise). A
// collection saved in WAL mode is switched to the rollback journal in the copy, so that a
// read-only open needs no -wal or -shm file.
int PrepareCollectionCopy(const std::string& path, const std::string& entry, std::string* message);

// Opens a private copy of a collection read-only, with the defensive settings every collection
// gets (no triggers, views or extensions; a stand-in for Anki's unicase collation).
int OpenCollectionFile(const std::string& path, const std::string& entry, DbPtr* db,
                       std::string* message);

// The Result and message for the last error of `db` (kNotSqlite or kBadCollection).
int CollectionError(sqlite3* db, const std::string& entry, std::string* message);

// ReadPackage for an SQLite collection file that is already a private copy.
int ReadCollectionFile(const std::string& path, const std::string& entry,
                       const ReadOptions& options, const NoteSink& sink, ReadInfo* info,
                       std::string* message);

} // namespace apkg
