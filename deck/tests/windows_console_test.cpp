// The Windows cases of tollamy-deck.exe's console and watch, run through the real program as a
// user starts it: the console's control events in the middle of a large import, `-o -` and its
// bytes, the console written in UTF-16, and the watch with its parent, its lock, its switch
// program and ReadDirectoryChangesW. What they check is what a user sees: bytes on disk, exit
// statuses, messages and the files left afterwards.
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
