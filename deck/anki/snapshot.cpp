// The snapshot of a collection: SQLite's shared lock taken by hand, and a copy.
#include "deck/anki/snapshot.h"

#include "deck/anki/system.h"
#include "deck/base/files.h"

#include <errno.h>
#include <string.h>

#include <chrono>
#include <thread>
#include <vector>

namespace deck::anki {

namespace {

// How long a lock held by another program is waited for before it counts as Anki's.
constexpr int kLockWaitMs = 250;

// Waits up to kLockWaitMs for the shared lock: a writer between two statements lets go at
// once; a program that keeps the lock is Anki.
bool SharedLock(int fd) {
    for (int waited = 0;; waited += 10) {
        if (TrySharedLock(fd)) {
            return true;
        }
        if (waited >= kLockWaitMs) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool CopyFile(int from, const std::string& to, std::string* err) {
    int out = CreateNewFile(to);
    if (out < 0) {
        *err = "cannot write the temporary copy " + to + " (" +
               WriteError(errno, ParentFolder(ParentFolder(to))) + ")";
        return false;
    }
    std::vector<char> buffer(1 << 20);
    bool ok = true;
    for (int64_t at = 0;;) {
        ssize_t got = ReadAt(from, buffer.data(), buffer.size(), at);
        if (got < 0) {
            *err = std::string("cannot be read (") + strerror(errno) + ")";
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        at += got;
        if (!WriteFull(out, buffer.data(), static_cast<size_t>(got))) {
            *err = "cannot write the temporary copy " + to + " (" +
                   WriteError(errno, ParentFolder(ParentFolder(to))) + ")";
            CloseFile(out);
            return false;
        }
    }
    if (!CloseFile(out) && ok) {
        *err = "cannot write the temporary copy " + to + " (" +
               WriteError(errno, ParentFolder(ParentFolder(to))) + ")";
        ok = false;
    }
    return ok;
}

} // namespace

bool TakeSnapshot(const std::string& collection, const std::string& copy, bool* busy,
                  std::string* err) {
    *busy = false;
    int fd = OpenQuietly(collection);
    if (fd < 0) {
        *err = std::string("cannot be read (") + strerror(errno) + ")";
        return false;
    }
    if (!SharedLock(fd)) {
        CloseFile(fd);
        *busy = true;
        return false;
    }
    // Under the shared lock no connection can write the main file in rollback mode, nor take
    // the exclusive lock it needs to empty the log into the main file and remove it on closing.
    bool ok = CopyFile(fd, copy, err);
    int wal = ok ? OpenQuietly(collection + "-wal") : -1;
    if (ok && wal < 0 && errno != ENOENT) {
        *err = std::string("its -wal file cannot be read (") + strerror(errno) + ")";
        ok = false;
    }
    if (ok && wal >= 0) {
        ok = CopyFile(wal, copy + "-wal", err);
    }
    if (wal >= 0) {
        CloseFile(wal);
    }
    DropSharedLock(fd);
    CloseFile(fd);
    return ok;
}

} // namespace deck::anki
