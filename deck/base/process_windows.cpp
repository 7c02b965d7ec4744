// The process on Windows: the environment in UTF-16, output caught in a temporary file that
// goes when it is closed, TZ read with POSIX's rules (zone.cpp) or else the system's zone, and
// the console written in UTF-16.
#include "deck/base/process.h"

#include "deck/base/files.h"
#include "deck/base/win32.h"
#include "deck/base/zone.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

#include <exception>
#include <thread>

namespace deck {

namespace {

using win32::Utf8;
using win32::Wide;

// Seconds since 1970 as Windows' 100 ns ticks since 1601.
FILETIME FileTimeOf(int64_t when) {
    const uint64_t ticks = static_cast<uint64_t>(when * 10000000 + 116444736000000000LL);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

int64_t TicksOf(const FILETIME& time) {
    return static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 |
                                time.dwLowDateTime);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode);
}

// Writes what comes through the pipe to the console as UTF-16, a character that a read cut in
// two kept for the next read.
struct Relay {
    HANDLE read = nullptr;
    HANDLE console = nullptr;
    std::thread thread;

    void Run() {
        std::string pending;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            pending.append(buffer, got);
            // The end of the last whole character.
            size_t end = pending.size();
            for (size_t back = 1; back <= 3 && back <= pending.size(); ++back) {
                const unsigned char c = static_cast<unsigned char>(pending[pending.size() - back]);
                if ((c & 0xC0) == 0x80) {
                    continue;
                }
                const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                if (need > back) {
                    end = pending.size() - back;
                }
                break;
            }
            Write(pending.substr(0, end));
            pending.erase(0, end);
        }
        Write(pending);
    }

    void Write(const std::string& text) {
        const std::wstring wide = Wide(text);
        for (size_t at = 0; at < wide.size();) {
            DWORD put = 0;
            const DWORD ask = static_cast<DWORD>(std::min<size_t>(wide.size() - at, 8192));
            if (!WriteConsoleW(console, wide.data() + at, ask, &put, nullptr) || put == 0) {
                return;
            }
            at += put;
        }
    }
};

// A FILE* that writes, unbuffered and in binary mode, to the pipe `write`.
FILE* PipeStream(HANDLE write) {
    HANDLE mine = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), write, GetCurrentProcess(), &mine, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(mine), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(mine);
        return nullptr;
    }
    FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
        _close(fd);
        return nullptr;
    }
    setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

} // namespace

bool GetEnv(const char* name, std::string* value) {
    const std::wstring key = Wide(name);
    DWORD size = GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (size == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return false;
        }
        value->clear();
        return true;
    }
    std::wstring text(size, L'\0');
    size = GetEnvironmentVariableW(key.c_str(), text.data(), size);
    text.resize(size);
    *value = Utf8(text);
    return true;
}

void SetEnv(const char* name, const char* value) {
    const std::wstring key = Wide(name);
    const std::wstring text = value != nullptr ? Wide(value) : std::wstring();
    SetEnvironmentVariableW(key.c_str(), value != nullptr ? text.c_str() : nullptr);
    // The C runtime keeps a copy of its own, which its getenv reads.
    _wputenv((key + L"=" + text).c_str());
}

std::string ShellWord(const std::string& text) {
    // A file name cannot hold a double quote on Windows; what else cmd.exe or PowerShell would
    // read as more than a character of the word is quoted.
    if (!text.empty() && text.find_first_of(" \t&|<>^()%!;,=`'$@{}[]#") == std::string::npos) {
        return text;
    }
    return "\"" + text + "\"";
}

long UtcOffsetAt(int64_t when) {
    std::string tz;
    if (GetEnv("TZ", &tz)) {
        // As the C library reads it on POSIX systems; one that is no rule there is UTC.
        ZoneRule rule;
        ParseZoneRule(tz, &rule);
        return ZoneOffsetAt(rule, when);
    }
    // The system's zone, with the daylight-saving dates of that year.
    const FILETIME utc = FileTimeOf(when);
    SYSTEMTIME utcParts, localParts;
    FILETIME local;
    if (when < -11644473600LL || !FileTimeToSystemTime(&utc, &utcParts) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utcParts, &localParts) ||
        !SystemTimeToFileTime(&localParts, &local)) {
        return 0;
    }
    return static_cast<long>((TicksOf(local) - TicksOf(utc)) / 10000000);
}

bool UtcParts(int64_t when, struct tm* parts) {
    return CivilTime(when, parts);
}

Capture::Capture() {
    // A file that Windows removes when it is closed, however the program ends.
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"tol", 0, name) == 0) {
        return;
    }
    HANDLE handle = CreateFileW(
        name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DeleteFileW(name);
        return;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return;
    }
    file_ = _fdopen(fd, "w+b");
    if (file_ == nullptr) {
        _close(fd);
    }
}

Capture::~Capture() {
    if (file_ != nullptr) {
        fclose(file_);
    }
}

std::string Capture::Text() {
    if (file_ == nullptr) {
        return std::string();
    }
    fflush(file_);
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)));
    std::string text;
    char buffer[1 << 14];
    for (;;) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(text.size());
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(text.size()) >> 32);
        DWORD got = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &got, &at) || got == 0) {
            break;
        }
        text.append(buffer, got);
    }
    return text;
}

// Windows has neither SIGPIPE nor SIGXFSZ: a write to a pipe whose reader has gone fails with
// EPIPE (base/win32.cpp maps the system's error) as it is.
void PrepareProcess() {
    std::set_terminate([] {
        RemoveRegisteredPaths();
        abort();
    });
}

bool OutputCut(FILE* out) {
    return fflush(out) != 0 && errno == EPIPE;
}

int EndProcess(int status) {
    return status == kCutPipe ? 1 : status;
}

StandardStreams::StandardStreams() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    const bool outConsole = IsConsole(out);
    const bool errConsole = IsConsole(err);
    // Bytes as they are: -o - writes a deck's, and a message's line ends stay LF.
    if (!outConsole) {
        _setmode(_fileno(stdout), _O_BINARY);
    }
    if (!errConsole) {
        _setmode(_fileno(stderr), _O_BINARY);
    }
    if (!outConsole && !errConsole) {
        return;
    }
    // One pipe for both, so that the console shows the lines in the order they were written.
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 0)) {
        return;
    }
    FILE* toOut = outConsole ? PipeStream(write) : stdout;
    FILE* toErr = errConsole ? PipeStream(write) : stderr;
    CloseHandle(write);
    if (toOut == nullptr || toErr == nullptr) {
        for (FILE* f : {toOut, toErr}) {
            if (f != nullptr && f != stdout && f != stderr) {
                fclose(f);
            }
        }
        CloseHandle(read);
        return;
    }
    auto* relay = new Relay;
    relay->read = read;
    relay->console = outConsole ? out : err;
    relay->thread = std::thread(&Relay::Run, relay);
    relay_ = relay;
    out_ = toOut;
    err_ = toErr;
}

StandardStreams::~StandardStreams() {
    fflush(stdout);
    fflush(stderr);
    auto* relay = static_cast<Relay*>(relay_);
    if (relay == nullptr) {
        return;
    }
    // Closing the pipe's last writer ends the relay once it has written everything.
    for (FILE* f : {out_, err_}) {
        if (f != stdout && f != stderr) {
            fclose(f);
        }
    }
    relay->thread.join();
    CloseHandle(relay->read);
    delete relay;
}

} // namespace deck
