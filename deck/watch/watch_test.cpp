// `tollamy-deck watch` as the launcher runs it: the items that named decks become, a clash
// refused with nothing written; and the program itself, which imports a review within seconds
// however it watches, says so once when it must look instead of being told, and ends with the
// program that started it, even by SIGKILL, leaving nothing behind.
#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using decktest::Quote;
using decktest::ReadBytes;
using decktest::TempDir;
using decktest::WriteBytes;

// The launcher's test profile: four cards due on Wed 2026-03-11 (day 69) in "French".
constexpr long long kNow = 1773223200;

class Watch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(system(("mkdir -p " + Quote(dir_.Path("tmp")) + " " +
                          Quote(dir_.Path("anki/User 1/backups")) + " " + Quote(dir_.Path("data")))
                             .c_str()),
                  0);
        ASSERT_EQ(system((Quote(TOLLAMY_DECK_SEEDS) + " --profile " +
                          Quote(dir_.Path("anki/User 1")) + " >/dev/null")
                             .c_str()),
                  0);
    }
    std::string Env() const {
        return "env ANKI_BASE=" + Quote(dir_.Path("anki")) +
               " TZ=UTC TOLLAMY_NOW=" + std::to_string(kNow) +
               " TMPDIR=" + Quote(dir_.Path("tmp")) + " ";
    }
    // Runs `tollamy-deck watch data ARGS...` to its end: the status, with out_ and err_.
    int Run(const std::vector<std::string>& args) {
        std::string command = "cd " + Quote(dir_.Path()) + " && " + Env() +
                              Quote(TOLLAMY_DECK_BINARY) + " watch data";
        for (const std::string& arg : args) {
            command += " " + Quote(arg);
        }
        int status = system((command + " >out.txt 2>err.txt").c_str());
        out_ = ReadBytes(dir_.Path("out.txt"));
        err_ = ReadBytes(dir_.Path("err.txt"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Cards() const { return ReadBytes(dir_.Path("data/French.txt")); }

    TempDir dir_;
    std::string out_, err_;
};

TEST_F(Watch, DistinctDecksGetDistinctItemsAndAClashWritesNothing) {
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string source; // an earlier start's item: NAME=DECK
        int status;
        std::string said; // in standard output for 0, else in the error
    } cases[] = {
        {"one deck", {"--anki", "French"}, "", 0, "added French\n"},
        {"A/B and A_B",
         {"--anki", "A/B", "--anki", "A_B"},
         "",
         2,
         "the Anki decks \"A/B\" and \"A_B\" would both be the item A_B; name only one of them"},
        {"one deck in two cases is one item",
         {"--anki", "French", "--anki", "FRENCH"},
         "",
         0,
         "added French\n"},
        {"a deck that takes an earlier item's name",
         {"--anki", "A_B"},
         "A_B=A/B",
         2,
         "the Anki deck \"A_B\" would be the item A_B, which shows the Anki deck \"A/B\""},
        {"the same deck as an earlier item, in another case",
         {"--anki", "french"},
         "French=French",
         0,
         "added French\n"},
        {"a name that differs in case only",
         {"--anki", "a_b"},
         "A_B=A/B",
         2,
         "would be the item a_b, which shows the Anki deck \"A/B\""},
        {"the item itself",
         {"--anki", "TOLLAMY"},
         "",
         2,
         "would be the item TOLLAMY, and there is already an item named Tollamy"},
        {"another item of the screen",
         {"--anki", "Verbs.", "--other-item", "verbs"},
         "",
         2,
         "would be the item Verbs., and there is already an item named verbs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(system(("rm -f " + Quote(dir_.Path("data")) + "/*").c_str()), 0);
        std::vector<std::string> before;
        if (!c.source.empty()) {
            const std::string name = c.source.substr(0, c.source.find('='));
            WriteBytes(dir_.Path("data/" + name + ".source"),
                       "deck=" + c.source.substr(name.size() + 1) + "\nprofile=User 1\n");
        }
        before = TempDir::NamesIn(dir_.Path("data"));
        std::vector<std::string> args = c.args;
        args.push_back("--once");
        ASSERT_EQ(Run(args), c.status) << err_;
        if (c.status == 0) {
            EXPECT_EQ(out_.substr(0, c.said.size()), c.said) << out_;
            continue;
        }
        EXPECT_NE(err_.find(c.said), std::string::npos) << err_;
        EXPECT_EQ(out_, "");
        EXPECT_EQ(TempDir::NamesIn(dir_.Path("data")), before) << "a clash wrote a file";
    }
}

// The process ids of `pid`'s children.
std::vector<pid_t> Children(pid_t pid) {
    std::vector<pid_t> children;
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child; in >> child;) {
        children.push_back(child);
    }
    return children;
}

// True while process `pid` runs (a zombie has ended).
bool Runs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    size_t end = stat.rfind(')');
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] != 'Z';
}

TEST_F(Watch, ImportsAReviewWithinSecondsAndEndsWithItsParent) {
    const struct {
        const char* what;
        std::string wrap; // runs the watch
        std::string said; // about the way it watches
    } cases[] = {
        {"inotify", "", ""},
        {"looking, as asked", "TOLLAMY_WATCH=poll ", ""},
        // In a user namespace of its own the watch may have one inotify watch: the data
        // folder's; the profile's is refused.
        {"looking, the system's watches used up",
         "unshare -U -r sh -c 'echo 1 >/proc/sys/user/max_inotify_watches && exec \"$0\" \"$@\"' ",
         "tollamy-deck: Anki's files are not watched: the system's limit of inotify watches is "
         "reached (No space left on device); their time stamps are looked at every 5 seconds "
         "instead\n"},
    };
    const std::string profile = dir_.Path("anki/User 1");
    const std::string collection = profile + "/collection.anki2";
    ASSERT_EQ(system(("cp " + Quote(collection) + " " + Quote(dir_.Path("due.anki2"))).c_str()), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.said.empty() &&
            system(
                "unshare -U -r sh -c 'echo 1 >/proc/sys/user/max_inotify_watches' 2>/dev/null") !=
                0) {
            ADD_FAILURE() << "no user namespace here to limit the watches in";
            continue;
        }
        ASSERT_EQ(system(("cp " + Quote(dir_.Path("due.anki2")) + " " + Quote(collection) +
                          " && rm -f " + Quote(dir_.Path("data")) + "/*")
                             .c_str()),
                  0);
        ASSERT_EQ(Run({"--once", "--anki", "French"}), 0) << err_;
        const std::string morning = Cards();
        // The parent: a shell that starts the watch and waits.
        const std::string command = "cd " + Quote(dir_.Path()) + " || exit 1; " + Env() + c.wrap +
                                    Quote(TOLLAMY_DECK_BINARY) +
                                    " watch data --refresh 0 2>watch.err & wait";
        pid_t parent = fork();
        if (parent == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
        // Anki saves a review: the due cards are due tomorrow, in the collection's log.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(collection.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; UPDATE cards "
                               "SET type = 2, queue = 2, due = 70, odue = CASE WHEN odid != 0 THEN "
                               "70 ELSE odue END WHERE queue IN (1, 2, 3, 4)",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        bool changed = false;
        for (int i = 0; i < 60 && !changed; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            changed = Cards() != morning;
        }
        sqlite3_close(db);
        EXPECT_TRUE(changed) << "the review is not in the deck after 15 s";
        EXPECT_EQ(Cards(), decktest::Deck({{"Nothing due in French",
                                            "Next: 4 cards tomorrow, Thu 2026-03-12"}}));
        // SIGKILL to the parent ends the watch within 10 s, and it leaves nothing behind.
        std::vector<pid_t> watch;
        for (pid_t child : Children(parent)) {
            watch.push_back(child);
        }
        ASSERT_EQ(watch.size(), 1u);
        kill(parent, SIGKILL);
        waitpid(parent, nullptr, 0);
        bool ended = false;
        for (int i = 0; i < 100 && !ended; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ended = !Runs(watch[0]);
        }
        EXPECT_TRUE(ended) << "the watch outlived its parent by 10 s";
        const std::string said = ReadBytes(dir_.Path("watch.err"));
        EXPECT_EQ(said.substr(0, c.said.size()), c.said) << said;
        EXPECT_EQ(said.find("not watched", c.said.size()), std::string::npos) << said;
        EXPECT_TRUE(TempDir::NamesIn(dir_.Path("tmp")).empty());
        EXPECT_EQ(TempDir::NamesIn(dir_.Path("data")),
                  (std::vector<std::string>{".watch.lock", "French.next", "French.source",
                                            "French.txt"}));
    }
}

} // namespace
