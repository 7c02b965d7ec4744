// What `watch` needs of the operating system, behind one small interface: the watch on
// folders, the link to the program that started it, the lock on its data folder, the signals
// that end it and the program that switches an item. system_linux.cpp holds Linux's (inotify,
// the parent-death signal, flock, posix_spawn); everything above it is the same everywhere.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace deck::watch {

// Something that changed in a watched folder: the name of the file in it, or "" when the
// folder itself went or changes may have been missed (everything in it counts as changed).
struct Seen {
    std::string folder;
    std::string name;
};

// A watch on a set of folders.
class FolderWatch {
public:
    virtual ~FolderWatch() = default;
    // Watches exactly `folders` from now on (a folder that does not exist is left out). False
    // with *why set when the system refuses (the watch limit reached, say).
    virtual bool Follow(const std::vector<std::string>& folders, std::string* why) = 0;
    // Waits at most `milliseconds` for changes, and appends what changed to *seen. False with
    // *why set when the watch failed and sees nothing more.
    virtual bool Wait(long milliseconds, std::vector<Seen>* seen, std::string* why) = 0;
    // The longest sleep that still sees every change (a polling watch's interval), in seconds;
    // 0 when the system tells of changes itself.
    virtual int PollSeconds() const = 0;
};

// The system's own notification (inotify); nullptr with *why set when there is none.
std::unique_ptr<FolderWatch> SystemWatch(std::string* why);
// A watch that looks at the folders' files, their names, sizes and time stamps, every
// `seconds`.
std::unique_ptr<FolderWatch> PollingWatch(int seconds);

// Ends this process when the program that started it ends, however that ends: SIGKILL
// included. False with *why set when it cannot be linked, or when that program has ended
// already.
bool EndWithParent(std::string* why);

// Lets SIGTERM, SIGINT and SIGHUP end the process (removing its temporary files, see
// RemovedOnSignal), and a closed standard error not end it.
void PrepareSignals();

// An exclusive lock on `path` (created when missing), held while the object lives and dropped
// by the system when the process ends.
class FolderLock {
public:
    FolderLock() = default;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();
    // False when another process holds it (*held set) or it cannot be made (*why set).
    bool Take(const std::string& path, bool* held, std::string* why);

private:
    int fd_ = -1;
};

// Runs `argv` with this process's standard streams and waits for it: its exit status, or -1
// with *why set when it could not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& argv, std::string* why);

} // namespace deck::watch
