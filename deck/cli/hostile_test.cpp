// Hostile and broken input, as an attacker or an unlucky user would give it, and the ends that
// the system makes (a cut pipe, the file size limit, a full disk, memory that runs out): each
// case runs the tool as a program of its own under a memory limit and a time limit, and must
// end with its status and message, never by a signal but SIGPIPE for a cut pipe, with $TMPDIR
// left empty and the files beside the output as they were.
#include "deck/anki/profile_fixture.h"
#include "deck/base/files.h"
#include "deck/deckwriter.h"
#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <stddef.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
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

using decktest::Repeat;

using apkg_test::Format;
using apkg_test::PackageSpec;
using apkg_test::TestNote;
using deck::ReadFull;
using decktest::ReadBytes;
using decktest::WriteBytes;

// g++ says so by __SANITIZE_ADDRESS__, clang (before version 18) only by __has_feature.
#if defined(__has_feature)
#define TOLLAMY_ASAN __has_feature(address_sanitizer)
#else
#define TOLLAMY_ASAN 0
#endif
#if defined(__SANITIZE_ADDRESS__) || TOLLAMY_ASAN
constexpr bool kSanitized = true; // its shadow memory needs far more address space
#else
constexpr bool kSanitized = false;
#endif

// The address space each run gets: the tool's fixed cost and a small multiple of the largest
// input below, far under what the unbounded runs reached.
constexpr rlim_t kMemoryLimit = rlim_t{768} << 20;
// Enough for the tool to read a small CSV (about 16 MiB) or package (about 26 MiB), not a
// field of 4 MB in either (about 48 MiB).
constexpr rlim_t kSmallMemory = rlim_t{36} << 20;
// A run that takes longer hangs.
constexpr int kSecondsLimit = 60;

// How a run of the tool ended.
struct Ended {
    int status = -1; // the exit status, or -1 when a signal ended it
    int signal = 0;
    std::string err;
};

// What else a run meets: standard output a pipe whose reader stops after 10 bytes, standard
// output full (/dev/full, by the test), or a full disk wherever the tool writes a file (every
// write to a descriptor but 0 to 2 fails with ENOSPC, through a seccomp filter; the run ends
// with kNoFilter where none can be set).
enum class Writes { kAsTheyAre, kCutPipe, kFullOutput, kDiskFull };
constexpr int kNoFilter = 125;

// Makes write and pwrite64 to any descriptor above 2 fail with ENOSPC in this process and the
// program it runs; false where seccomp is not to be had.
bool FailFileWrites() {
#if defined(__x86_64__)
    const uint32_t arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    const uint32_t arch = AUDIT_ARCH_AARCH64;
#else
    const uint32_t arch = 0;
#endif
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_write, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_pwrite64, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])), // its low half
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 3, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSPC),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return arch != 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Runs the tool with `args` (leading NAME=VALUE words set its environment), TMPDIR at `tmp`,
// standard input from /dev/null and standard output into `out_file`, under the limits; `file_limit`
// > 0 limits the size of a file it writes.
Ended RunTool(const std::vector<std::string>& args, const std::string& tmp,
              const std::string& out_file, const std::string& err_file, rlim_t file_limit = 0,
              rlim_t memory_limit = kMemoryLimit, Writes writes = Writes::kAsTheyAre) {
    int pipe_ends[2] = {-1, -1};
    if (writes == Writes::kCutPipe && pipe(pipe_ends) != 0) {
        return Ended{};
    }
    pid_t pid = fork();
    if (pid == 0) {
        setenv("TMPDIR", tmp.c_str(), 1);
        int in = open("/dev/null", O_RDONLY);
        int out = pipe_ends[1] >= 0 ? pipe_ends[1]
                                    : open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (pipe_ends[0] >= 0) {
            close(pipe_ends[0]);
        }
        if (!kSanitized) {
            const rlimit memory{memory_limit, memory_limit};
            setrlimit(RLIMIT_AS, &memory);
        }
        if (file_limit > 0) {
            const rlimit size{file_limit, file_limit};
            setrlimit(RLIMIT_FSIZE, &size);
        }
        if (writes == Writes::kDiskFull && !FailFileWrites()) {
            _exit(kNoFilter);
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
    if (pipe_ends[0] >= 0) {
        close(pipe_ends[1]);
        char head[10];
        ReadFull(pipe_ends[0], head, sizeof head);
        close(pipe_ends[0]);
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

// Past the limits on one input (deck/base/limits.h): a package of one note of a note type of
// its own, whose cards are left out with a warning that names the limit; the deck is written
// to new.txt.
std::vector<std::string> Over(const Folder& f, const std::string& front, const std::string& back,
                              const std::string& question, int kind = 0,
                              Format format = Format::kAnki21) {
    PackageSpec plan;
    plan.format = format;
    plan.types.push_back(
        {2001, "Hostile", kind, {"Front", "Back"}, {{"Card 1", question, "{{Back}}"}}});
    plan.notes.push_back(TestNote(1000001, 2001, {front, back}));
    plan.notes.push_back(TestNote(1000002, apkg_test::kBasic, {"good", "card"}));
    const std::string path = f.Path("in.apkg");
    EXPECT_EQ(apkg_test::BuildPackage(plan, path), "");
    return {"import", path, "-o", f.Path("new.txt")};
}

// Decks: one whose name is 1 MiB, or 3,000 nested ones; listed with `decks`.
std::vector<std::string> Decks(const Folder& f, bool nested) {
    PackageSpec plan;
    plan.format = Format::kAnki21b;
    std::string name = nested ? "a" : std::string(1 << 20, 'a');
    for (int i = 0; i < (nested ? 3000 : 1); ++i) {
        plan.notes.push_back(TestNote(1000001 + i, apkg_test::kBasic, {"front", "back"}, name));
        name += "::a";
    }
    const std::string path = f.Path("in.apkg");
    EXPECT_EQ(apkg_test::BuildPackage(plan, path), "");
    return {"decks", path};
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
    {"a field over the limit",
     [](const Folder& f) { return Over(f, std::string((64 << 20) + 1, 'x'), "", "{{Front}}"); }, 0,
     "note 1000001 (Hostile) left out: its field \"Front\" is 64.0 MiB, over the limit of 64 "
     "MiB "
     "for a field",
     "new.txt"},
    {"a note over the limit, which SQLite reads no further than",
     [](const Folder& f) {
         return Over(f, std::string(65 << 20, 'x'), std::string(65 << 20, 'y'), "{{Front}}");
     },
     1, "holds a value (a note's fields, a note type) of more than 128 MiB, the limit of a note"},
    {"a template over the limit",
     [](const Folder& f) { return Over(f, "front", "back", std::string((16 << 20) + 1, 't')); }, 0,
     "template \"Card 1\": its front cannot be rendered: it is 16.0 MiB, over the limit of 16 "
     "MiB "
     "for a template; 1 card left out",
     "new.txt"},
    {"a template of field references past the limit of a side",
     [](const Folder& f) {
         return Over(f, std::string(1 << 20, 'x'), "", Repeat("{{Front}}", 65));
     },
     0,
     "note 1000001 (Hostile) left out: its front renders to more than 64 MiB, the limit of a "
     "card's side",
     "new.txt"},
    {"a field of 10,001 cloze gaps",
     [](const Folder& f) { return Over(f, Repeat("{{c1::x}}", 10001), "", "{{cloze:Front}}", 1); },
     0, "its field \"Front\" holds more than 10000 cloze gaps, the limit for a field", "new.txt"},
    {"100,000 nested <div>s",
     [](const Folder& f) {
         return Over(f, Repeat("<div>", 100000) + "x" + Repeat("</div>", 100000), "", "{{Front}}");
     },
     0, "note 1000001 (Hostile) left out: its front's HTML nests more than 1000 elements deep",
     "new.txt"},
    {"100,000 nested sections",
     [](const Folder& f) {
         return Over(f, "front", "", Repeat("{{#Front}}", 100000) + Repeat("{{/Front}}", 100000));
     },
     0, "its front cannot be rendered: its sections nest more than 100 deep, the limit", "new.txt"},
    {"a deck name of 1 MiB", [](const Folder& f) { return Decks(f, false); }, 0,
     "is 1.0 MiB, over the limit of 16 KiB for a name: it is cut there"},
    {"3,000 nested decks", [](const Folder& f) { return Decks(f, true); }, 0,
     "nests 101 levels deep, over the limit of 100: its cards count in its ancestor at level "
     "100, "
     "and 2899 more entries"},
    {"a CSV row of 2 million commas, to standard output",
     [](const Folder& f) {
         WriteBytes(f.Path("in.csv"), std::string(2000000, ',') + "\n");
         return std::vector<std::string>{"import", f.Path("in.csv"), "-o", "-"};
     },
     0, "row skipped: its question and answer are both empty"},
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

// The inputs of the exits: CSVs of 10 and 50,000 cards, a deck of 50,000, a package whose
// collection is about 1 MB, and a field of 4 MB in a CSV and in a package.
std::string Csv(const Folder& f, int rows) {
    std::string text;
    for (int i = 0; i < rows; ++i) {
        text += "question " + std::to_string(i) + ",answer " + std::to_string(i) + "\n";
    }
    WriteBytes(f.Path("in.csv"), text);
    return f.Path("in.csv");
}
std::string SmallCsv(const Folder& f) {
    return Csv(f, 10);
}
std::string LargeCsv(const Folder& f) {
    return Csv(f, 50000);
}
std::string LargeDeck(const Folder& f) {
    WriteBytes(f.Path("in.txt"), decktest::Deck({50000, {"question", "answer"}}));
    return f.Path("in.txt");
}
std::string LargePackage(const Folder& f) {
    PackageSpec plan;
    plan.format = Format::kAnki21;
    for (int64_t i = 0; i < 4000; ++i) {
        plan.notes.push_back(TestNote(1000000 + i, apkg_test::kBasic,
                                      {"question " + std::to_string(i), std::string(200, 'x')}));
    }
    EXPECT_EQ(apkg_test::BuildPackage(plan, f.Path("in.apkg")), "");
    return f.Path("in.apkg");
}
std::string LongCsvField(const Folder& f) {
    WriteBytes(f.Path("in.csv"), "question," + std::string(4000000, 'x') + "\n");
    return f.Path("in.csv");
}
std::string LongPackageField(const Folder& f) {
    return OneNotePackage(f, std::string(4000000, 'x'), Format::kAnki21);
}

// The ends that the system makes: a cut pipe, a file size limit, a full disk, memory that runs
// out. Each removes every temporary file and leaves the output as it was.
struct Exit {
    const char* what;
    const char* command;
    std::string (*input)(const Folder&);
    const char* output; // "-" or out.txt
    Writes writes;
    rlim_t file_limit, memory_limit;
    int status, signal;
    const char* message; // a part of standard error; TMP is $TMPDIR, DIR the output's folder
};

const Exit kExits[] = {
    {"import -o - into a pipe that its reader closes", "import", LargeCsv, "-", Writes::kCutPipe, 0,
     kMemoryLimit, -1, SIGPIPE, ""},
    {"export -o - into a pipe that its reader closes", "export", LargeDeck, "-", Writes::kCutPipe,
     0, kMemoryLimit, -1, SIGPIPE, ""},
    {"a deck over the file size limit", "import", LargeCsv, "out.txt", Writes::kAsTheyAre, 64 << 10,
     kMemoryLimit, 1, 0,
     "DIR/out.txt: error: could not be written: it is over the file size limit"},
    {"a package's collection over the file size limit", "import", LargePackage, "out.txt",
     Writes::kAsTheyAre, 64 << 10, kMemoryLimit, 1, 0,
     "DIR/in.apkg: error: cannot write the temporary copy (it is over the file size limit)"},
    {"-o - onto a full standard output", "import", SmallCsv, "-", Writes::kFullOutput, 0,
     kMemoryLimit, 1, 0,
     "standard output: error: could not be written: no space left on the disk that holds it"},
    {"a full disk beside the output", "import", SmallCsv, "out.txt", Writes::kDiskFull, 0,
     kMemoryLimit, 1, 0,
     "DIR/out.txt: error: could not be written: no space left on the disk that holds DIR\n"},
    {"a full disk under the output held back for -o -", "import", SmallCsv, "-", Writes::kDiskFull,
     0, kMemoryLimit, 1, 0,
     "standard output: error: could not be written: no space left on the disk that holds the "
     "temporary folder TMP\n"},
    {"memory that runs out on a CSV's field", "import", LongCsvField, "out.txt", Writes::kAsTheyAre,
     0, kSmallMemory, 1, 0, "DIR/in.csv: error: too large to read: the tool ran out of memory"},
    {"memory that runs out on a package's field", "import", LongPackageField, "out.txt",
     Writes::kAsTheyAre, 0, kSmallMemory, 1, 0,
     "DIR/in.apkg: error: too large to read: SQLite ran out of memory reading it"},
};

// `text` with every `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST(Hostile, EveryExitRemovesTheTemporaryFilesAndKeepsTheOutput) {
    for (const Exit& c : kExits) {
        if (kSanitized && (c.memory_limit != kMemoryLimit || c.writes == Writes::kDiskFull)) {
            // No memory limit to run out of; the sanitizer's own writes would fail too.
            continue;
        }
        SCOPED_TRACE(c.what);
        decktest::TempDir dir, logs;
        const Folder f(dir);
        decktest::MakeFolder(f.Path("tmp"));
        WriteBytes(f.Path("out.txt"), std::string(kOldDeck, 20));
        const std::string output = *c.output == '-' ? c.output : f.Path(c.output);
        const std::vector<std::string> args{c.command, c.input(f), "-o", output, "--force"};
        const std::vector<std::string> before = dir.Names();
        const std::string out = c.writes == Writes::kFullOutput ? "/dev/full" : logs.Path("stdout");
        const Ended run = RunTool(args, f.Path("tmp"), out, logs.Path("stderr"), c.file_limit,
                                  c.memory_limit, c.writes);
        if (run.status == kNoFilter) {
            printf("no seccomp filter here: \"%s\" not run\n", c.what);
            continue;
        }
        EXPECT_EQ(run.signal, c.signal) << strsignal(run.signal) << "\n" << run.err;
        EXPECT_EQ(run.status, c.status) << run.err;
        const std::string message =
            Replaced(Replaced(c.message, "TMP", f.Path("tmp")), "DIR", dir.Path());
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(decktest::TempDir::NamesIn(f.Path("tmp")), std::vector<std::string>());
        EXPECT_EQ(dir.Names(), before);
        EXPECT_EQ(ReadBytes(f.Path("out.txt")), std::string(kOldDeck, 20));
    }
}

// The deck's 4 GiB, lowered to a few cards' bytes: a deck that would reach it is refused
// before it is put in place, and one a byte short is written. Each card takes 20 bytes.
TEST(Hostile, ADeckAtTheFormatsLimitIsRefusedWithTheCardsThatFit) {
    const struct {
        uint64_t limit;
        int status;
        const char* message;
    } cases[] = {
        {2 + 3 * 20 + 1, 0, "imported 3 cards"},
        {2 + 3 * 20, 1,
         "out.txt: error: would be 62 bytes or more, beyond the item's 32-bit card offsets: "
         "only the first 2 of its 3 cards fit; split the input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        decktest::TempDir dir;
        decktest::MakeFolder(dir.Path("tmp"));
        decktest::TempFolderAt tmp(dir.Path("tmp"));
        WriteBytes(dir.Path("out.txt"), std::string(kOldDeck, 20));
        deck::DeckWriter::LimitForTest(c.limit);
        const decktest::Run run = decktest::ImportBytes(
            dir.Path("in.csv"), "q 1,four\nq 2,four\nq 3,four\n", dir.Path("out.txt"), {});
        deck::DeckWriter::LimitForTest(0);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"in.csv", "out.txt", "tmp"}));
        EXPECT_EQ(ReadBytes(dir.Path("out.txt")).size(), c.status == 0 ? c.limit - 1 : 20);
    }
}

} // namespace
