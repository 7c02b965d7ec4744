// A snapshot of a user's Anki collection, taken without touching it.
//
// Anki opens its collection with SQLite's exclusive locking mode and write-ahead log, so while
// Anki runs no other program can read it, and a -wal file beside it may hold changes that are
// not yet in the main file. SQLite itself would create -wal and -shm files beside the
// collection even to read it. So the collection is never opened through SQLite: its bytes and
// those of its -wal are copied into a private temporary folder, under a shared lock taken on
// the same bytes SQLite locks, and the copy is what gets opened. Only what SQLite can use is
// copied, so that the copy is never larger than the collection as SQLite reads it. The collection's
// bytes, time stamps and folder stay as they were.
#pragma once

#include <string>

namespace deck::anki {

// Copies `collection`, and of its -wal the part that SQLite would use (wal.h), to `copy` and
// `copy`-wal; a -wal of which SQLite would use nothing is not copied. Together they are held
// to `max_bytes`, checked before anything is copied. False with *busy set when another
// program (Anki) holds the collection locked, else false with *err set when the collection or
// its -wal cannot be read (either is not a regular file), they are larger than `max_bytes`,
// or the copy cannot be written.
bool TakeSnapshot(const std::string& collection, const std::string& copy, uint64_t max_bytes,
                  bool* busy, std::string* err);

} // namespace deck::anki
