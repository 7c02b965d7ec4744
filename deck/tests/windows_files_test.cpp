// The Windows cases of tollamy-deck.exe's files, each a table run through the real program as
// a user starts it (CreateProcessW, a UTF-16 command line): its command line's words, wide and
// long paths and Anki's profiles under %APPDATA%, and a collection that Anki holds with SQLite's
// own Windows lock. What they check is what a user sees: bytes on disk, exit statuses, messages
// and the files left afterwards, read with Windows' own calls rather than the tool's.
#include "deck/tests/windows_support.h"

#include "common/commandline.h"
#include "deck/tests/apkg_builder.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace wintest;
using decktest::Deck;
using decktest::ReadBytes;
using decktest::TempDir;
using decktest::WriteBytes;

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

// Every path form a user meets: the tool takes it from its UTF-16 command line (or from
// ANKI_BASE), reads and writes there, and names it in its messages as given.
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

} // namespace
