// deck-windows-helper.exe, the programs that the Windows cases start (windows_*_test.cpp):
//   hold exclusive|shared COLLECTION READY  holds the collection as Anki does (exclusive
//       locking mode, write-ahead log, a read done) or as a plain reader in a transaction, makes
//       the file READY, and lets go when READY is removed (or after a minute)
//   parent PIDFILE PROGRAM ARGS...           starts PROGRAM ARGS..., writes its process id to
//       PIDFILE and waits to be ended
//   console READY PROGRAM ARGS...            waits for the file READY (the test has attached to
//       this program's console by then), then runs PROGRAM ARGS... in the console and waits
// Otherwise, with TOLLAMY_HELPER_RECORD set, it is a switch program: it writes its arguments to
// that file, one per line in UTF-8, and exits with 0.
#include <windows.h>

#include <sqlite3.h>

#include <stdio.h>

#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

bool Exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

int Hold(const std::wstring& mode, const wchar_t* collection, const wchar_t* ready) {
    sqlite3* db = nullptr;
    const char* sql = mode == L"exclusive"
                          ? "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=WAL; "
                            "SELECT count(*) FROM col"
                          : "BEGIN; SELECT count(*) FROM col";
    if (sqlite3_open(Utf8(collection).c_str(), &db) != SQLITE_OK ||
        sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        fprintf(stderr, "hold: %s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    HANDLE made = CreateFileW(ready, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(made);
    for (int i = 0; i < 600 && Exists(ready); ++i) {
        Sleep(100);
    }
    sqlite3_exec(db, mode == L"exclusive" ? "" : "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
}

int InConsole(const wchar_t* ready, const wchar_t* line) {
    for (int i = 0; i < 600 && !Exists(ready); ++i) {
        Sleep(50);
    }
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    std::wstring command = line;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &start, &process)) {
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    return static_cast<int>(status);
}

int Parent(const wchar_t* pidFile, const wchar_t* line) {
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    std::wstring command = line;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &start, &process)) {
        return 1;
    }
    FILE* out = _wfopen(pidFile, L"w");
    fprintf(out, "%lu\n", process.dwProcessId);
    fclose(out);
    WaitForSingleObject(process.hProcess, INFINITE);
    return 0;
}

// The rest of the command line after its first `skip` words, as it was given.
const wchar_t* After(const wchar_t* line, int skip) {
    for (int word = 0; word < skip; ++word) {
        bool quoted = false;
        while (*line == L' ' || *line == L'\t') {
            ++line;
        }
        while (*line != 0 && (quoted || (*line != L' ' && *line != L'\t'))) {
            quoted = *line == L'"' ? !quoted : quoted;
            ++line;
        }
    }
    while (*line == L' ' || *line == L'\t') {
        ++line;
    }
    return line;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"hold" && argc == 5) {
        return Hold(argv[2], argv[3], argv[4]);
    }
    if (mode == L"parent" && argc >= 4) {
        return Parent(argv[2], After(GetCommandLineW(), 3));
    }
    if (mode == L"console" && argc >= 4) {
        return InConsole(argv[2], After(GetCommandLineW(), 3));
    }
    if (const wchar_t* record = _wgetenv(L"TOLLAMY_HELPER_RECORD")) {
        FILE* out = _wfopen(record, L"ab");
        for (int i = 1; i < argc; ++i) {
            fprintf(out, "%s\n", Utf8(argv[i]).c_str());
        }
        fclose(out);
        return 0;
    }
    fprintf(stderr, "usage: deck-windows-helper hold exclusive|shared COLLECTION READY | "
                    "parent PIDFILE PROGRAM ARGS... | console READY PROGRAM ARGS...\n");
    return 2;
}
