// The watch's system interface on Windows: ReadDirectoryChangesW (one handle per folder, all
// waited for at once), a handle to the parent process, LockFileEx on the lock file, the
// console's control events and CreateProcessW.
#include "deck/watch/system.h"

#include "common/commandline.h"
#include "deck/base/win32.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <string.h>
#include <tlhelp32.h>

#include <map>
#include <memory>
#include <set>
#include <thread>

namespace deck::watch {

namespace {

using win32::Utf8;
using win32::Wide;
using win32::WidePath;

// What changes a profile's collection, its log, its backups or a data folder's files: a file
// written, made, renamed or removed there.
constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                           FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE |
                           FILE_NOTIFY_CHANGE_CREATION;

// One watched folder: its handle, the read under way and the buffer it fills.
struct Folder {
    std::string path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED read{};
    alignas(DWORD) char buffer[32 * 1024];
};

class ChangesWatch : public FolderWatch {
public:
    ChangesWatch() = default;
    ~ChangesWatch() override {
        for (auto& [path, folder] : folders_) {
            Stop(*folder);
        }
    }
    ChangesWatch(const ChangesWatch&) = delete;
    ChangesWatch& operator=(const ChangesWatch&) = delete;

    bool Follow(const std::vector<std::string>& folders, std::string* why) override {
        const std::set<std::string> wanted(folders.begin(), folders.end());
        for (auto it = folders_.begin(); it != folders_.end();) {
            if (wanted.count(it->first) == 0) {
                Stop(*it->second);
                it = folders_.erase(it);
            } else {
                ++it;
            }
        }
        for (const std::string& path : wanted) {
            if (folders_.count(path) != 0) {
                continue;
            }
            if (folders_.size() >= MAXIMUM_WAIT_OBJECTS) {
                *why = "more folders than one wait can follow (" +
                       std::to_string(MAXIMUM_WAIT_OBJECTS) + ")";
                return false;
            }
            auto folder = std::make_unique<Folder>();
            folder->path = path;
            // Others may still rename or remove the folder while it is watched.
            folder->handle = CreateFileW(
                WidePath(path).c_str(), FILE_LIST_DIRECTORY,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
            if (folder->handle == INVALID_HANDLE_VALUE) {
                continue; // missing or unreadable: not watched; the retries find it
            }
            folder->read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (folder->read.hEvent == nullptr || !Start(*folder)) {
                const DWORD error = GetLastError();
                Stop(*folder);
                *why = "ReadDirectoryChangesW cannot watch " + path + " (" +
                       win32::ErrorText(error) + ")";
                return false;
            }
            folders_[path] = std::move(folder);
        }
        return true;
    }

    bool Wait(long milliseconds, std::vector<Seen>* seen, std::string* why) override {
        // A folder removed while it is watched only goes once its handle is closed, and may
        // tell nothing of it: it counts as changed, and is no longer watched.
        for (auto it = folders_.begin(); it != folders_.end();) {
            if (Gone(*it->second)) {
                seen->push_back({it->first, ""});
                Stop(*it->second);
                it = folders_.erase(it);
            } else {
                ++it;
            }
        }
        if (!seen->empty()) {
            return true;
        }
        std::vector<HANDLE> events;
        std::vector<Folder*> order;
        for (auto& [path, folder] : folders_) {
            events.push_back(folder->read.hEvent);
            order.push_back(folder.get());
        }
        if (events.empty()) {
            Sleep(static_cast<DWORD>(milliseconds));
            return true;
        }
        DWORD timeout = static_cast<DWORD>(milliseconds);
        // The first folder that has news, then every other one that has some too.
        for (;;) {
            const DWORD got = WaitForMultipleObjects(static_cast<DWORD>(events.size()),
                                                     events.data(), FALSE, timeout);
            if (got == WAIT_TIMEOUT) {
                return true;
            }
            if (got >= WAIT_OBJECT_0 + events.size()) {
                *why = "the wait for ReadDirectoryChangesW failed (" +
                       win32::ErrorText(GetLastError()) + ")";
                return false;
            }
            Folder* folder = order[got - WAIT_OBJECT_0];
            if (!Take(*folder, seen) || Gone(*folder)) {
                // The folder went, or its watch broke: everything in it counts as changed, and
                // the next Follow watches it again if it is there.
                seen->push_back({folder->path, ""});
                const std::string path = folder->path;
                Stop(*folder);
                folders_.erase(path);
                return true;
            }
            timeout = 0;
        }
    }

    int PollSeconds() const override { return 0; }

private:
    // The folder was removed (its removal waits for the handle) or is no longer there.
    static bool Gone(const Folder& folder) {
        FILE_STANDARD_INFO info{};
        if (GetFileInformationByHandleEx(folder.handle, FileStandardInfo, &info, sizeof info) &&
            info.DeletePending) {
            return true;
        }
        return GetFileAttributesW(WidePath(folder.path).c_str()) == INVALID_FILE_ATTRIBUTES;
    }

    static bool Start(Folder& folder) {
        ResetEvent(folder.read.hEvent);
        return ReadDirectoryChangesW(folder.handle, folder.buffer, sizeof folder.buffer, FALSE,
                                     kChanges, nullptr, &folder.read, nullptr) != 0;
    }

    static void Stop(Folder& folder) {
        if (folder.handle != INVALID_HANDLE_VALUE) {
            // The system writes into the buffer until the read is over.
            DWORD ignored = 0;
            if (CancelIoEx(folder.handle, &folder.read) || GetLastError() != ERROR_NOT_FOUND) {
                GetOverlappedResult(folder.handle, &folder.read, &ignored, TRUE);
            }
            CloseHandle(folder.handle);
            folder.handle = INVALID_HANDLE_VALUE;
        }
        if (folder.read.hEvent != nullptr) {
            CloseHandle(folder.read.hEvent);
            folder.read.hEvent = nullptr;
        }
    }

    // The finished read's names into *seen, and the next read started. False when the folder
    // cannot be watched any more.
    static bool Take(Folder& folder, std::vector<Seen>* seen) {
        DWORD bytes = 0;
        if (!GetOverlappedResult(folder.handle, &folder.read, &bytes, FALSE)) {
            return false;
        }
        if (bytes == 0) {
            // More changes than the buffer holds: everything may have changed.
            seen->push_back({folder.path, ""});
        }
        for (DWORD at = 0; bytes > 0 && at + sizeof(FILE_NOTIFY_INFORMATION) <= bytes;) {
            const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(folder.buffer + at);
            seen->push_back({folder.path, Utf8(info->FileName, info->FileNameLength / 2)});
            if (info->NextEntryOffset == 0) {
                break;
            }
            at += info->NextEntryOffset;
        }
        return Start(folder);
    }

    std::map<std::string, std::unique_ptr<Folder>> folders_;
};

// The process that started this one, opened to wait for its end; null when it has ended.
HANDLE OpenParent() {
    const DWORD self = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    HANDLE process =
        parent != 0 ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent)
                    : nullptr;
    if (process == nullptr) {
        return nullptr;
    }
    // A process id is used again once its process has ended: a process that began after this
    // one is not its parent.
    FILETIME made, ended, kernel, user, mine;
    if (GetProcessTimes(process, &made, &ended, &kernel, &user) &&
        GetProcessTimes(GetCurrentProcess(), &mine, &ended, &kernel, &user) &&
        CompareFileTime(&made, &mine) > 0) {
        CloseHandle(process);
        return nullptr;
    }
    return process;
}

} // namespace

std::unique_ptr<FolderWatch> SystemWatch(std::string*) {
    return std::make_unique<ChangesWatch>();
}

bool EndWithParent(std::string* why) {
    HANDLE parent = OpenParent();
    if (parent == nullptr || WaitForSingleObject(parent, 0) == WAIT_OBJECT_0) {
        if (parent != nullptr) {
            CloseHandle(parent);
        }
        *why = "the program that started it has ended";
        return false;
    }
    // The watch's own thread waits for the parent's end, however it ends, and then ends the
    // watch as the console's Ctrl+C would, its temporary files removed.
    std::thread([parent] {
        WaitForSingleObject(parent, INFINITE);
        win32::EndProgram(1);
    }).detach();
    return true;
}

void PrepareSignals() {
    // A program started in a new process group ignores Ctrl+C; this one ends by it (and by
    // Ctrl+Break and its console's closing, which no program ignores). A closed standard
    // error is an error of the write on Windows, never the end of the program.
    SetConsoleCtrlHandler(nullptr, FALSE);
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) {
        _close(fd_);
    }
}

bool FolderLock::Take(const std::string& path, bool* held, std::string* why) {
    *held = false;
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = path + ": " + strerror(win32::ErrnoOf(GetLastError()));
        return false;
    }
    // The first byte, exclusively; the system drops the lock when the process ends.
    OVERLAPPED at{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        *held = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING;
        *why = path + ": " + win32::ErrorText(error);
        CloseHandle(file);
        return false;
    }
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (fd_ < 0) {
        CloseHandle(file);
        *why = path + ": " + strerror(EMFILE);
        return false;
    }
    return true;
}

int RunProgram(const std::vector<std::string>& argv, std::string* why) {
    std::vector<std::wstring> words;
    for (const std::string& arg : argv) {
        words.push_back(Wide(arg));
    }
    std::wstring line = CommandLine(words);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    // The program is found as the system finds a command: beside this one, in the current
    // folder, in the system's folders, then on PATH.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &process)) {
        *why = argv[0] + ": " + strerror(win32::ErrnoOf(GetLastError()));
        return -1;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    const bool ok = GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    if (!ok) {
        *why = argv[0] + ": " + win32::ErrorText(GetLastError());
        return -1;
    }
    // An NTSTATUS of an error (an exception, or the console's Ctrl+C) is no exit of its own.
    if ((status & 0xC0000000u) == 0xC0000000u) {
        char code[16];
        snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
        *why = argv[0] + " ended by " + code;
        return -1;
    }
    return static_cast<int>(status);
}

} // namespace deck::watch
