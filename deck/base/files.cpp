// Whole reads and writes, the first bytes of a file, and temporary folders that a signal
// removes too.
#include "deck/base/files.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
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

} // namespace

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

int OpenQuietly(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    return fd;
}

std::string FileHead(const std::string& path, size_t size) {
    std::string head(size, '\0');
    int fd = OpenQuietly(path);
    if (fd < 0) {
        return std::string();
    }
    ssize_t got = ReadFull(fd, head.data(), size);
    close(fd);
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return head;
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

SignalsHeld::SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kSignals) {
        sigaddset(&held, signal);
    }
    pthread_sigmask(SIG_BLOCK, &held, &old_);
}

SignalsHeld::~SignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

TempFolder::~TempFolder() {
    if (path_.empty()) {
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool TempFolder::Create(const char* purpose, std::string* err) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) {
        *err = "cannot find the temporary folder (" + ec.message() + ")";
        return false;
    }
    std::string pattern = (base / purpose).string() + "-XXXXXX";
    SignalsHeld held;
    if (mkdtemp(pattern.data()) == nullptr) {
        *err = "cannot make a temporary folder in " + base.string() + " (" + strerror(errno) + ")";
        return false;
    }
    path_ = pattern;
    folder_.Register(path_, true);
    return true;
}

std::string TempFolder::File(const std::string& name) {
    std::string path = path_ + "/" + name;
    if (used_ < kFiles) {
        files_[used_++].Register(path, false);
    }
    return path;
}

} // namespace deck
