// Files, folders and paths on Windows, through the wide calls: UTF-8 paths become UTF-16 (the
// \\?\ form past MAX_PATH), a file is a C runtime descriptor over a handle opened in binary
// mode, and Windows' errors become errno values. And the removal of temporary files when the
// console's Ctrl+C, Ctrl+Break or its closed window ends the program.
#define _CRT_RAND_S
#include "deck/base/files.h"

#include "deck/base/win32.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <mutex>

namespace deck {

namespace win32 {

std::wstring Wide(const std::string& utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if (c >= 0xC2 && c < 0xE0 && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
            cp = (c & 0x1Fu) << 6 | (s[i + 1] & 0x3Fu);
            len = 2;
        } else if (c >= 0xE0 && c < 0xF0 && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 &&
                   (s[i + 2] & 0xC0) == 0x80) {
            cp = (c & 0x0Fu) << 12 | (s[i + 1] & 0x3Fu) << 6 | (s[i + 2] & 0x3Fu);
            len = 3;
            if (cp < 0x800) {
                cp = 0xFFFD, len = 1;
            }
        } else if (c >= 0xF0 && c < 0xF5 && i + 3 < n && (s[i + 1] & 0xC0) == 0x80 &&
                   (s[i + 2] & 0xC0) == 0x80 && (s[i + 3] & 0xC0) == 0x80) {
            cp = (c & 0x07u) << 18 | (s[i + 1] & 0x3Fu) << 12 | (s[i + 2] & 0x3Fu) << 6 |
                 (s[i + 3] & 0x3Fu);
            len = 4;
            if (cp < 0x10000 || cp > 0x10FFFF) {
                cp = 0xFFFD, len = 1;
            }
        }
        i += len;
        if (cp >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            // A surrogate's three bytes stand for the lone unit that they name.
            out += static_cast<wchar_t>(cp);
        }
    }
    return out;
}

std::string Utf8(const wchar_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t cp = static_cast<uint16_t>(text[i]);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < length &&
            static_cast<uint16_t>(text[i + 1]) >= 0xDC00 &&
            static_cast<uint16_t>(text[i + 1]) < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xDC00);
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | cp >> 6);
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | cp >> 12);
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | cp >> 18);
            out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string Utf8(const std::wstring& text) {
    return Utf8(text.data(), text.size());
}

std::wstring WidePath(const std::string& path) {
    std::wstring wide = Wide(path);
    if (wide.compare(0, 4, L"\\\\?\\") == 0) {
        return wide;
    }
    for (wchar_t& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    // CreateDirectory's limit is MAX_PATH less room for an 8.3 name; past it every call takes
    // the \\?\ form of the full path, in which nothing is interpreted any more.
    if (wide.size() < MAX_PATH - 12) {
        return wide;
    }
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return wide;
    }
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    full.resize(size);
    if (full.compare(0, 2, L"\\\\") == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return EPIPE;
    case ERROR_NEGATIVE_SEEK:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    default:
        return EIO;
    }
}

bool Failed() {
    errno = ErrnoOf(GetLastError());
    return false;
}

std::string ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n > 0 ? Utf8(text, n) : "error " + std::to_string(error);
    LocalFree(text);
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.')) {
        out.pop_back();
    }
    return out;
}

} // namespace win32

namespace {

using win32::Failed;
using win32::WidePath;

// The registered paths and the tracked handles, and the lock that the console's handler, the
// registrations and SignalsHeld share: the handler runs on a thread of its own, and waits for
// a file that is being made to be registered.
constexpr int kSlots = 32;
constexpr int kHandles = 64;
struct Slot {
    std::wstring path;
    bool folder = false;
    bool used = false;
};
struct Tracked {
    HANDLE handle = nullptr;
    DWORD volume = 0;
    uint64_t index = 0;
};
std::recursive_mutex& Lock() {
    static std::recursive_mutex lock;
    return lock;
}
Slot g_slots[kSlots];
Tracked g_tracked[kHandles];
int g_registered = 0;

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// The volume and the index of an open file, which tell it apart from every other.
bool IdentityOf(HANDLE handle, DWORD* volume, uint64_t* index) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        return false;
    }
    *volume = info.dwVolumeSerialNumber;
    *index = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return true;
}

// Closes every tracked handle on the file at `path`, so that it can be removed.
void CloseHandlesOn(const std::wstring& path) {
    HANDLE probe = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD volume = 0;
    uint64_t index = 0;
    const bool known = IdentityOf(probe, &volume, &index);
    CloseHandle(probe);
    for (Tracked& t : g_tracked) {
        if (known && t.handle != nullptr && t.volume == volume && t.index == index) {
            CloseHandle(t.handle);
            t.handle = nullptr;
        }
    }
}

// Removes the registered files (their open handles closed first), then their folders, and
// ends the process with `code`. It waits for a thread that is between making a file and
// registering it (SignalsHeld), and never returns to the other threads, which may have lost
// their files.
[[noreturn]] void RemoveAndEnd(UINT code) {
    Lock().lock();
    for (Slot& slot : g_slots) {
        if (slot.used && !slot.folder) {
            CloseHandlesOn(slot.path);
            DeleteFileW(slot.path.c_str());
        }
    }
    for (Slot& slot : g_slots) {
        if (slot.used && slot.folder) {
            RemoveDirectoryW(slot.path.c_str());
        }
    }
    TerminateProcess(GetCurrentProcess(), code);
    for (;;) {
        Sleep(INFINITE);
    }
}

// The console's Ctrl+C, Ctrl+Break, its closed window, or the end of the session: the
// registered files go, and the program ends as Windows' own handler would have ended it. With
// nothing registered the event goes on to the next handler.
BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT &&
        event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) {
        return FALSE;
    }
    {
        std::lock_guard<std::recursive_mutex> hold(Lock());
        if (g_registered == 0) {
            return FALSE;
        }
    }
    RemoveAndEnd(STATUS_CONTROL_C_EXIT);
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

void win32::EndProgram(UINT code) {
    RemoveAndEnd(code);
}

void win32::Track(HANDLE handle) {
    std::lock_guard<std::recursive_mutex> hold(Lock());
    for (Tracked& t : g_tracked) {
        if (t.handle == nullptr) {
            if (IdentityOf(handle, &t.volume, &t.index)) {
                t.handle = handle;
            }
            return;
        }
    }
}

void win32::Untrack(HANDLE handle) {
    std::lock_guard<std::recursive_mutex> hold(Lock());
    for (Tracked& t : g_tracked) {
        if (t.handle == handle) {
            t.handle = nullptr;
        }
    }
}

const char kPathSeparator = '\\';

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
    return Descriptor(CreateFileW(WidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
                      _O_RDONLY);
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
    return Descriptor(handle, _O_RDONLY);
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

bool RemovedOnSignal::Register(const std::string& path, bool folder) {
    Release();
    std::lock_guard<std::recursive_mutex> hold(Lock());
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (!slot.used) {
            slot.path = WidePath(path);
            slot.folder = folder;
            slot.used = true;
            slot_ = i;
            if (g_registered++ == 0) {
                SetConsoleCtrlHandler(OnControl, TRUE);
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
    std::lock_guard<std::recursive_mutex> hold(Lock());
    g_slots[slot_].used = false;
    slot_ = -1;
    if (--g_registered == 0) {
        SetConsoleCtrlHandler(OnControl, FALSE);
    }
}

SignalsHeld::SignalsHeld() {
    Lock().lock();
}

SignalsHeld::~SignalsHeld() {
    Lock().unlock();
}

} // namespace deck
