// Files, folders and paths on POSIX systems, and the removal of temporary files when SIGINT,
// SIGTERM or SIGHUP ends the program, or an end that unwinds nothing (std::terminate).
#include "deck/base/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace deck {

namespace {

// The paths that a signal removes. They are copied into fixed slots when registered, because
// a signal handler may not allocate; the handler calls only unlink, rmdir, sigaction and raise,
// which are async-signal-safe.
constexpr int kSlots = 32;
struct Slot {
    char path[PATH_MAX];
    bool folder;
    volatile sig_atomic_t used;
};
Slot g_slots[kSlots];
int g_registered = 0;
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_old[3];

void RemoveAll() {
    // Files first, then the folders that held them.
    for (bool folders : {false, true}) {
        for (Slot& slot : g_slots) {
            if (slot.used && slot.folder == folders) {
                folders ? rmdir(slot.path) : unlink(slot.path);
                slot.used = 0;
            }
        }
    }
}

void OnSignal(int signal) {
    RemoveAll();
    // The program ends as the signal would have ended it.
    for (size_t i = 0; i < 3; ++i) {
        if (kSignals[i] == signal) {
            sigaction(signal, &g_old[i], nullptr);
        }
    }
    raise(signal);
}

void InstallHandlers() {
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

void RestoreHandlers() {
    for (size_t i = 0; i < 3; ++i) {
        struct sigaction now {};
        sigaction(kSignals[i], nullptr, &now);
        if (now.sa_handler == OnSignal) {
            sigaction(kSignals[i], &g_old[i], nullptr);
        }
    }
}

void Describe(const struct stat& st, FileInfo* info) {
    info->kind = S_ISREG(st.st_mode)   ? PathKind::kFile
                 : S_ISDIR(st.st_mode) ? PathKind::kFolder
                                       : PathKind::kOther;
    info->size = static_cast<int64_t>(st.st_size);
    info->mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info->device = static_cast<uint64_t>(st.st_dev);
    info->id = static_cast<uint64_t>(st.st_ino);
}

// Opens `path` for reading without waiting: a FIFO without a writer would block open() and
// every read, a device may never end. Only a regular file or a folder is kept, and it is then
// read as usual (blocking); anything else is closed again with ENXIO.
int OpenFileToRead(const std::string& path, int flags) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    int error = fstat(fd, &st) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        error = ENXIO;
    }
    const int status = error == 0 ? fcntl(fd, F_GETFL) : -1;
    if (error == 0 && (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0)) {
        error = errno;
    }
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

mode_t Umask() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

} // namespace

const char kPathSeparator = '/';

bool IsPathSeparator(char c) {
    return c == '/';
}

ssize_t ReadFull(int fd, void* buffer, size_t size) {
    char* to = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = read(fd, to + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool WriteFull(int fd, const void* data, size_t size) {
    const char* from = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, from, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        from += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

ssize_t ReadAt(int fd, void* buffer, size_t size, int64_t offset) {
    char* to = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = pread(fd, to + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool WriteAt(int fd, const void* data, size_t size, int64_t offset) {
    const char* from = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = pwrite(fd, from, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        from += n;
        offset += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool SeekTo(int fd, int64_t offset) {
    return lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool SyncFile(int fd) {
    return fsync(fd) == 0;
}

bool CloseFile(int fd) {
    return close(fd) == 0;
}

int OpenRead(const std::string& path) {
    return OpenFileToRead(path, 0);
}

int OpenQuietly(const std::string& path) {
    int fd = OpenFileToRead(path, O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = OpenFileToRead(path, 0);
    }
    return fd;
}

int OpenReadWrite(const std::string& path) {
    return open(path.c_str(), O_RDWR | O_CLOEXEC);
}

int CreateNewFile(const std::string& path) {
    return open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

int MakeTempFile(const std::string& folder, const std::string& prefix, std::string* path) {
    std::string pattern = folder + "/" + prefix + "XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        return -1;
    }
    // mkstemp makes it 0600; a deck is readable as any file the user makes.
    fchmod(fd, 0644 & ~Umask());
    *path = pattern;
    return fd;
}

bool StatPath(const std::string& path, FileInfo* info) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return false;
    }
    Describe(st, info);
    return true;
}

bool StatFile(int fd, FileInfo* info) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        return false;
    }
    Describe(st, info);
    return true;
}

bool IsLink(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string ResolvePath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return std::string();
    }
    std::string text = resolved;
    free(resolved);
    return text;
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
    entries->clear();
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return false;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        FolderEntry e;
        e.name = name;
        struct stat st {};
        if (fstatat(dirfd(dir), entry->d_name, &st, 0) == 0) {
            Describe(st, &e.info);
        }
        entries->push_back(std::move(e));
    }
    closedir(dir);
    return true;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

bool MakeFolders(const std::string& path, std::string* err) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) {
        *err = ec.message();
        return false;
    }
    return true;
}

void RemoveTree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string SystemTempFolder(std::string* err) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) {
        *err = "cannot find the temporary folder (" + ec.message() + ")";
        return std::string();
    }
    return base.string();
}

bool MakePrivateFolder(const std::string& base, const std::string& prefix, std::string* path) {
    std::string pattern = (std::filesystem::path(base) / prefix).string() + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return false;
    }
    *path = pattern;
    return true;
}

bool RemovedOnSignal::Register(const std::string& path, bool folder) {
    Release();
    if (path.size() >= PATH_MAX) {
        return false;
    }
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (!slot.used) {
            memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.folder = folder;
            slot.used = 1;
            slot_ = i;
            if (g_registered++ == 0) {
                InstallHandlers();
            }
            return true;
        }
    }
    return false;
}

void RemovedOnSignal::Release() {
    if (slot_ < 0) {
        return;
    }
    g_slots[slot_].used = 0;
    slot_ = -1;
    if (--g_registered == 0) {
        RestoreHandlers();
    }
}

void RemoveRegisteredPaths() {
    RemoveAll();
}

static_assert(sizeof(sigset_t) <= 128, "SignalsHeld keeps a sigset_t");

SignalsHeld::SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kSignals) {
        sigaddset(&held, signal);
    }
    pthread_sigmask(SIG_BLOCK, &held, reinterpret_cast<sigset_t*>(old_));
}

SignalsHeld::~SignalsHeld() {
    pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(old_), nullptr);
}

} // namespace deck
