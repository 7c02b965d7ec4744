// The POSIX helpers that every part uses: whole reads and writes, the first bytes of a file,
// and private temporary folders that go away with their owner, also when a signal ends the
// program.
#pragma once

#include <signal.h>
#include <stddef.h>
#include <sys/types.h>

#include <string>

namespace deck {

// Reads up to size bytes from fd, retrying interrupted reads; fewer only at the end of the
// file. -1 on a read error (errno set).
ssize_t ReadFull(int fd, void* buffer, size_t size);

// Writes all size bytes to fd, retrying interrupted and short writes. False with errno set.
bool WriteFull(int fd, const void* data, size_t size);

// The first `size` bytes of the file at `path` (fewer when it is shorter); empty when it cannot
// be opened or read. It is opened without changing its access time where the system allows.
std::string FileHead(const std::string& path, size_t size);

// Opens `path` for reading without changing its access time where the system allows it (the
// owner of the file may ask for that): the user's files are only ever read. -1 with errno.
int OpenQuietly(const std::string& path);

// Removes `path` when SIGINT, SIGTERM or SIGHUP ends the program while the owner lives: a file
// with unlink, a folder (after the files) with rmdir. A program that handles those signals
// itself keeps its handlers, and the signal then ends the program as it would have.
class RemovedOnSignal {
public:
    RemovedOnSignal() = default;
    RemovedOnSignal(const RemovedOnSignal&) = delete;
    RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;
    ~RemovedOnSignal() { Release(); }

    // Registers the path; false when it is too long or too many paths are registered.
    bool Register(const std::string& path, bool folder);
    // Unregisters it (the owner removes it itself).
    void Release();

private:
    int slot_ = -1;
};

// Holds SIGINT, SIGTERM and SIGHUP back in the calling thread while it lives, so that a file is
// never made without being registered for removal; a signal that came meanwhile arrives when it
// goes. Threads started meanwhile keep them held back for good, which leaves those signals to
// the threads that make temporary files.
class SignalsHeld {
public:
    SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
    ~SignalsHeld();

private:
    sigset_t old_;
};

// A private folder in the system's temporary folder ($TMPDIR, else /tmp), mode 0700, removed
// with everything in it when the owner goes, and also when a signal ends the program while it
// exists (the files named through File()).
class TempFolder {
public:
    TempFolder() = default;
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    // Makes the folder, named after `purpose` ("tollamy-anki"). False with *err set.
    bool Create(const char* purpose, std::string* err);
    const std::string& Path() const { return path_; }
    // The path of a file `name` in the folder, which a signal removes as well.
    std::string File(const std::string& name);

private:
    static constexpr int kFiles = 6;
    std::string path_;
    RemovedOnSignal folder_;
    RemovedOnSignal files_[kFiles];
    int used_ = 0;
};

} // namespace deck
