// What every system shares of the files' helpers: the first bytes and the whole of a file,
// the parts of a path, and the private temporary folders, over each system's calls
// (files_posix.cpp, files_windows.cpp).
#include "deck/base/files.h"

#include <errno.h>
#include <string.h>

namespace deck {

namespace {

// The length of the root at the start of `path`: "/" (on Windows also "C:\", "C:" and "\").
size_t RootLength(const std::string& path) {
    size_t root = 0;
    if (kPathSeparator == '\\' && path.size() >= 2 && path[1] == ':') {
        root = 2;
    }
    if (root < path.size() && IsPathSeparator(path[root])) {
        ++root;
    }
    return root;
}

} // namespace

std::string OpenErrorText(int error) {
    return error == ENXIO ? "not a regular file" : strerror(error);
}

std::string FileHead(const std::string& path, size_t size) {
    std::string head(size, '\0');
    int fd = OpenQuietly(path);
    if (fd < 0) {
        return std::string();
    }
    ssize_t got = ReadFull(fd, head.data(), size);
    CloseFile(fd);
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return head;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    int fd = OpenRead(path);
    if (fd < 0) {
        return false;
    }
    char buffer[1 << 14];
    ssize_t got = 0;
    while ((got = ReadFull(fd, buffer, sizeof buffer)) > 0) {
        bytes->append(buffer, static_cast<size_t>(got));
    }
    int error = errno;
    CloseFile(fd);
    errno = error;
    return got == 0;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    return IsPathSeparator(folder.back()) ? folder + name : folder + kPathSeparator + name;
}

std::string ParentFolder(const std::string& path) {
    const size_t root = RootLength(path);
    size_t end = path.size();
    // The name, then the separators before it.
    while (end > root && !IsPathSeparator(path[end - 1])) {
        --end;
    }
    while (end > root && IsPathSeparator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

std::string BaseName(const std::string& path) {
    size_t at = path.size();
    while (at > RootLength(path) && !IsPathSeparator(path[at - 1])) {
        --at;
    }
    return path.substr(at);
}

std::string WriteError(int error, const std::string& folder) {
    switch (error) {
    case ENOSPC:
        return "no space left on the disk that holds " + folder;
#ifdef EDQUOT
    case EDQUOT:
        return "over the disk quota on the disk that holds " + folder;
#endif
    case EFBIG:
        return "it is over the file size limit";
    default:
        return strerror(error);
    }
}

TempFolder::~TempFolder() {
    if (!path_.empty()) {
        RemoveTree(path_);
    }
}

bool TempFolder::Create(const char* purpose, std::string* err) {
    const std::string base = SystemTempFolder(err);
    if (base.empty()) {
        return false;
    }
    SignalsHeld held;
    if (!MakePrivateFolder(base, purpose, &path_)) {
        path_.clear();
        *err = "cannot make a temporary folder in " + base + " (" + strerror(errno) + ")";
        return false;
    }
    folder_.Register(path_, true);
    return true;
}

std::string TempFolder::File(const std::string& name) {
    std::string path = JoinPath(path_, name);
    if (used_ < kFiles) {
        files_[used_++].Register(path, false);
    }
    return path;
}

} // namespace deck
