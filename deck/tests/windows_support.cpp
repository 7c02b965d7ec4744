// What the Windows cases share: paths in their \\?\ form, files and folders through Windows'
// own calls, the environment for the programs they start, and the tool started as a user
// starts it, with a UTF-16 command line (windows_support.h).
#include "deck/tests/windows_support.h"

#include "common/commandline.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace wintest {

using decktest::ReadBytes;
using decktest::TempDir;

std::wstring W(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// A path for Windows' calls in the test itself: backslashes, and the \\?\ form, whatever the
// length.
std::wstring Long(const std::string& path) {
    std::wstring w = W(path);
    for (wchar_t& c : w) {
        c = c == L'/' ? L'\\' : c;
    }
    return L"\\\\?\\" + w;
}

void MakeLongFolders(const std::string& path) {
    const std::wstring w = Long(path);
    for (size_t at = w.find(L'\\', 7); at != std::wstring::npos; at = w.find(L'\\', at + 1)) {
        CreateDirectoryW(w.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryW(w.c_str(), nullptr);
}

void WriteLong(const std::string& path, const std::string& bytes) {
    HANDLE f =
        CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(f);
}

std::string ReadLong(const std::string& path) {
    HANDLE f = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (f != INVALID_HANDLE_VALUE && ReadFile(f, buffer, sizeof buffer, &got, nullptr) &&
           got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(f);
    return bytes;
}

// The names in a folder, through FindFirstFileW.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((Long(folder) + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") {
            int n = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
            std::string utf8(static_cast<size_t>(n - 1), '\0');
            WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, utf8.data(), n, nullptr, nullptr);
            names.push_back(utf8);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveLong(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Long(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        for (const std::string& name : Names(path)) {
            RemoveLong(path + "\\" + name);
        }
        RemoveDirectoryW(Long(path).c_str());
    } else {
        DeleteFileW(Long(path).c_str());
    }
}

// Starts PROGRAM ARGS... with standard output and error in files of `dir`, standard input
// empty, or with the standard streams of its console (`ownConsole`).
Started Start(const TempDir& dir, const std::string& program, const std::vector<std::string>& args,
              DWORD flags, bool ownConsole) {
    static int runs = 0;
    Started s;
    s.outPath = dir.Path("run" + std::to_string(++runs) + ".out");
    s.errPath = dir.Path("run" + std::to_string(runs) + ".err");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(W(s.outPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileW(W(s.errPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE in = CreateFileW(L"NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    std::vector<std::wstring> words{W(program)};
    for (const std::string& a : args) {
        words.push_back(W(a));
    }
    std::wstring line = CommandLine(words);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = ownConsole ? 0 : STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = err;
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                               nullptr, &start, &s.process))
        << GetLastError();
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    return s;
}

Exe Finish(Started& s, DWORD ms) {
    Exe e;
    if (WaitForSingleObject(s.process.hProcess, ms) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "still running after " << ms << " ms";
        TerminateProcess(s.process.hProcess, 1);
        WaitForSingleObject(s.process.hProcess, INFINITE);
    }
    GetExitCodeProcess(s.process.hProcess, &e.status);
    CloseHandle(s.process.hProcess);
    CloseHandle(s.process.hThread);
    e.out = ReadBytes(s.outPath);
    e.err = ReadBytes(s.errPath);
    return e;
}

Exe Tool(const TempDir& dir, const std::vector<std::string>& args) {
    Started s = Start(dir, TOLLAMY_DECK_BINARY, args);
    return Finish(s);
}

// Makes the console of process `pid` this program's own (a console without a window, which a
// program started with CREATE_NO_WINDOW gets), so that its control events and its screen are
// this program's too.
bool AttachTo(DWORD pid) {
    FreeConsole();
    for (int i = 0; i < 200; ++i) {
        if (AttachConsole(pid)) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

// The profile `name` in `base`, with the launcher's test collection (made in a folder with an
// ASCII name, as deck-apkg-seeds takes its arguments in the ANSI code page).
std::string Profile(const TempDir& dir, const std::string& base, const std::string& name) {
    const std::string folder = base + "\\" + name;
    MakeLongFolders(folder);
    const std::string seed = dir.Path("seed");
    MakeLongFolders(seed);
    Started s = Start(dir, TOLLAMY_DECK_SEEDS, {"--profile", seed});
    EXPECT_EQ(Finish(s).status, 0u);
    EXPECT_TRUE(MoveFileExW(Long(seed + "\\collection.anki2").c_str(),
                            Long(folder + "\\collection.anki2").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    return folder;
}

// The deck that the test profile gives for French at kNow.
const std::string& FrenchDue() {
    static const std::string deck = [] {
        TempDir dir;
        const std::string base = dir.Path("base");
        Profile(dir, base, "P");
        EnvAt env({{"ANKI_BASE", base}, {"TZ", "UTC"}, {"TOLLAMY_NOW", std::to_string(kNow)}});
        Exe e = Tool(dir, {"import", "--anki-profile", "P", "--due", "--deck", "French", "-o",
                           dir.Path("d.txt")});
        EXPECT_EQ(e.status, 0u) << e.err;
        return ReadBytes(dir.Path("d.txt"));
    }();
    return deck;
}

} // namespace wintest
