// Hostile and broken input, as an attacker or an unlucky user would give it: each case runs the
// tool as a program of its own under a memory limit and a time limit, and must end with its
// status and message, never by a signal, with $TMPDIR left empty and the files beside the
// output as they were.
#include "deck/anki/profile_fixture.h"
#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using apkg_test::Format;
using apkg_test::PackageSpec;
using apkg_test::TestNote;
using decktest::ReadBytes;
using decktest::WriteBytes;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true; // its shadow memory needs far more address space
#else
constexpr bool kSanitized = false;
#endif

// The address space each run gets: the tool's fixed cost and a small multiple of the largest
// input below, far under what the unbounded runs reached.
constexpr rlim_t kMemoryLimit = rlim_t{768} << 20;
// A run that takes longer hangs.
constexpr int kSecondsLimit = 60;

// How a run of the tool ended.
struct Ended {
    int status = -1; // the exit status, or -1 when a signal ended it
    int signal = 0;
    std::string err;
};

// Runs the tool with `args` (leading NAME=VALUE words set its environment), TMPDIR at `tmp`,
// standard input from /dev/null and standard output into `out_file`, under the limits; `file_limit`
// > 0 limits the size of a file it writes.
Ended RunTool(const std::vector<std::string>& args, const std::string& tmp,
              const std::string& out_file, const std::string& err_file, rlim_t file_limit = 0) {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("TMPDIR", tmp.c_str(), 1);
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!kSanitized) {
            const rlimit memory{kMemoryLimit, kMemoryLimit};
            setrlimit(RLIMIT_AS, &memory);
        }
        if (file_limit > 0) {
            const rlimit size{file_limit, file_limit};
            setrlimit(RLIMIT_FSIZE, &size);
        }
        alarm(kSecondsLimit);
        std::vector<char*> argv{const_cast<char*>(TOLLAMY_DECK_BINARY)};
        size_t first = 0;
        // Leading NAME=VALUE words set the run's environment, as env(1) takes them.
        for (; first < args.size() && args[first].find('=') != std::string::npos; ++first) {
            putenv(const_cast<char*>(args[first].c_str()));
        }
        for (size_t i = first; i < args.size(); ++i) {
            argv.push_back(const_cast<char*>(args[i].c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Ended ended;
    if (WIFEXITED(status)) {
        ended.status = WEXITSTATUS(status);
    } else {
        ended.signal = WTERMSIG(status);
    }
    ended.err = ReadBytes(err_file);
    return ended;
}

// A case's folder: the inputs it makes, OUTPUT (out.txt, an existing deck that must stay as it
// was) and the tool's $TMPDIR (tmp/), which must stay empty.
struct Folder {
    explicit Folder(const decktest::TempDir& dir) : root(dir.Path()) {}
    std::string Path(const std::string& name) const { return root + "/" + name; }
    std::string root;
    // What a case keeps while the tool runs (Anki holding a collection open).
    mutable std::vector<std::shared_ptr<void>> held;
};

struct Hostile {
    const char* what;
    // Makes the inputs and gives the tool's arguments.
    std::function<std::vector<std::string>(const Folder&)> make;
    int status;
    const char* message;         // a part of standard error
    const char* makes = nullptr; // the one new file the run leaves in the folder (its deck)
};

const char* const kOldDeck = "\xFF\xFE"
                             "o\0l\0d\0\t\0d\0e\0c\0k\0\r\0\n\0";

// A package of one Basic note with `front` as its first field, in the given format.
std::string OneNotePackage(const Folder& f, const std::string& front, Format format) {
    PackageSpec plan;
    plan.format = format;
    plan.notes.push_back(TestNote(1000001, apkg_test::kBasic, {front, "back"}));
    const std::string path = f.Path("in.apkg");
    EXPECT_EQ(apkg_test::BuildPackage(plan, path), "");
    return path;
}

// A package whose entries state `size` bytes uncompressed, in both of their headers.
std::vector<std::string> StatedSize(const Folder& f, uint32_t size) {
    const std::string path = OneNotePackage(f, "front", Format::kAnki21);
    std::string bytes = ReadBytes(path);
    for (const char* header : {"PK\x01\x02", "PK\x03\x04"}) {
        const size_t offset = header[2] == 1 ? 24 : 22; // the uncompressed size
        for (size_t at = 0; (at = bytes.find(header, at)) != std::string::npos; at += 4) {
            memcpy(&bytes[at + offset], &size, 4); // little-endian, as ZIP's fields
        }
    }
    WriteBytes(path, bytes);
    return {"import", path, "-o", f.Path("out.txt"), "--force"};
}

// The ZIP bomb: a package whose collection entry declares 4 GiB.
std::vector<std::string> ZipBomb(const Folder& f) {
    return StatedSize(f, 0xfff00000);
}

// --- The files and the disk: what a snapshot copies, what is opened, what the messages say -

constexpr int64_t kCreated = 1767254400; // Thu 2026-01-01
const char* const kNow = "TOLLAMY_NOW=1773223200";

// One Basic note with a review card due long ago.
PackageSpec OneDueNote() {
    PackageSpec plan;
    plan.crt = kCreated;
    plan.notes.push_back(TestNote(1, apkg_test::kBasic, {"front", "back"}, "Default", {{2, 2, 1}}));
    return plan;
}

// The collection for `plan` as FOLDER/collection.anki2; returns its path.
std::string Collection(const Folder& f, const std::string& folder, const PackageSpec& plan) {
    decktest::MakeFolder(f.Path(folder));
    const std::string path = f.Path(folder + "/collection.anki2");
    EXPECT_EQ(apkg_test::BuildCollection(plan, path), "");
    return path;
}

std::string Fifo(const std::string& path) {
    EXPECT_EQ(mkfifo(path.c_str(), 0644), 0);
    return path;
}

// 64 KiB of noise, the same in every run.
std::string Noise() {
    std::string noise;
    for (uint32_t x = 1; noise.size() < (1 << 16); x = x * 1103515245 + 12345) {
        noise += static_cast<char>(x >> 24);
    }
    return noise;
}

// 4 MiB of zeros as the -wal of a good collection: no log's header, so SQLite ignores it.
std::vector<std::string> ZeroLog(const Folder& f) {
    const std::string path = Collection(f, "P", OneDueNote());
    WriteBytes(path + "-wal", std::string(4 << 20, '\0'));
    return {"import", path, "-o", f.Path("new.txt")};
}

std::vector<std::string> FifoLog(const Folder& f) {
    const std::string path = Collection(f, "P", OneDueNote());
    Fifo(path + "-wal");
    return {"import", path, "-o", f.Path("out.txt"), "--force"};
}

// A note added in the log, then frames that are no part of it: one repeated, noise.
std::vector<std::string> LogWithGarbage(const Folder& f) {
    decktest::MakeFolder(f.Path("P"));
    const std::string path = f.Path("P/collection.anki2");
    EXPECT_EQ(
        apkg_test::BuildLoggedCollection(
            OneDueNote(), path,
            {"INSERT INTO notes VALUES (2, 'g', 1001, 0, 0, '', 'logged' || char(31) || "
             "'seen', 'x', 0, 0, ''); INSERT INTO cards VALUES (2, 2, 1, 0, 0, 0, 2, 2, 1, 0, "
             "0, 0, 0, 0, 0, 0, 0, '')"}),
        "");
    const std::string log = ReadBytes(path + "-wal");
    WriteBytes(path + "-wal", log + log.substr(32, 24 + 1024) + Noise());
    return {"import", path, "-o", f.Path("new.txt")};
}

// A collection of more than 1 GiB, the rest of it a hole that takes no disk.
std::vector<std::string> HugeCollection(const Folder& f) {
    const std::string path = Collection(f, "P", OneDueNote());
    EXPECT_EQ(truncate(path.c_str(), (off_t{1} << 30) + 1), 0);
    return {"import", path, "-o", f.Path("out.txt"), "--force"};
}

// Anki holds the collection; its newest backup is empty, an older one is good.
std::vector<std::string> EmptyNewestBackup(const Folder& f) {
    PackageSpec plan = OneDueNote();
    plan.wal = true;
    const std::string path = Collection(f, "P", plan);
    decktest::MakeFolder(f.Path("P/backups"));
    PackageSpec old = OneDueNote();
    old.notes[0].fields = {"from the backup", "yes"};
    EXPECT_EQ(apkg_test::BuildPackage(old, f.Path("P/backups/backup-1.colpkg")), "");
    WriteBytes(f.Path("P/backups/backup-2.colpkg"), "");
    for (int i : {1, 2}) {
        const time_t when = kCreated + (i - 1) * 3600;
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        const std::string name = "P/backups/backup-" + std::to_string(i) + ".colpkg";
        utimensat(AT_FDCWD, f.Path(name).c_str(), times, 0);
    }
    auto holds = std::make_shared<profile_fixture::AnkiHolds>(path);
    EXPECT_TRUE(holds->Holds());
    f.held.push_back(holds);
    return {"TZ=UTC", "import", path, "-o", f.Path("new.txt")};
}

// Written under two names, the second then renamed in its headers to the first.
std::vector<std::string> TwoEntriesOfOneName(const Folder& f) {
    const std::string bytes = apkg_test::CollectionBytes(OneDueNote());
    const std::string path = f.Path("in.apkg");
    EXPECT_EQ(
        apkg_test::WriteZip(path, {{"collection.anki21", bytes}, {"collection.anki2x", bytes}}),
        "");
    std::string zip = ReadBytes(path);
    for (size_t at = 0; (at = zip.find("collection.anki2x", at)) != std::string::npos;) {
        zip[at + 16] = '1';
    }
    WriteBytes(path, zip);
    return {"import", path, "-o", f.Path("out.txt"), "--force"};
}

// ANKI_BASE for a run: a base folder with the profile `name`, made by `make` in it.
std::string AnkiBase(const Folder& f, const std::string& name,
                     const std::function<void(const std::string& folder)>& make) {
    decktest::MakeFolder(f.Path("base/" + name));
    make(f.Path("base/" + name));
    return "ANKI_BASE=" + f.Path("base");
}

const Hostile kHostile[] = {
    {"a ZIP bomb", ZipBomb, 1, "the limit of 1 GiB (a damaged package or a zip bomb)"},
    // The files and the disk.
    {"a -wal of zeros beside a good collection", ZeroLog, 0, "imported 1 card from", "new.txt"},
    {"a FIFO as the -wal", FifoLog, 1, "its -wal file cannot be read (not a regular file)"},
    {"a FIFO as the input",
     [](const Folder& f) -> std::vector<std::string> {
         return {"import", Fifo(f.Path("in.csv")), "-o", f.Path("out.txt"), "--force"};
     },
     1, "in.csv: error: cannot be opened: not a regular file"},
    {"a device as the input",
     [](const Folder& f) -> std::vector<std::string> {
         return {"import", "/dev/null", "-o", f.Path("out.txt"), "--force"};
     },
     1, "/dev/null: error: cannot be opened: not a regular file"},
    {"a -wal with frames past its last commit", LogWithGarbage, 0, "imported 2 cards from",
     "new.txt"},
    {"a collection of more than 1 GiB", HugeCollection, 1,
     "is 1073741825 bytes, more than the limit of 1 GiB on a collection"},
    {"an empty newest backup while Anki holds the collection", EmptyNewestBackup, 0,
     "reading its newest backup that reads instead, backups/backup-1.colpkg of Thu 2026-01-01 "
     "08:00; passed over backups/backup-2.colpkg of Thu 2026-01-01 09:00 (empty)",
     "new.txt"},
    {"two entries of one name", TwoEntriesOfOneName, 1,
     "the ZIP archive holds two entries named collection.anki21"},
    {"a stated size beyond what deflate gives",
     [](const Folder& f) { return StatedSize(f, 100 << 20); }, 1,
     "collection.anki21 states 100 MiB uncompressed from"},
    {"a stated size below what the entry unpacks to",
     [](const Folder& f) { return StatedSize(f, 1000); }, 1,
     "collection.anki21 unpacks to more than the 1000 bytes its archive states"},
    {"a text file as a profile's collection",
     [](const Folder& f) -> std::vector<std::string> {
         return {AnkiBase(f, "T",
                          [](const std::string& folder) {
                              WriteBytes(folder + "/collection.anki2", "root:x:0:0:root:/root\n");
                          }),
                 "import",
                 "--anki-profile",
                 "T",
                 "-o",
                 f.Path("out.txt"),
                 "--force"};
     },
     1, "collection.anki2: error: is not an Anki collection or package"},
    {"a profile whose collection cannot be looked at",
     [](const Folder& f) -> std::vector<std::string> {
         // A loop of links: a folder without permission says so too, but root may read it.
         return {AnkiBase(f, "L",
                          [](const std::string& folder) {
                              EXPECT_EQ(symlink("collection.anki2",
                                                (folder + "/collection.anki2").c_str()),
                                        0);
                          }),
                 "decks", "--anki-profile", "L"};
     },
     1, "Anki's profile \"L\" cannot be read: "},
    {"a card whose note is missing, listed",
     [](const Folder& f) -> std::vector<std::string> {
         PackageSpec plan = OneDueNote();
         plan.extra_schema = "INSERT INTO cards VALUES (99, 99, 1, 0, 0, 0, 2, 2, 1, 0, 0, 0, 0, "
                             "0, 0, 0, 0, '')";
         return {kNow, "decks", Collection(f, "P", plan)};
     },
     0, "warning: card 99 is not counted: its note 99 is missing"},
    {"the one due card left out",
     [](const Folder& f) -> std::vector<std::string> {
         return {kNow,    "import",         Collection(f, "P", OneDueNote()),
                 "--due", "--question",     "5",
                 "-o",    f.Path("new.txt")};
     },
     0, ", which holds \"Due in any deck: 1 card the item cannot show\" instead", "new.txt"},
};

TEST(Hostile, EveryInputEndsWithItsMessageAndLeavesNothing) {
    for (const Hostile& c : kHostile) {
        SCOPED_TRACE(c.what);
        decktest::TempDir dir, logs;
        const Folder f(dir);
        decktest::MakeFolder(f.Path("tmp"));
        WriteBytes(f.Path("out.txt"), std::string(kOldDeck, 20));
        const std::vector<std::string> args = c.make(f);
        const std::vector<std::string> before = dir.Names();
        const Ended run = RunTool(args, f.Path("tmp"), logs.Path("stdout"), logs.Path("stderr"));
        EXPECT_EQ(run.signal, 0) << strsignal(run.signal) << "\n" << run.err;
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(decktest::TempDir::NamesIn(f.Path("tmp")), std::vector<std::string>());
        std::vector<std::string> after = before;
        if (c.makes != nullptr) {
            after.push_back(c.makes);
            std::sort(after.begin(), after.end());
        }
        EXPECT_EQ(dir.Names(), after);
        EXPECT_EQ(ReadBytes(f.Path("out.txt")), std::string(kOldDeck, 20));
    }
}

} // namespace
