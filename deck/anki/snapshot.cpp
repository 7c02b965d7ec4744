// The snapshot of a collection: SQLite's shared lock taken by hand, and a copy.
#include "deck/anki/snapshot.h"

#include "deck/base/files.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <vector>

namespace deck::anki {

namespace {

// SQLite's unix locks are fcntl locks on bytes past the first GiB: the pending byte, the
// reserved byte, then 510 shared bytes. A reader holds a read lock on the shared range; a
// connection in exclusive locking mode (Anki) holds a write lock on it.
constexpr off_t kPendingByte = 0x40000000;
constexpr off_t kSharedFirst = kPendingByte + 2;
constexpr off_t kSharedSize = 510;

// How long a lock held by another program is waited for before it counts as Anki's.
constexpr int kLockWaitMs = 250;

// An open file description lock (F_OFD_*), so that it conflicts with SQLite's locks even when
// this process holds them, and no close elsewhere in the process drops it; where the system
// has none, a classic one.
bool SetLock(int fd, short type, off_t start, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) {
        return true;
    }
    if (errno == EINVAL) {
        return fcntl(fd, F_SETLK, &lock) == 0;
    }
    // A file system without locks (ENOLCK) cannot tell either; the copy goes ahead.
    return errno == ENOLCK;
}

// SQLite's SHARED lock: a read lock on the pending byte while the shared range is locked.
bool TrySharedLock(int fd) {
    if (!SetLock(fd, F_RDLCK, kPendingByte, 1)) {
        return false;
    }
    bool shared = SetLock(fd, F_RDLCK, kSharedFirst, kSharedSize);
    SetLock(fd, F_UNLCK, kPendingByte, 1);
    return shared;
}

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
        struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

bool CopyFile(int from, const std::string& to, std::string* err) {
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        *err = "cannot write the temporary copy " + to + " (" + strerror(errno) + ")";
        return false;
    }
    std::vector<char> buffer(1 << 20);
    bool ok = true;
    for (off_t at = 0;;) {
        ssize_t got = pread(from, buffer.data(), buffer.size(), at);
        if (got < 0 && errno == EINTR) {
            continue;
        }
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
            *err = "cannot write the temporary copy " + to + " (" + strerror(errno) + ")";
            close(out);
            return false;
        }
    }
    if (close(out) != 0 && ok) {
        *err = "cannot write the temporary copy " + to + " (" + strerror(errno) + ")";
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
        close(fd);
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
        close(wal);
    }
    close(fd); // drops the lock
    return ok;
}

} // namespace deck::anki
