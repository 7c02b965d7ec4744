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
    const char* message; // a part of standard error
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

const Hostile kHostile[] = {
    {"a ZIP bomb", ZipBomb, 1, "the limit of 1 GiB (a damaged package or a zip bomb)"},
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
        EXPECT_EQ(dir.Names(), before);
        EXPECT_EQ(ReadBytes(f.Path("out.txt")), std::string(kOldDeck, 20));
    }
}

} // namespace
