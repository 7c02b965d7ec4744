// A snapshot of a user's Anki collection, taken without touching it.
//
// Anki opens its collection with SQLite's exclusive locking mode and write-ahead log, so while
// Anki runs no other program can read it, and a -wal file beside it may hold changes that are
// not yet in the main file. SQLite itself would create -wal and -shm files beside the
// collection even to read it. So the collection is never opened through SQLite: its bytes and
// those of its -wal are copied into a private temporary folder, under a shared lock taken on
// the same bytes SQLite locks, and the copy is what gets opened. The collection's bytes, time
// stamps and folder stay as they were.
#pragma once

#include <string>

namespace deck::anki {

// Copies `collection`, and its -wal when there is one, to `copy` and `copy`-wal. False with
// *busy set when another program (Anki) holds the collection locked, else false with *err set
// when the collection cannot be read or the copy cannot be written.
bool TakeSnapshot(const std::string& collection, const std::string& copy, bool* busy,
                  std::string* err);

} // namespace deck::anki
