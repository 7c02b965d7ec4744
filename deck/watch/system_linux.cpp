// The watch's system interface on Linux: inotify, the parent-death signal, flock and
// posix_spawn.
#include "deck/watch/system.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>

extern char** environ;

namespace deck::watch {

namespace {

// What changes a profile's collection, its log, its backups or a data folder's files: a file
// written, made, renamed or removed there, and the folder itself going.
constexpr uint32_t kEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                             IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

class InotifyWatch : public FolderWatch {
public:
    explicit InotifyWatch(int fd) : fd_(fd) {}
    ~InotifyWatch() override { close(fd_); }
    InotifyWatch(const InotifyWatch&) = delete;
    InotifyWatch& operator=(const InotifyWatch&) = delete;

    bool Follow(const std::vector<std::string>& folders, std::string* why) override {
        const std::set<std::string> wanted(folders.begin(), folders.end());
        for (auto it = folders_.begin(); it != folders_.end();) {
            if (wanted.count(it->second) == 0) {
                inotify_rm_watch(fd_, it->first);
                it = folders_.erase(it);
            } else {
                ++it;
            }
        }
        for (const std::string& folder : wanted) {
            if (Watched(folder)) {
                continue;
            }
            int wd = inotify_add_watch(fd_, folder.c_str(), kEvents);
            if (wd >= 0) {
                folders_[wd] = folder;
            } else if (errno == ENOSPC || errno == ENOMEM) {
                *why = "the system's limit of inotify watches is reached (" +
                       std::string(strerror(errno)) + ")";
                return false;
            }
            // A folder that is missing or cannot be read is not watched; the retries find it.
        }
        return true;
    }

    bool Wait(long milliseconds, std::vector<Seen>* seen, std::string* why) override {
        pollfd p{fd_, POLLIN, 0};
        int n = poll(&p, 1, static_cast<int>(milliseconds));
        if (n < 0 && errno == EINTR) {
            return true;
        }
        if (n < 0 || (p.revents & (POLLERR | POLLNVAL)) != 0) {
            *why = std::string("the inotify watch failed (") + strerror(errno) + ")";
            return false;
        }
        alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
        for (;;) {
            ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0 && errno == EAGAIN) {
                return true;
            }
            if (got <= 0) {
                *why = std::string("the inotify watch failed (") +
                       (got < 0 ? strerror(errno) : "no more events") + ")";
                return false;
            }
            for (char* at = buffer; at < buffer + got;) {
                const inotify_event* e = reinterpret_cast<const inotify_event*>(at);
                Take(*e, seen);
                at += sizeof(inotify_event) + e->len;
            }
        }
    }

    int PollSeconds() const override { return 0; }

private:
    bool Watched(const std::string& folder) const {
        for (const auto& [wd, name] : folders_) {
            if (name == folder) {
                return true;
            }
        }
        return false;
    }

    void Take(const inotify_event& e, std::vector<Seen>* seen) {
        if ((e.mask & IN_Q_OVERFLOW) != 0) {
            // Events were lost: everything may have changed.
            for (const auto& [wd, folder] : folders_) {
                seen->push_back({folder, ""});
            }
            return;
        }
        auto it = folders_.find(e.wd);
        if (it == folders_.end()) {
            return;
        }
        if ((e.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
            seen->push_back({it->second, ""});
            if ((e.mask & IN_IGNORED) != 0) {
                folders_.erase(it);
            }
            return;
        }
        seen->push_back({it->second, e.len > 0 ? std::string(e.name) : std::string()});
    }

    int fd_;
    std::map<int, std::string> folders_;
};

} // namespace

std::unique_ptr<FolderWatch> SystemWatch(std::string* why) {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        *why = std::string("inotify cannot be had (") + strerror(errno) + ")";
        return nullptr;
    }
    return std::make_unique<InotifyWatch>(fd);
}

bool EndWithParent(std::string* why) {
    const pid_t parent = getppid();
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) {
        *why = std::string("cannot follow the program that started it (") + strerror(errno) + ")";
        return false;
    }
    // The parent that ended before the link was made.
    if (getppid() != parent) {
        *why = "the program that started it has ended";
        return false;
    }
    return true;
}

void PrepareSignals() {
    // A program started in the background of a script ignores SIGINT; this one ends by it.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGPIPE, SIG_IGN);
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool FolderLock::Take(const std::string& path, bool* held, std::string* why) {
    *held = false;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *why = path + ": " + strerror(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *held = errno == EWOULDBLOCK;
        *why = path + ": " + strerror(errno);
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

int RunProgram(const std::vector<std::string>& argv, std::string* why) {
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    // The program gets SIGPIPE and SIGXFSZ back, which the tool ignores (PrepareProcess).
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int e = posix_spawnp(&pid, args[0], nullptr, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (e != 0) {
        *why = argv[0] + ": " + strerror(e);
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            *why = argv[0] + ": " + strerror(errno);
            return -1;
        }
    }
    if (!WIFEXITED(status)) {
        *why = argv[0] + " ended by signal " + std::to_string(WTERMSIG(status));
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace deck::watch
