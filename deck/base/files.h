// Files, folders and paths as every part uses them: whole reads and writes, the first bytes of
// a file, what a path is, and private temporary folders that go away with their owner, also
// when the program is ended from outside (a signal; on Windows a console's Ctrl+C, Ctrl+Break
// or its closed window).
//
// Paths are UTF-8 throughout the tool. Each system's file turns them into what its calls take:
// files_posix.cpp passes them on as they are; files_windows.cpp makes them UTF-16 for the
// system's wide calls, with the \\?\ form for a long absolute path. A file is a C runtime file
// descriptor on both (on Windows opened in binary mode over a handle of the system's own), and
// a failure sets errno, so that its strerror text reads the same on both.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace deck {

// --- Reading and writing a file descriptor -------------------------------------------------

// Reads up to size bytes from fd, retrying interrupted reads; fewer only at the end of the
// file. -1 on a read error (errno set; EISDIR for a folder).
ssize_t ReadFull(int fd, void* buffer, size_t size);

// Writes all size bytes to fd, retrying interrupted and short writes. False with errno set.
bool WriteFull(int fd, const void* data, size_t size);

// Reads up to size bytes at `offset` (fewer only at the end of the file); -1 with errno. The
// file's position is left to the caller's next ReadAt or SeekTo.
ssize_t ReadAt(int fd, void* buffer, size_t size, int64_t offset);
// Writes all size bytes at `offset`. False with errno set.
bool WriteAt(int fd, const void* data, size_t size, int64_t offset);
// Moves the file's position to `offset`; false (errno set) where it cannot (a pipe).
bool SeekTo(int fd, int64_t offset);
// Writes the file's data through to the disk. False with errno set.
bool SyncFile(int fd);
// Closes fd. False with errno set when the system reports that the data could not be written.
bool CloseFile(int fd);

// --- Opening --------------------------------------------------------------------------------

// Opens `path` for reading; -1 with errno. A folder opens too, and says so at its first read
// (EISDIR) and through StatFile. Others may go on writing, renaming or removing the file.
// Anything but a regular file or a folder (a FIFO, a device, a socket) is refused at once,
// without waiting for a writer: -1 with errno ENXIO, which OpenErrorText names.
int OpenRead(const std::string& path);

// Opens `path` for reading without changing its access time where the system allows it (the
// owner of the file may ask for that): the user's files are only ever read. -1 with errno, as
// OpenRead.
int OpenQuietly(const std::string& path);

// The words for errno after OpenRead or OpenQuietly failed: "not a regular file" for ENXIO
// (a FIFO, a device or a socket), the system's text otherwise.
std::string OpenErrorText(int error);

// Opens an existing file for reading and writing; -1 with errno.
int OpenReadWrite(const std::string& path);

// Creates `path`, which must not exist yet, for reading and writing, readable by its owner
// only; -1 with errno (EEXIST when it exists).
int CreateNewFile(const std::string& path);

// Creates a new file in `folder` named `prefix` and six random characters, readable as a file
// that the user makes in that folder would be, and sets *path to it. -1 with errno.
int MakeTempFile(const std::string& folder, const std::string& prefix, std::string* path);

// The first `size` bytes of the file at `path` (fewer when it is shorter); empty when it cannot
// be opened or read. It is opened without changing its access time where the system allows.
std::string FileHead(const std::string& path, size_t size);

// The whole of a small file (a NAME.source, a NAME.next). False with errno set.
bool ReadWholeFile(const std::string& path, std::string* bytes);

// --- What a path is -------------------------------------------------------------------------

enum class PathKind { kFile, kFolder, kOther };

struct FileInfo {
    PathKind kind = PathKind::kOther; // kOther: a device, a pipe, a socket
    int64_t size = 0;
    int64_t mtimeNs = 0; // the last write, in nanoseconds since 1970 (UTC)
    // Together they tell one file from another: the device and the inode, or on Windows the
    // volume's serial number and the file's index.
    uint64_t device = 0;
    uint64_t id = 0;
};

// A time in nanoseconds as whole seconds, rounded down as st_mtime is.
inline int64_t WholeSeconds(int64_t ns) {
    return ns / 1000000000 - (ns % 1000000000 < 0 ? 1 : 0);
}

inline bool SameFile(const FileInfo& a, const FileInfo& b) {
    return a.device == b.device && a.id == b.id;
}

// What `path` is, a link followed to what it names. False with errno set.
bool StatPath(const std::string& path, FileInfo* info);
bool StatFile(int fd, FileInfo* info);
// True when `path` itself is a symbolic link (on Windows any name surrogate: a symbolic link
// or a junction).
bool IsLink(const std::string& path);
// The absolute path of what `path` names, every link in it followed; "" when it cannot be
// resolved.
std::string ResolvePath(const std::string& path);

// A folder's entries (without . and ..), each with what StatPath tells of it. False with errno
// set when the folder cannot be read.
struct FolderEntry {
    std::string name;
    FileInfo info;
};
bool ListFolder(const std::string& path, std::vector<FolderEntry>* entries);

// --- Changing -------------------------------------------------------------------------------

// Renames `from` to `to`, replacing a file there in one step. False with errno set.
bool RenameOver(const std::string& from, const std::string& to);
// Removes a file; false with errno set.
bool RemoveFile(const std::string& path);
// Makes the folder and the folders above it that are missing. False with *err set.
bool MakeFolders(const std::string& path, std::string* err);
// Removes a folder with everything in it, as far as it can.
void RemoveTree(const std::string& path);

// Why a write failed, for a message "FILE: error: could not be written: WHY": a full disk
// named by `folder`, the one that holds the file, and the file size limit in words of their
// own, anything else as strerror gives it.
std::string WriteError(int error, const std::string& folder);

// --- Paths ----------------------------------------------------------------------------------

// The separator that the system's own paths use ('/', on Windows '\\'); either counts as one
// on Windows.
extern const char kPathSeparator;
bool IsPathSeparator(char c);
// `name` in `folder`, as std::filesystem's operator/ joins them: `name` alone when `folder` is
// empty, no second separator when `folder` ends with one.
std::string JoinPath(const std::string& folder, const std::string& name);
// The folder part of `path` as std::filesystem's parent_path gives it: "" for a bare name, the
// root for a file in the root.
std::string ParentFolder(const std::string& path);
// The last part of `path`, after its last separator.
std::string BaseName(const std::string& path);

// --- Temporary files that the end of the program removes ----------------------------------

// Removes `path` when the program is ended from outside while the owner lives (SIGINT, SIGTERM
// or SIGHUP; on Windows a console's Ctrl+C, Ctrl+Break or its closed window): a file, or a
// folder after the files. A program that handles those signals itself keeps its handlers, and
// the program then ends as it would have.
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

// Removes every registered path now, as a signal would: for an end of the program that unwinds
// no owner (std::terminate), whose files would otherwise stay.
void RemoveRegisteredPaths();

// Keeps the end of the program from outside back while it lives, so that a file is never made
// without being registered for removal; an end that came meanwhile comes when it goes. On
// POSIX it holds SIGINT, SIGTERM and SIGHUP back in the calling thread, and threads started
// meanwhile keep them held back for good, which leaves those signals to the threads that make
// temporary files. On Windows, where the console's handler runs on a thread of its own, the
// handler waits for it.
class SignalsHeld {
public:
    SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
    ~SignalsHeld();

private:
    // The signal mask to restore (a sigset_t); unused on Windows.
    alignas(8) unsigned char old_[128];
};

// A private folder in the system's temporary folder ($TMPDIR, else /tmp; on Windows the one
// that GetTempPath names), readable by its owner only, removed with everything in it when the
// owner goes, and also when the program is ended from outside while it exists (the files named
// through File()).
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

// The system's temporary folder, or "" with *err set.
std::string SystemTempFolder(std::string* err);
// Makes a folder named `prefix` and six random characters in `base`, readable by its owner
// only, and sets *path to it. False with errno set.
bool MakePrivateFolder(const std::string& base, const std::string& prefix, std::string* path);

} // namespace deck
