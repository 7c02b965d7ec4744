// The snapshot of a collection: a private folder, SQLite's shared lock taken by hand, a copy.
#include "deck/anki_snapshot.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <vector>

namespace deck {

namespace {

// SQLite's unix locks are fcntl locks on bytes past the first GiB: the pending byte, the
// reserved byte, then 510 shared bytes. A reader holds a read lock on the shared range; a
// connection in exclusive locking mode (Anki) holds a write lock on it.
constexpr off_t kPendingByte = 0x40000000;
constexpr off_t kSharedFirst = kPendingByte + 2;
constexpr off_t kSharedSize = 510;

// The files a snapshot folder can hold: the copy and what SQLite makes beside it.
const char* const kCopyFiles[] = {"", "-wal", "-shm", "-journal"};

// The folder that a signal removes: its paths are made when it is created, because a signal
// handler may not allocate.
struct Registered {
    char files[4][PATH_MAX];
    char folder[PATH_MAX];
    bool active;
};
Registered g_registered;
struct sigaction g_old[3];
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RemoveRegistered() {
    if (!g_registered.active) {
        return;
    }
    for (const char* file : g_registered.files) {
        unlink(file);
    }
    rmdir(g_registered.folder);
}

void OnSignal(int signal) {
    RemoveRegistered();
    g_registered.active = false;
    // The program ends as the signal would have ended it.
    for (size_t i = 0; i < 3; ++i) {
        if (kSignals[i] == signal) {
            sigaction(signal, &g_old[i], nullptr);
        }
    }
    raise(signal);
}

void Register(const std::string& folder) {
    if (folder.size() + 32 >= PATH_MAX || g_registered.active) {
        return;
    }
    for (size_t i = 0; i < 4; ++i) {
        snprintf(g_registered.files[i], PATH_MAX, "%s/collection%s", folder.c_str(), kCopyFiles[i]);
    }
    snprintf(g_registered.folder, PATH_MAX, "%s", folder.c_str());
    g_registered.active = true;
    for (size_t i = 0; i < 3; ++i) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        sigaction(kSignals[i], nullptr, &g_old[i]);
        // A program that handles the signal itself keeps its handler.
        if (g_old[i].sa_handler == SIG_DFL) {
            sigaction(kSignals[i], &action, nullptr);
        }
    }
}

void Unregister(const std::string& folder) {
    if (!g_registered.active || folder != g_registered.folder) {
        return;
    }
    for (size_t i = 0; i < 3; ++i) {
        struct sigaction now {};
        sigaction(kSignals[i], nullptr, &now);
        if (now.sa_handler == OnSignal) {
            sigaction(kSignals[i], &g_old[i], nullptr);
        }
    }
    g_registered.active = false;
}

// Opens for reading without changing the file's access time where the system allows it (the
// owner of the file may ask for that).
int OpenQuietly(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    return fd;
}

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

bool CopyFile(int from, const std::string& to, std::string* message) {
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        *message = "cannot write the temporary copy " + to + " (" + strerror(errno) + ")";
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
            *message = std::string("cannot be read (") + strerror(errno) + ")";
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        at += got;
        for (ssize_t done = 0; done < got;) {
            ssize_t n = write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                *message = "cannot write the temporary copy " + to + " (" + strerror(errno) + ")";
                close(out);
                return false;
            }
            done += n;
        }
    }
    if (close(out) != 0 && ok) {
        *message = "cannot write the temporary copy " + to + " (" + strerror(errno) + ")";
        ok = false;
    }
    return ok;
}

} // namespace

TempFolder::~TempFolder() {
    if (path_.empty()) {
        return;
    }
    Unregister(path_);
    if (DIR* dir = opendir(path_.c_str())) {
        std::vector<std::string> names;
        while (const dirent* entry = readdir(dir)) {
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
                names.push_back(path_ + "/" + entry->d_name);
            }
        }
        closedir(dir);
        for (const std::string& name : names) {
            unlink(name.c_str());
        }
    }
    rmdir(path_.c_str());
}

bool TempFolder::Create() {
    const char* base = getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/tollamy-anki-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return false;
    }
    path_ = pattern;
    Register(path_);
    return true;
}

int TakeSnapshot(const std::string& collection, const std::string& copy, std::string* message) {
    int fd = OpenQuietly(collection);
    if (fd < 0) {
        *message = std::string("cannot be read (") + strerror(errno) + ")";
        return kSnapshotIoError;
    }
    if (!SharedLock(fd)) {
        close(fd);
        return kSnapshotBusy;
    }
    // Under the shared lock no connection can write the main file in rollback mode, nor take
    // the exclusive lock it needs to empty the log into the main file and remove it on closing.
    bool ok = CopyFile(fd, copy, message);
    int wal = ok ? OpenQuietly(collection + "-wal") : -1;
    if (ok && wal < 0 && errno != ENOENT) {
        *message = std::string("its -wal file cannot be read (") + strerror(errno) + ")";
        ok = false;
    }
    if (ok && wal >= 0) {
        ok = CopyFile(wal, copy + "-wal", message);
    }
    if (wal >= 0) {
        close(wal);
    }
    close(fd); // drops the lock
    return ok ? kSnapshotOk : kSnapshotIoError;
}

int LooksLikeSqlite(const std::string& path) {
    int fd = OpenQuietly(path);
    if (fd < 0) {
        return 0;
    }
    char head[16] = {};
    ssize_t got = pread(fd, head, sizeof head, 0);
    close(fd);
    return got == 16 && memcmp(head, "SQLite format 3", 16) == 0;
}

} // namespace deck
