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

namespace deck {

// A private folder under $TMPDIR (or /tmp), mode 0700, removed with everything in it when the
// owner goes, and also when SIGINT, SIGTERM or SIGHUP ends the program while it exists.
class TempFolder {
public:
    TempFolder() = default;
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    // False (with errno set) when the folder cannot be made.
    bool Create();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

enum SnapshotResult {
    kSnapshotOk = 0,
    kSnapshotBusy,    // another program (Anki) holds the collection locked
    kSnapshotIoError, // the collection cannot be read, or the copy cannot be written
};

// How long a lock held by another program is waited for before it counts as Anki's.
constexpr int kLockWaitMs = 250;

// Copies `collection`, and its -wal when there is one, to `copy` and `copy`-wal. Returns a
// SnapshotResult; on kSnapshotIoError `*message` says why.
int TakeSnapshot(const std::string& collection, const std::string& copy, std::string* message);

// 1 when the file begins with the SQLite header ("SQLite format 3").
int LooksLikeSqlite(const std::string& path);

} // namespace deck
