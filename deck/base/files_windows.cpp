// Files, folders and paths on Windows, through the wide calls: UTF-8 paths become UTF-16 (the
// \\?\ form past MAX_PATH), a file is a C runtime descriptor over a handle opened in binary
// mode, and Windows' errors become errno values. The removal of temporary files on the
// console's control events is in signals_windows.cpp.
#define _CRT_RAND_S
#include "deck/base/files.h"

#include "deck/base/win32.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

namespace deck {

namespace {

using win32::Failed;
using win32::WidePath;

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// A file descriptor over a new handle, tracked; -1 with errno set when there is none.
int Descriptor(HANDLE handle, int flags) {
    if (handle == INVALID_HANDLE_VALUE) {
        Failed();
        return -1;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
        return -1;
    }
    win32::Track(handle);
    return fd;
}

// A descriptor to read a regular file or a folder over `handle`; anything else (a pipe, a
// console, a device) is closed again with errno ENXIO, as on POSIX.
int ReadDescriptor(HANDLE handle) {
    if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        errno = ENXIO;
        return -1;
    }
    return Descriptor(handle, _O_RDONLY);
}

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int64_t UnixNs(const FILETIME& time) {
    const int64_t ticks =
        static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    // 100 ns ticks since 1601.
    return (ticks - 116444736000000000LL) * 100;
}

bool Describe(HANDLE handle, FileInfo* info) {
    const DWORD type = GetFileType(handle);
    if (type != FILE_TYPE_DISK) {
        *info = FileInfo();
        info->kind = PathKind::kOther;
        return type != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR || Failed();
    }
    BY_HANDLE_FILE_INFORMATION data;
    if (!GetFileInformationByHandle(handle, &data)) {
        return Failed();
    }
    info->kind =
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
    info->size =
        static_cast<int64_t>(static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
    info->mtimeNs = UnixNs(data.ftLastWriteTime);
    info->device = data.dwVolumeSerialNumber;
    info->id = static_cast<uint64_t>(data.nFileIndexHigh) << 32 | data.nFileIndexLow;
    return true;
}

bool IsFolderHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION data;
    return GetFileInformationByHandle(handle, &data) &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Six characters that no other name of the folder is likely to have.
std::string RandomName() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string name;
    for (int i = 0; i < 6; ++i) {
        unsigned int r = 0;
        if (rand_s(&r) != 0) {
            r = static_cast<unsigned int>(GetTickCount64() * 2654435761u + GetCurrentProcessId() +
                                          static_cast<unsigned>(i) * 40503u);
        }
        name += kLetters[r % (sizeof kLetters - 1)];
    }
    return name;
}

} // namespace

bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

ssize_t ReadFull(int fd, void* buffer, size_t size) {
    HANDLE handle = HandleOf(fd);
    char* to = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        if (!ReadFile(handle, to + done, ask, &got, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) {
                break;
            }
            // A folder opens for reading, and says so at its first read, as on POSIX.
            errno = IsFolderHandle(handle) ? EISDIR : win32::ErrnoOf(error);
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return static_cast<ssize_t>(done);
}

bool WriteFull(int fd, const void* data, size_t size) {
    HANDLE handle = HandleOf(fd);
    const char* from = static_cast<const char*>(data);
    while (size > 0) {
        DWORD put = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        if (!WriteFile(handle, from, ask, &put, nullptr)) {
            return Failed();
        }
        if (put == 0) {
            errno = EIO;
            return false;
        }
        from += put;
        size -= put;
    }
    return true;
}

ssize_t ReadAt(int fd, void* buffer, size_t size, int64_t offset) {
    HANDLE handle = HandleOf(fd);
    char* to = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        OVERLAPPED at{};
        const uint64_t where = static_cast<uint64_t>(offset) + done;
        at.Offset = static_cast<DWORD>(where);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        if (!ReadFile(handle, to + done, ask, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            Failed();
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return static_cast<ssize_t>(done);
}

bool WriteAt(int fd, const void* data, size_t size, int64_t offset) {
    HANDLE handle = HandleOf(fd);
    const char* from = static_cast<const char*>(data);
    while (size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
        DWORD put = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        if (!WriteFile(handle, from, ask, &put, &at)) {
            return Failed();
        }
        if (put == 0) {
            errno = EIO;
            return false;
        }
        from += put;
        offset += put;
        size -= put;
    }
    return true;
}

bool SeekTo(int fd, int64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    HANDLE handle = HandleOf(fd);
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        errno = ESPIPE;
        return false;
    }
    return SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) || Failed();
}

bool SyncFile(int fd) {
    return FlushFileBuffers(HandleOf(fd)) || Failed();
}

bool CloseFile(int fd) {
    win32::Untrack(HandleOf(fd));
    return _close(fd) == 0;
}

int OpenRead(const std::string& path) {
    // Folders open too (backup semantics), so that a folder is told as on POSIX.
    return ReadDescriptor(CreateFileW(WidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

int OpenQuietly(const std::string& path) {
    // A handle that may write the time stamps can tell Windows to leave the last access time
    // as it is (the time 0xFFFFFFFF'FFFFFFFF); a user who may only read the file gets a plain
    // handle.
    HANDLE handle =
        CreateFileW(WidePath(path).c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, kShareAll,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return OpenRead(path);
    }
    FILETIME keep;
    keep.dwLowDateTime = keep.dwHighDateTime = 0xFFFFFFFF;
    SetFileTime(handle, nullptr, &keep, nullptr);
    return ReadDescriptor(handle);
}

int OpenReadWrite(const std::string& path) {
    return Descriptor(CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                      _O_RDWR);
}

int CreateNewFile(const std::string& path) {
    return Descriptor(CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr),
                      _O_RDWR);
}

int MakeTempFile(const std::string& folder, const std::string& prefix, std::string* path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = JoinPath(folder, prefix + RandomName());
        int fd = CreateNewFile(name);
        if (fd >= 0 || errno != EEXIST) {
            if (fd >= 0) {
                *path = name;
            }
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

bool StatPath(const std::string& path, FileInfo* info) {
    HANDLE handle = CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Failed();
    }
    const bool ok = Describe(handle, info);
    CloseHandle(handle);
    return ok;
}

bool StatFile(int fd, FileInfo* info) {
    return Describe(HandleOf(fd), info);
}

bool IsLink(const std::string& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(WidePath(path).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(find);
    // A symbolic link or a junction: the reparse points that name another path.
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
            data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

std::string ResolvePath(const std::string& path) {
    HANDLE handle = CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(handle, full.data(), static_cast<DWORD>(full.size()), 0);
    if (n >= full.size()) {
        full.resize(n + 1);
        n = GetFinalPathNameByHandleW(handle, full.data(), static_cast<DWORD>(full.size()), 0);
    }
    CloseHandle(handle);
    if (n == 0 || n >= full.size()) {
        return std::string();
    }
    full.resize(n);
    // The \\?\ form back to the ordinary one, which the messages show.
    if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        full = L"\\\\" + full.substr(8);
    } else if (full.compare(0, 4, L"\\\\?\\") == 0) {
        full = full.substr(4);
    }
    return win32::Utf8(full);
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
    entries->clear();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(WidePath(JoinPath(path, "*")).c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        // An empty folder has no entries; a missing one is an error.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        return Failed();
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        FolderEntry e;
        e.name = win32::Utf8(name);
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            // A link tells of itself here; what it names is what counts, as on POSIX.
            StatPath(JoinPath(path, e.name), &e.info);
        } else {
            e.info.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder
                                                                             : PathKind::kFile;
            e.info.size = static_cast<int64_t>(static_cast<uint64_t>(data.nFileSizeHigh) << 32 |
                                               data.nFileSizeLow);
            e.info.mtimeNs = UnixNs(data.ftLastWriteTime);
        }
        entries->push_back(std::move(e));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return true;
}

bool RenameOver(const std::string& from, const std::string& to) {
    const std::wstring source = WidePath(from);
    const std::wstring target = WidePath(to);
    // A reader that opened the old file without sharing its deletion (a virus scanner, an
    // indexer) keeps it for a moment: the rename is tried again for up to a second.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(source.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = GetLastError();
        if (attempt >= 20 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
            return Failed();
        }
        Sleep(50);
    }
}

bool RemoveFile(const std::string& path) {
    return DeleteFileW(WidePath(path).c_str()) || Failed();
}

bool MakeFolders(const std::string& path, std::string* err) {
    const std::wstring wide = WidePath(path);
    // The root, which is there: \\?\C:\, \\?\UNC\server\share\, C:\, \\server\share\, \.
    size_t root = 0;
    if (wide.compare(0, 8, L"\\\\?\\UNC\\") == 0 || wide.compare(0, 2, L"\\\\") == 0) {
        const size_t server = wide.compare(0, 2, L"\\\\") == 0 && wide[2] != L'?' ? 2 : 8;
        const size_t share = wide.find(L'\\', server);
        root = share == std::wstring::npos ? wide.size() : wide.find(L'\\', share + 1);
        root = root == std::wstring::npos ? wide.size() : root + 1;
    } else {
        root = wide.compare(0, 4, L"\\\\?\\") == 0 ? 4 : 0;
        if (wide.size() >= root + 2 && wide[root + 1] == L':') {
            root += 2;
        }
        if (root < wide.size() && wide[root] == L'\\') {
            ++root;
        }
    }
    // Each folder below the root, made when missing.
    for (size_t at = root; at < wide.size();) {
        size_t next = wide.find(L'\\', at);
        if (next == std::wstring::npos) {
            next = wide.size();
        }
        const std::wstring part = wide.substr(0, next);
        if (next > at && !CreateDirectoryW(part.c_str(), nullptr)) {
            const DWORD error = GetLastError();
            const DWORD attributes = GetFileAttributesW(part.c_str());
            if (error != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES ||
                (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                *err = strerror(error == ERROR_ALREADY_EXISTS ? EEXIST : win32::ErrnoOf(error));
                return false;
            }
        }
        at = next + 1;
    }
    return true;
}

void RemoveTree(const std::string& path) {
    const std::wstring wide = WidePath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    // A link or a junction goes itself; what it names stays.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            RemoveDirectoryW(wide.c_str());
        } else {
            DeleteFileW(wide.c_str());
        }
        return;
    }
    std::vector<FolderEntry> entries;
    ListFolder(path, &entries);
    for (const FolderEntry& e : entries) {
        RemoveTree(JoinPath(path, e.name));
    }
    RemoveDirectoryW(wide.c_str());
}

std::string SystemTempFolder(std::string* err) {
    wchar_t buffer[MAX_PATH + 2];
    DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
    if (n == 0 || n > MAX_PATH + 1) {
        *err = "cannot find the temporary folder (" + win32::ErrorText(GetLastError()) + ")";
        return std::string();
    }
    std::string base = win32::Utf8(buffer, n);
    // Without its final separator, as on POSIX, unless it is a drive's root.
    if (base.size() > 3 && IsPathSeparator(base.back())) {
        base.pop_back();
    }
    return base;
}

bool MakePrivateFolder(const std::string& base, const std::string& prefix, std::string* path) {
    // The user's temporary folder is the user's own on Windows; a folder in it inherits that.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = JoinPath(base, prefix + "-" + RandomName());
        if (CreateDirectoryW(WidePath(name).c_str(), nullptr)) {
            *path = name;
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return Failed();
        }
    }
    errno = EEXIST;
    return false;
}
} // namespace deck
