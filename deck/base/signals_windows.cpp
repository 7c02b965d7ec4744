// The removal of the temporary files when the console's Ctrl+C, Ctrl+Break, its closed window
// or the end of the session ends the program on Windows: the registered paths, the handles
// that may be open on them (Windows keeps the name of an open file), and the console's handler
// that closes those handles, removes the files and ends the program.
#include "deck/base/files.h"

#include "deck/base/win32.h"

#include <io.h>

#include <mutex>

namespace deck {

namespace {

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

// Removes the registered files (their open handles closed first), then their folders; the
// program ends next. The caller holds the lock.
void RemoveAll() {
    for (Slot& slot : g_slots) {
        if (slot.used && !slot.folder) {
            CloseHandlesOn(slot.path);
            DeleteFileW(slot.path.c_str());
        }
    }
    for (Slot& slot : g_slots) {
        if (slot.used && slot.folder) {
            // A private folder goes with what else was made in it, as SQLite's journal beside
            // a collection's copy, which no one registered.
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW((slot.path + L"\\*").c_str(), &found);
            if (search != INVALID_HANDLE_VALUE) {
                do {
                    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                        const std::wstring file = slot.path + L"\\" + found.cFileName;
                        CloseHandlesOn(file);
                        DeleteFileW(file.c_str());
                    }
                } while (FindNextFileW(search, &found));
                FindClose(search);
            }
            RemoveDirectoryW(slot.path.c_str());
        }
    }
}

// Removes the registered files and ends the process with `code`. It waits for a thread that is
// between making a file and registering it (SignalsHeld), and never returns to the other
// threads, which may have lost their files.
[[noreturn]] void RemoveAndEnd(UINT code) {
    Lock().lock();
    RemoveAll();
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

} // namespace

void RemoveRegisteredPaths() {
    std::lock_guard<std::recursive_mutex> hold(Lock());
    RemoveAll();
}

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
