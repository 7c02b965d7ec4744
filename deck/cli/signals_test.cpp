// A signal that ends the tool half-way leaves none of its temporary files behind: the package's
// unpacked collection, the snapshot of a collection, the output held back for -o -, and the
// deck being written beside OUTPUT.
#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using apkg_test::Format;
using apkg_test::PackageSpec;
using apkg_test::TestNote;

// A package large enough that its import runs for a while: about 10 MB of notes.
PackageSpec LargePackage(Format format) {
    PackageSpec plan;
    plan.format = format;
    const std::string text(200, 'x');
    for (int64_t i = 0; i < 50000; ++i) {
        plan.notes.push_back(TestNote(1000000 + i, apkg_test::kBasic,
                                      {"question " + std::to_string(i) + " " + text, text}));
    }
    return plan;
}

bool HasNameStartingWith(const std::string& folder, const std::string& prefix) {
    for (const std::string& name : decktest::TempDir::NamesIn(folder)) {
        if (name.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

struct Interrupted {
    bool seen = false; // the temporary file showed before the signal was sent
    int status = 0;    // the tool's wait status
};

// Runs the tool with TMPDIR set, sends `signal` once a name beginning with `prefix` shows in
// `watched`, and waits for it to end.
Interrupted Interrupt(const std::vector<std::string>& args, const std::string& tmp,
                      const std::string& watched, const std::string& prefix, int signal) {
    Interrupted result;
    pid_t pid = fork();
    if (pid == 0) {
        setenv("TMPDIR", tmp.c_str(), 1);
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        dup2(quiet, 2);
        std::vector<char*> argv{const_cast<char*>(TOLLAMY_DECK_BINARY)};
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const timespec pause{0, 200000}; // 0.2 ms
    for (int i = 0; i < 300000 && waitpid(pid, &result.status, WNOHANG) == 0; ++i) {
        if (HasNameStartingWith(watched, prefix)) {
            result.seen = true;
            kill(pid, signal);
            waitpid(pid, &result.status, 0);
            return result;
        }
        nanosleep(&pause, nullptr);
    }
    return result;
}

TEST(Signals, AnInterruptedRunLeavesNoTemporaryFile) {
    decktest::TempDir dir;
    ASSERT_EQ(apkg_test::BuildPackage(LargePackage(Format::kAnki21), dir.Path("large.apkg")), "");
    ASSERT_EQ(
        apkg_test::BuildCollection(LargePackage(Format::kAnki21b), dir.Path("collection.anki2")),
        "");
    const std::string tmp = dir.Path("tmp");
    const std::string out = dir.Path("out");
    ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(out.c_str(), 0700), 0);
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string watched, prefix;
        int signal;
    } cases[] = {
        {"the package's unpacked collection",
         {"import", dir.Path("large.apkg"), "-o", out + "/deck.txt"},
         tmp,
         "tollamy-apkg-",
         SIGINT},
        {"the collection's snapshot",
         {"import", "--due", "--new", "50000", dir.Path("collection.anki2"), "-o",
          out + "/due.txt"},
         tmp,
         "tollamy-anki-",
         SIGTERM},
        {"the output held back for -o -",
         {"import", dir.Path("large.apkg"), "-o", "-"},
         tmp,
         "tollamy-deck-",
         SIGHUP},
        {"the deck being written beside OUTPUT",
         {"import", dir.Path("large.apkg"), "-o", out + "/deck.txt"},
         out,
         ".tollamy-deck-",
         SIGTERM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& name : decktest::TempDir::NamesIn(out)) {
            unlink((out + "/" + name).c_str()); // what a failed case left
        }
        Interrupted run = Interrupt(c.args, tmp, c.watched, c.prefix, c.signal);
        EXPECT_TRUE(run.seen) << "the run ended before its temporary file showed";
        // The tool ends as the signal would have ended it.
        EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == c.signal) << run.status;
        EXPECT_EQ(decktest::TempDir::NamesIn(tmp), std::vector<std::string>());
        EXPECT_EQ(decktest::TempDir::NamesIn(out), std::vector<std::string>());
    }
}

} // namespace
