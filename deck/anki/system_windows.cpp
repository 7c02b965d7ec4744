// The Anki part's system interface on Windows: a package opened through libzip's wide source
// (long paths included), SQLite's Windows locks (LockFileEx), SQLite's files made removable at
// the end of the program, and Anki's folder under the roaming application data.
#include "deck/anki/system.h"

#include "deck/base/files.h"
#include "deck/base/process.h"
#include "deck/base/win32.h"

#include <io.h>
#include <shlobj.h>

#include <sqlite3.h>

namespace deck::anki {

namespace {

// SQLite's locks on Windows are LockFileEx locks on bytes past the first GiB (os_win.c): a
// reader takes the pending byte exclusively for a moment and the 510 shared bytes shared; a
// connection in exclusive locking mode (Anki) holds the shared bytes exclusively.
constexpr DWORD kPendingByte = 0x40000000;
constexpr DWORD kSharedFirst = kPendingByte + 2;
constexpr DWORD kSharedSize = 510;

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

bool Lock(HANDLE file, DWORD flags, DWORD start, DWORD length) {
    OVERLAPPED at{};
    at.Offset = start;
    if (LockFileEx(file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, length, 0, &at)) {
        return true;
    }
    // A file system without locks cannot tell either; the copy goes ahead.
    const DWORD error = GetLastError();
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

void Unlock(HANDLE file, DWORD start, DWORD length) {
    OVERLAPPED at{};
    at.Offset = start;
    UnlockFileEx(file, 0, length, 0, &at);
}

// SQLite's own CreateFileW and CloseHandle for its files, through its system call table: the
// file may be removed while SQLite has it open, and the end of the program from outside knows
// the handle, to close it before it removes the file.
HANDLE WINAPI SqliteCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                               DWORD disposition, DWORD flags, HANDLE model) {
    HANDLE file =
        CreateFileW(name, access, share | FILE_SHARE_DELETE, sa, disposition, flags, model);
    if (file != INVALID_HANDLE_VALUE) {
        win32::Track(file);
    }
    return file;
}

BOOL WINAPI SqliteCloseHandle(HANDLE handle) {
    win32::Untrack(handle);
    return CloseHandle(handle);
}

} // namespace

zip_t* OpenZipFile(const std::string& path, int flags, int* error) {
    // libzip's zip_open takes UTF-8 on Windows, but not the \\?\ form of a long path.
    zip_error_t why;
    zip_error_init(&why);
    zip_source_t* source = zip_source_win32w_create(win32::WidePath(path).c_str(), 0, -1, &why);
    zip_t* archive = source != nullptr ? zip_open_from_source(source, flags, &why) : nullptr;
    if (archive == nullptr) {
        if (source != nullptr) {
            zip_source_free(source);
        }
        *error = zip_error_code_zip(&why);
    }
    zip_error_fini(&why);
    return archive;
}

bool TrySharedLock(int fd) {
    HANDLE file = HandleOf(fd);
    if (!Lock(file, LOCKFILE_EXCLUSIVE_LOCK, kPendingByte, 1)) {
        return false;
    }
    const bool shared = Lock(file, 0, kSharedFirst, kSharedSize);
    Unlock(file, kPendingByte, 1);
    return shared;
}

void DropSharedLock(int fd) {
    Unlock(HandleOf(fd), kSharedFirst, kSharedSize);
}

void PrepareSqliteFiles() {
    static const bool prepared = [] {
        sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
        if (vfs == nullptr || vfs->iVersion < 3 || vfs->xSetSystemCall == nullptr) {
            return false;
        }
        vfs->xSetSystemCall(vfs, "CreateFileW",
                            reinterpret_cast<sqlite3_syscall_ptr>(SqliteCreateFile));
        vfs->xSetSystemCall(vfs, "CloseHandle",
                            reinterpret_cast<sqlite3_syscall_ptr>(SqliteCloseHandle));
        return true;
    }();
    (void)prepared;
}

std::string DefaultAnkiBase() {
    // Anki's own choice on Windows: the roaming application data, as the shell names it.
    wchar_t* folder = nullptr;
    std::string base;
    if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder) == S_OK) {
        base = win32::Utf8(folder, wcslen(folder));
    } else {
        GetEnv("APPDATA", &base);
    }
    CoTaskMemFree(folder);
    return base + kPathSeparator + "Anki2";
}

} // namespace deck::anki
