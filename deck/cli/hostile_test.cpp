// Hostile and broken input, as an attacker or an unlucky user would give it: each case runs the
// tool as a program of its own under a memory limit and a time limit, and must end with its
// status and message, never by a signal, with $TMPDIR left empty and the files beside the
// output as they were.
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

// Runs the tool with `args`, TMPDIR at `tmp`, standard input from /dev/null and standard output
// into `out_file`, under the limits; `file_limit` > 0 limits the size of a file it writes.
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
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
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
};

struct Hostile {
    const char* what;
    // Makes the inputs and gives the tool's arguments.
    std::function<std::vector<std::string>(const Folder&)> make;
    int status;
    const char* message;         // a part of standard error
    const char* makes = nullptr; // the file a run that succeeds writes beside the inputs
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

// The ZIP bomb: a package whose collection entry declares 4 GiB.
std::vector<std::string> ZipBomb(const Folder& f) {
    const std::string path = OneNotePackage(f, "front", Format::kAnki21);
    std::string bytes = ReadBytes(path);
    for (const char* header : {"PK\x01\x02", "PK\x03\x04"}) {
        const size_t offset = header[2] == 1 ? 24 : 22; // the uncompressed size
        for (size_t at = 0; (at = bytes.find(header, at)) != std::string::npos; at += 4) {
            memcpy(&bytes[at + offset], "\x00\x00\xf0\xff", 4);
        }
    }
    WriteBytes(path, bytes);
    return {"import", path, "-o", f.Path("out.txt"), "--force"};
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

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
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
    {"a field over the limit",
     [](const Folder& f) { return Over(f, std::string((64 << 20) + 1, 'x'), "", "{{Front}}"); }, 0,
     "note 1000001 (Hostile) left out: its field \"Front\" is 64.0 MiB, over the limit of 64 MiB "
     "for a field",
     "new.txt"},
    {"a note over the limit, which SQLite reads no further than",
     [](const Folder& f) {
         return Over(f, std::string(65 << 20, 'x'), std::string(65 << 20, 'y'), "{{Front}}");
     },
     1, "holds a value (a note's fields, a note type) of more than 128 MiB, the limit of a note"},
    {"a template over the limit",
     [](const Folder& f) { return Over(f, "front", "back", std::string((16 << 20) + 1, 't')); }, 0,
     "template \"Card 1\": its front cannot be rendered: it is 16.0 MiB, over the limit of 16 MiB "
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
     "nests 101 levels deep, over the limit of 100: its cards count in its ancestor at level 100, "
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

} // namespace
