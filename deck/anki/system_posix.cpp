// The Anki part's system interface on POSIX systems: libzip's own open, SQLite's unix locks,
// and Anki's folders on Linux.
#include "deck/anki/system.h"

#include "deck/base/process.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace deck::anki {

namespace {

// SQLite's unix locks are fcntl locks on bytes past the first GiB: the pending byte, the
// reserved byte, then 510 shared bytes. A reader holds a read lock on the shared range; a
// connection in exclusive locking mode (Anki) holds a write lock on it.
constexpr off_t kPendingByte = 0x40000000;
constexpr off_t kSharedFirst = kPendingByte + 2;
constexpr off_t kSharedSize = 510;

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

std::string Home() {
    std::string home;
    if (GetEnv("HOME", &home) && !home.empty()) {
        return home;
    }
    const passwd* user = getpwuid(getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

} // namespace

zip_t* OpenZipFile(const std::string& path, int flags, int* error) {
    return zip_open(path.c_str(), flags, error);
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

void DropSharedLock(int fd) {
    SetLock(fd, F_UNLCK, kSharedFirst, kSharedSize);
}

void PrepareSqliteFiles() {}

std::string DefaultAnkiBase() {
    std::string data;
    // The XDG rule: an unset or relative XDG_DATA_HOME is ignored.
    std::string native = GetEnv("XDG_DATA_HOME", &data) && data[0] == '/'
                             ? data + "/Anki2"
                             : Home() + "/.local/share/Anki2";
    std::string flatpak = Home() + "/.var/app/net.ankiweb.Anki/data/Anki2";
    if (!IsFolder(native) && IsFolder(flatpak)) {
        return flatpak;
    }
    return native;
}

} // namespace deck::anki
