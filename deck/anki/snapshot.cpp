// The snapshot of a collection: SQLite's shared lock taken by hand, and a copy.
#include "deck/anki/snapshot.h"

#include "deck/anki/package.h"
#include "deck/anki/system.h"
#include "deck/anki/wal.h"
#include "deck/base/files.h"
#include "deck/base/limits.h"

#include <errno.h>
#include <string.h>

#include <algorithm>
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

// Why the copy `to`, in a private folder of the temporary folder, could not be written: its
// disk named by the temporary folder.
std::string CopyWriteError(const std::string& to) {
    return "cannot write the temporary copy " + to + " (" +
           WriteError(errno, ParentFolder(ParentFolder(to))) + ")";
}

// Copies the first `size` bytes of `from` to the new file `to`.
bool CopyFile(int from, int64_t size, const std::string& to, std::string* err) {
    int out = CreateNewFile(to);
    if (out < 0) {
        *err = CopyWriteError(to);
        return false;
    }
    std::vector<char> buffer(1 << 20);
    bool ok = true;
    for (int64_t at = 0; at < size;) {
        const size_t want =
            static_cast<size_t>(std::min<int64_t>(size - at, static_cast<int64_t>(buffer.size())));
        ssize_t got = ReadAt(from, buffer.data(), want, at);
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
            *err = CopyWriteError(to);
            CloseFile(out);
            return false;
        }
    }
    if (!CloseFile(out) && ok) {
        *err = CopyWriteError(to);
        ok = false;
    }
    return ok;
}

// What of the collection open at `fd` and of its -wal (`wal`, -1 when there is none) is to be
// copied, held to `limit`.
bool Measure(int fd, int wal, int64_t limit, int64_t* size, WalExtent* log, std::string* err) {
    FileInfo info;
    if (!StatFile(fd, &info)) {
        *err = std::string("cannot be read (") + strerror(errno) + ")";
        return false;
    }
    *size = info.size;
    const std::string over =
        "the limit of " + SizeText(static_cast<uint64_t>(limit)) + " on a collection";
    if (info.size > limit) {
        *err = "is " + SizeText(static_cast<uint64_t>(info.size)) + ", more than " + over;
        return false;
    }
    if (wal >= 0 && !ReadWalExtent(wal, limit - info.size, log)) {
        *err = std::string("its -wal file cannot be read (") + strerror(errno) + ")";
        return false;
    }
    if (log->over) {
        *err = "is " + SizeText(static_cast<uint64_t>(info.size)) +
               ", and with the changes in its -wal file more than " + over;
        return false;
    }
    return true;
}

} // namespace

bool TakeSnapshot(const std::string& collection, const std::string& copy, uint64_t max_bytes,
                  bool* busy, std::string* err) {
    *busy = false;
    int fd = OpenQuietly(collection);
    if (fd < 0) {
        *err = "cannot be read (" + OpenErrorText(errno) + ")";
        return false;
    }
    if (!SharedLock(fd)) {
        CloseFile(fd);
        *busy = true;
        return false;
    }
    // Under the shared lock no connection can write the main file in rollback mode, nor take
    // the exclusive lock it needs to empty the log into the main file and remove it on closing.
    bool ok = true;
    int wal = OpenQuietly(collection + "-wal");
    if (wal < 0 && errno != ENOENT) {
        *err = "its -wal file cannot be read (" + OpenErrorText(errno) + ")";
        ok = false;
    }
    const int64_t limit = static_cast<int64_t>(std::min<uint64_t>(max_bytes, INT64_MAX));
    int64_t size = 0;
    WalExtent log;
    ok = ok && Measure(fd, wal, limit, &size, &log, err) && CopyFile(fd, size, copy, err);
    // SQLite ignores a log of which it can use nothing; the copy goes without it.
    if (ok && log.bytes > 0) {
        ok = CopyFile(wal, log.bytes, copy + "-wal", err);
    }
    if (wal >= 0) {
        CloseFile(wal);
    }
    DropSharedLock(fd);
    CloseFile(fd);
    return ok;
}

} // namespace deck::anki
