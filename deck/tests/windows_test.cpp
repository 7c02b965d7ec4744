// The Windows cases of tollamy-deck.exe, each a table run through the real program as a user
// starts it (CreateProcessW, a UTF-16 command line): wide and long paths, a collection that
// Anki holds with SQLite's own Windows lock, the console's control events in the middle of a
// large import, `-o -` and its bytes, the console written in UTF-16, and the watch with its
// parent, its lock, its switch program and ReadDirectoryChangesW. What they check is what a
// user sees: bytes on disk, exit statuses, messages and the files left afterwards, read with
// Windows' own calls rather than the tool's.
#include "common/commandline.h"
#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using decktest::Deck;
using decktest::ReadBytes;
using decktest::TempDir;
using decktest::WriteBytes;

// The launcher's test profile (deck-apkg-seeds --profile): four cards due on Wed 2026-03-11
// in "French".
constexpr long long kNow = 1773223200;

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

// Environment variables set while it lives, for the programs started meanwhile.
class EnvAt {
public:
    EnvAt(std::vector<std::pair<std::string, std::string>> set) {
        for (const auto& [name, value] : set) {
            wchar_t old[32768];
            DWORD n = GetEnvironmentVariableW(W(name).c_str(), old, 32768);
            old_.push_back({W(name), n > 0 ? std::wstring(old, n) : std::wstring(), n > 0});
            SetEnvironmentVariableW(W(name).c_str(), value == "\x01" ? nullptr : W(value).c_str());
        }
    }
    ~EnvAt() {
        for (const Old& o : old_) {
            SetEnvironmentVariableW(o.name.c_str(), o.had ? o.value.c_str() : nullptr);
        }
    }

private:
    struct Old {
        std::wstring name, value;
        bool had;
    };
    std::vector<Old> old_;
};
constexpr const char* kUnset = "\x01";

struct Exe {
    DWORD status = 0;
    std::string out, err;
};

struct Started {
    PROCESS_INFORMATION process{};
    std::string outPath, errPath;
};

// Starts PROGRAM ARGS... with standard output and error in files of `dir`, standard input
// empty, or with the standard streams of its console (`ownConsole`).
Started Start(const TempDir& dir, const std::string& program, const std::vector<std::string>& args,
              DWORD flags = 0, bool ownConsole = false) {
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

Exe Finish(Started& s, DWORD ms = 60000) {
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

// Every path form a user meets: the tool takes it from its UTF-16 command line (or from
// ANKI_BASE), reads and writes there, and names it in its messages as given.
// Every word comes back from the command line as it went in, split by Windows' own reader.
TEST(Windows, CommandLineWordsComeBackUnchanged) {
    const std::vector<std::wstring> words = {
        L"C:\\Program Files\\Tollamy\\tollamy-deck.exe",
        L"",
        L"plain",
        L"two words",
        L"tab\there",
        L"say \"hi\"",
        L"C:\\folder with space\\",
        L"a\\\\\"b",
        L"trailing\\\\",
        L"\\\\server\\share",
        L"日本語 デッキ",
    };
    int count = 0;
    LPWSTR* back = CommandLineToArgvW(CommandLine(words).c_str(), &count);
    ASSERT_NE(back, nullptr);
    std::vector<std::wstring> split(back, back + count);
    LocalFree(back);
    EXPECT_EQ(split, words);
}

TEST(Windows, PathsAreWideAtEveryCallLongOnesToo) {
    TempDir dir;
    const std::string root = dir.Path("");
    std::string deep = dir.Path("long");
    while (deep.size() < 300) {
        deep += "\\" + std::string(60, 'd');
    }
    const struct {
        const char* what;
        std::string folder; // where input and output lie
        std::string input;  // its name there
    } cases[] = {
        {"a Japanese name", dir.Path("decks"), "日本語.txt"},
        {"spaces", dir.Path("My Decks"), "French words.tsv"},
        {"a Cyrillic folder", dir.Path("Ученик"), "слова.csv"},
        {"past MAX_PATH", deep, "deck.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MakeLongFolders(c.folder);
        const std::string input = c.folder + "\\" + c.input;
        const std::string output = c.folder + "\\out " + c.input;
        WriteLong(input, "Frage\tAntwort\nЖ\t日本\n");
        Exe e = Tool(dir, {"import", input, "-o", output});
        EXPECT_EQ(e.status, 0u) << e.err;
        EXPECT_NE(e.err.find("from " + input), std::string::npos) << e.err;
        EXPECT_NE(e.err.find("to " + output), std::string::npos) << e.err;
        EXPECT_EQ(ReadLong(output), Deck({{"Frage", "Antwort"}, {"Ж", "日本"}}));
        e = Tool(dir, {"check", output});
        EXPECT_EQ(e.status, 0u) << e.err;
        EXPECT_EQ(e.out, "2 cards, 0 warnings, 0 errors\n");
        // A second import without --force changes nothing and says why.
        e = Tool(dir, {"import", input, "-o", output});
        EXPECT_EQ(e.status, 1u);
        EXPECT_NE(e.err.find("exists; use --force"), std::string::npos) << e.err;
        std::vector<std::string> both{c.input, "out " + c.input};
        std::sort(both.begin(), both.end());
        EXPECT_EQ(Names(c.folder), both);
    }
    RemoveLong(dir.Path("long"));

    // Anki's profiles: a Cyrillic name under ANKI_BASE with spaces, and Anki's own place,
    // %APPDATA%\Anki2.
    char appdata[MAX_PATH] = "";
    ASSERT_GT(GetEnvironmentVariableA("APPDATA", appdata, MAX_PATH), 0u);
    const std::string anki = std::string(appdata) + "\\Anki2";
    const bool had = GetFileAttributesA(anki.c_str()) != INVALID_FILE_ATTRIBUTES;
    const struct {
        const char* what;
        std::string base; // ANKI_BASE, or kUnset
        std::string folder;
    } profiles[] = {
        {"ANKI_BASE", dir.Path("Anki Data"), dir.Path("Anki Data")},
        {"%APPDATA%", kUnset, anki},
    };
    for (const auto& p : profiles) {
        SCOPED_TRACE(p.what);
        if (p.base == kUnset && had) {
            ADD_FAILURE() << anki << " is there already: a real Anki's, left alone";
            continue;
        }
        Profile(dir, p.folder, "Ученик");
        EnvAt env({{"ANKI_BASE", p.base}, {"TZ", "UTC"}, {"TOLLAMY_NOW", std::to_string(kNow)}});
        Exe e = Tool(dir, {"profiles"});
        EXPECT_EQ(e.status, 0u) << e.err;
        EXPECT_EQ(e.out, "Ученик\n");
        e = Tool(dir, {"import", "--anki-profile", "Ученик", "--due", "--deck", "French", "-o",
                       dir.Path("Ученик.txt"), "--force", "--next-change", "-"});
        EXPECT_EQ(e.status, 0u) << e.err;
        EXPECT_EQ(ReadBytes(dir.Path("Ученик.txt")), FrenchDue());
        EXPECT_NE(e.out.find(p.folder + "\\Ученик\\collection.anki2\n"), std::string::npos)
            << e.out;
    }
    if (!had) {
        RemoveLong(anki);
    }
}

// While Anki runs it holds its collection with SQLite's exclusive locking mode: SQLite's own
// lock on Windows (LockFileEx on the bytes past 1 GiB), taken here by another process through
// SQLite. Then the newest backup is read, with a warning; a reader that holds a read
// transaction leaves the collection readable; and the collection and its folder stay as they
// were.
TEST(Windows, ACollectionThatAnkiHoldsLeadsToTheNewestBackup) {
    TempDir dir;
    const std::string base = dir.Path("anki");
    const std::string profile = Profile(dir, base, "User 1");
    const std::string collection = profile + "\\collection.anki2";
    // The backups: an older one, and the newest, in which nothing is due.
    MakeLongFolders(profile + "\\backups");
    std::string empty = dir.Path("empty.anki2");
    ASSERT_TRUE(CopyFileW(W(collection).c_str(), W(empty).c_str(), FALSE));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(empty.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE cards SET queue = -1", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const std::string backups = profile + "\\backups\\";
    ASSERT_EQ(apkg_test::WriteZip(backups + "backup-2026-03-10-08.00.00.colpkg",
                                  {{"collection.anki2", ReadBytes(collection)}}),
              "");
    ASSERT_EQ(apkg_test::WriteZip(backups + "backup-2026-03-11-09.00.00.colpkg",
                                  {{"collection.anki2", ReadBytes(empty)}}),
              "");
    FILETIME older{}, newer{};
    SYSTEMTIME t{2026, 3, 2, 10, 8, 0, 0, 0};
    SystemTimeToFileTime(&t, &older);
    t = {2026, 3, 3, 11, 9, 0, 0, 0};
    SystemTimeToFileTime(&t, &newer);
    for (const auto& [name, time] : {std::make_pair("backup-2026-03-10-08.00.00.colpkg", older),
                                     std::make_pair("backup-2026-03-11-09.00.00.colpkg", newer)}) {
        HANDLE f = CreateFileW(W(backups + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        SetFileTime(f, nullptr, nullptr, &time);
        CloseHandle(f);
    }
    const std::string nothing = Deck({{"Nothing due in French", "Next: no reviews are scheduled"}});
    const struct {
        const char* holder; // "" none
        bool backup;
    } cases[] = {{"", false}, {"shared", false}, {"exclusive", true}, {"", false}};
    EnvAt env({{"TZ", "UTC"},
               {"TOLLAMY_NOW", std::to_string(kNow)},
               {"TMP", dir.Path("tmp")},
               {"TEMP", dir.Path("tmp")}});
    MakeLongFolders(dir.Path("tmp"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.holder[0] != 0 ? c.holder : "none");
        Started holder;
        const std::string ready = dir.Path("ready");
        if (c.holder[0] != 0) {
            holder = Start(dir, TOLLAMY_HELPER, {"hold", c.holder, collection, ready});
            for (int i = 0;
                 i < 200 && GetFileAttributesW(W(ready).c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
                Sleep(50);
            }
            ASSERT_NE(GetFileAttributesW(W(ready).c_str()), INVALID_FILE_ATTRIBUTES);
        }
        const std::vector<std::string> before = Names(profile);
        const std::string bytes = ReadBytes(collection);
        Exe e = Tool(dir, {"import", collection, "--due", "--deck", "French", "-o",
                           dir.Path("French.txt"), "--force"});
        EXPECT_EQ(e.status, 0u) << e.err;
        const std::string warning = "reading its newest backup instead, "
                                    "backups/backup-2026-03-11-09.00.00.colpkg of Wed 2026-03-11 "
                                    "09:00";
        EXPECT_EQ(e.err.find(warning) != std::string::npos, c.backup) << e.err;
        EXPECT_EQ(ReadBytes(dir.Path("French.txt")), c.backup ? nothing : FrenchDue());
        EXPECT_EQ(Names(profile), before) << "a file was left beside the collection";
        EXPECT_TRUE(ReadBytes(collection) == bytes) << "the collection changed";
        EXPECT_TRUE(Names(dir.Path("tmp")).empty());
        if (c.holder[0] != 0) {
            DeleteFileW(W(ready).c_str());
            EXPECT_EQ(Finish(holder).status, 0u);
        }
    }
}

// The console's Ctrl+C and Ctrl+Break (to every program of the console) in the middle of a large
// import end the tool as Windows ends a program on them, and
// leave no temporary file: neither the deck's beside OUTPUT nor the package's private copy,
// which SQLite holds open.
TEST(Windows, ConsoleControlEventsLeaveNoTemporaryFile) {
    TempDir dir;
    {
        std::ofstream text(dir.Path("big.tsv"), std::ios::binary);
        for (int i = 0; i < 600000; ++i) {
            text << "question " << i << "\tanswer " << i << "\n";
        }
    }
    apkg_test::PackageSpec plan;
    for (int i = 0; i < 40000; ++i) {
        plan.notes.push_back({1500000000000LL + i,
                              apkg_test::kBasic,
                              {"<b>front</b> " + std::to_string(i), "back " + std::to_string(i)}});
    }
    ASSERT_EQ(apkg_test::BuildPackage(plan, dir.Path("big.apkg")), "");
    const struct {
        const char* input;
        DWORD event;
        const char* what;
    } cases[] = {
        {"big.tsv", CTRL_C_EVENT, "Ctrl+C in a text import"},
        {"big.apkg", CTRL_C_EVENT, "Ctrl+C in a package import"},
        {"big.tsv", CTRL_BREAK_EVENT, "Ctrl+Break in a text import"},
        {"big.apkg", CTRL_BREAK_EVENT, "Ctrl+Break in a package import"},
    };
    int sent = 0, run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ++run;
        const std::string out = dir.Path("out" + std::to_string(run)),
                          tmp = dir.Path("tmp" + std::to_string(run));
        MakeLongFolders(out);
        MakeLongFolders(tmp);
        EnvAt env({{"TMP", tmp}, {"TEMP", tmp}});
        // The tool in a console of its own without a window, which this program then shares
        // (it stays on the event).
        Started s =
            Start(dir, TOLLAMY_DECK_BINARY, {"import", dir.Path(c.input), "-o", out + "\\deck.txt"},
                  CREATE_NO_WINDOW);
        // The moment it has a temporary file: the deck's, or the package's copy.
        bool making = false;
        for (int i = 0; i < 20000 && !making; ++i) {
            for (const std::string& name : Names(out)) {
                making = making || name.rfind(".tollamy-deck-", 0) == 0;
            }
            for (const std::string& name : Names(tmp)) {
                for (const std::string& file : Names(tmp + "\\" + name)) {
                    making = making || file == "collection";
                }
            }
            if (!making) {
                Sleep(1);
            }
        }
        EXPECT_TRUE(making) << "no temporary file seen";
        EXPECT_TRUE(AttachTo(s.process.dwProcessId));
        SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
        const bool generated = GenerateConsoleCtrlEvent(c.event, 0);
        const DWORD error = GetLastError();
        if (!generated) {
            // Wine sends Ctrl+C to a console's programs, but not Ctrl+Break.
            TerminateProcess(s.process.hProcess, 1);
            Finish(s);
            FreeConsole();
            EXPECT_EQ(c.event, static_cast<DWORD>(CTRL_BREAK_EVENT)) << error;
            printf("%s: the event cannot be sent here (error %lu)\n", c.what, error);
            continue;
        }
        ++sent;
        if (WaitForSingleObject(s.process.hProcess, 30000) != WAIT_OBJECT_0) {
            TerminateProcess(s.process.hProcess, 1);
        }
        Exe e = Finish(s);
        FreeConsole();
        EXPECT_EQ(e.status, static_cast<DWORD>(STATUS_CONTROL_C_EXIT)) << e.err;
        EXPECT_TRUE(Names(out).empty()) << Names(out).front();
        EXPECT_TRUE(Names(tmp).empty()) << Names(tmp).front();
    }
    EXPECT_GE(sent, 2);
}

// `-o -` writes the deck's bytes (and export's UTF-8) unchanged to a file or a pipe: no CR
// before each 0x0A byte, as the C runtime's text mode would write.
TEST(Windows, DashOutputIsTheBytesUnchanged) {
    TempDir dir;
    // U+010A is 0A 01 in UTF-16LE; the deck's line ends are 0D 00 0A 00.
    WriteBytes(dir.Path("in.tsv"), "Ċ\tline\nQ\tA\n");
    const struct {
        std::vector<std::string> args;
        std::string file; // what -o FILE writes
    } cases[] = {
        {{"import", dir.Path("in.tsv"), "-o", "-"}, dir.Path("deck.txt")},
        {{"export", dir.Path("deck.txt"), "-o", "-"}, dir.Path("back.tsv")},
    };
    for (const auto& c : cases) {
        std::vector<std::string> toFile = c.args;
        toFile.back() = c.file;
        Exe e = Tool(dir, toFile);
        ASSERT_EQ(e.status, 0u) << e.err;
        e = Tool(dir, c.args);
        EXPECT_EQ(e.status, 0u) << e.err;
        EXPECT_EQ(e.out, ReadBytes(c.file));
        EXPECT_NE(e.err.find("to standard output"), std::string::npos) << e.err;
    }
    EXPECT_EQ(ReadBytes(dir.Path("deck.txt")), Deck({{"Ċ", "line"}, {"Q", "A"}}));
}

// A message to a console is written in UTF-16 and shows every character, whatever the
// console's code page.
TEST(Windows, TheConsoleShowsEveryCharacter) {
    TempDir dir;
    WriteBytes(dir.Path("Ёж αβ.txt"), "Q\tA\n");
    const std::string ready = dir.Path("ready");
    // The tool in a console without a window, which this program shares to read its screen.
    Started s = Start(dir, TOLLAMY_HELPER,
                      {"console", ready, TOLLAMY_DECK_BINARY, "import", dir.Path("Ёж αβ.txt"), "-o",
                       dir.Path("deck.txt")},
                      CREATE_NO_WINDOW, true);
    ASSERT_TRUE(AttachTo(s.process.dwProcessId));
    // A code page in which the name's letters cannot be written as bytes.
    SetConsoleOutputCP(1252);
    WriteBytes(ready, "");
    EXPECT_EQ(Finish(s).status, 0u);
    HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(console, &info));
    std::wstring screen(static_cast<size_t>(info.dwSize.X) * (info.dwCursorPosition.Y + 1), L' ');
    DWORD got = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(console, screen.data(),
                                            static_cast<DWORD>(screen.size()), {0, 0}, &got));
    CloseHandle(console);
    FreeConsole();
    EXPECT_NE(screen.find(L"imported 1 card from "), std::wstring::npos);
    EXPECT_NE(screen.find(L"Ёж αβ.txt (UTF-8"), std::wstring::npos)
        << "the screen shows " << ReadBytes(s.errPath);
}

// The watch on Windows: its items imported at its start and again within seconds of a review
// (ReadDirectoryChangesW on the profile), its switch program run through CreateProcessW with
// a path and an item name that need quotes, one watch per folder (LockFileEx), and its end
// within seconds of its parent's, however that ends.
TEST(Windows, TheWatchFollowsItsProfileItsLockAndItsParent) {
    TempDir dir;
    const std::string base = dir.Path("anki");
    const std::string collection = Profile(dir, base, "User 1") + "\\collection.anki2";
    const std::string data = dir.Path("data");
    const std::string program = dir.Path("switch it") + "\\switch.exe";
    MakeLongFolders(dir.Path("switch it"));
    ASSERT_TRUE(CopyFileW(W(TOLLAMY_HELPER).c_str(), W(program).c_str(), FALSE));
    EnvAt env({{"ANKI_BASE", base},
               {"TZ", "UTC"},
               {"TOLLAMY_NOW", std::to_string(kNow)},
               {"TOLLAMY_HELPER_RECORD", dir.Path("switched.txt")}});
    // The item "French" with a name of its own that needs quotes on a command line.
    Exe e = Tool(dir, {"watch", data, "--once", "--anki", "French"});
    ASSERT_EQ(e.status, 0u) << e.err;
    ASSERT_TRUE(
        MoveFileW(W(data + "\\French.source").c_str(), W(data + "\\Les verbes.source").c_str()));
    DeleteFileW(W(data + "\\French.txt").c_str());
    DeleteFileW(W(data + "\\French.next").c_str());
    const std::string pids = dir.Path("pid");
    Started parent = Start(dir, TOLLAMY_HELPER,
                           {"parent", pids, TOLLAMY_DECK_BINARY, "watch", data, "--refresh", "0",
                            "--switch", program});
    auto deck = [&] { return ReadBytes(data + "\\Les verbes.txt"); };
    for (int i = 0; i < 200 && deck() != FrenchDue(); ++i) {
        Sleep(100);
    }
    EXPECT_EQ(deck(), FrenchDue())
        << "the item was not imported at the start: " << ReadBytes(parent.errPath);
    // The switch program runs once the import is written.
    for (int i = 0; i < 50 && ReadBytes(dir.Path("switched.txt")).empty(); ++i) {
        Sleep(100);
    }
    EXPECT_EQ(ReadBytes(dir.Path("switched.txt")), "Les verbes\non\n") << ReadBytes(parent.errPath);

    // A second watch of the folder is refused.
    Started started = Start(dir, TOLLAMY_DECK_BINARY, {"watch", data});
    Exe other = Finish(started, 10000);
    EXPECT_EQ(other.status, 1u);
    EXPECT_NE(other.err.find("are kept current already"), std::string::npos) << other.err;

    // Anki saves a review: the due cards are due tomorrow.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(collection.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "UPDATE cards SET type = 2, queue = 2, due = 70, odue = CASE WHEN "
                           "odid != 0 THEN 70 ELSE odue END WHERE queue IN (1, 2, 3, 4)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const std::string tomorrow =
        Deck({{"Nothing due in French", "Next: 4 cards tomorrow, Thu 2026-03-12"}});
    for (int i = 0; i < 150 && deck() != tomorrow; ++i) {
        Sleep(100);
    }
    EXPECT_EQ(deck(), tomorrow) << "the review is not in the deck after 15 s";

    // The parent ends: so does the watch, within 10 s.
    DWORD watchId = static_cast<DWORD>(std::stoul("0" + ReadBytes(pids)));
    HANDLE watch = OpenProcess(SYNCHRONIZE, FALSE, watchId);
    ASSERT_NE(watch, nullptr);
    TerminateProcess(parent.process.hProcess, 9);
    Finish(parent);
    EXPECT_EQ(WaitForSingleObject(watch, 10000), WAIT_OBJECT_0) << "the watch outlived its parent";
    CloseHandle(watch);
    EXPECT_EQ(Names(data), (std::vector<std::string>{".watch.lock", "Les verbes.next",
                                                     "Les verbes.source", "Les verbes.txt"}));
}

} // namespace
