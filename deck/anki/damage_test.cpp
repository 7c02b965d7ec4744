// Damaged or unreadable collections, run as the user runs the tool: each names the file and
// what is wrong, with a warning that says what was assumed where the command can still do its
// work honestly, else status 1 and nothing written.
#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace apkg_test;
using decktest::Quote;

namespace {

constexpr int64_t kCreated = 1767254400; // Thu 2026-01-01
constexpr int64_t kNow = 1773223200;     // Wed 2026-03-11, day 69

// Two due cards in French, one in Spanish.
PackageSpec Small(Format format) {
    PackageSpec plan;
    plan.format = format;
    plan.crt = kCreated;
    plan.rollover = 5;
    plan.sched_ver = 2;
    plan.notes = {
        {1, kBasic, {"chat", "cat"}, "French", {{2, 2, 69}}},
        {2, kBasic, {"chien", "dog"}, "French", {{2, 2, 68}}},
        {3, kBasic, {"perro", "dog"}, "Spanish", {{2, 2, 69}}},
    };
    return plan;
}

struct Result {
    int status;
    std::string err;
};

// Runs `tollamy-deck ARGS` with the clock at kNow; `prefix` goes before the tool (to run it
// as another user).
Result RunTool(const decktest::TempDir& dir, const std::vector<std::string>& args,
               const std::string& prefix = "") {
    std::string command =
        "cd " + Quote(dir.Path()) + " && TZ=UTC TOLLAMY_NOW=" + std::to_string(kNow) +
        " TMPDIR=" + Quote(dir.Path("tmp")) + " " + prefix + Quote(TOLLAMY_DECK_BINARY);
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    command += " >/dev/null 2>err.txt";
    int status = system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, decktest::ReadBytes(dir.Path("err.txt"))};
}

TEST(Damage, EachDamagedPartIsNamedWithTheRightStatus) {
    using Args = std::vector<std::string>;
    const Args decks = {"decks", "collection.anki2"};
    const Args due = {"import", "collection.anki2", "--due", "-o", "d.txt"};
    const Args french = {"import", "collection.anki2", "--due", "--deck", "French", "-o", "d.txt"};
    const Args notes = {"import", "collection.anki2", "-o", "d.txt"};
    const struct {
        Format format;
        const char* damage; // SQL run on the built collection
        Args args;
        int status;
        const char* says; // what follows "collection.anki2: "; null: nothing at all
    } cases[] = {
        // The older schema: JSON in col.
        {Format::kAnki21, "UPDATE col SET decks = '{not json'", decks, 1,
         "error: the deck list cannot be read (col.decks is not JSON), so no deck can be named"},
        {Format::kAnki21, "UPDATE col SET decks = '{not json'", due, 0,
         "warning: the deck list cannot be read (col.decks is not JSON); the cards of every deck "
         "are read"},
        {Format::kAnki21, "UPDATE col SET decks = '{not json'", french, 1,
         "error: the deck list cannot be read"},
        {Format::kAnki21, "UPDATE col SET models = '[]'", due, 1,
         "error: the note types cannot be read (col.models holds JSON of the wrong shape (not an "
         "object)), so no card can be shown"},
        {Format::kAnki21, "UPDATE col SET models = '[]'", notes, 1,
         "error: the note types cannot be read"},
        // The decks listing needs no note type.
        {Format::kAnki21, "UPDATE col SET models = '[]'", decks, 0, nullptr},
        {Format::kAnki21, "UPDATE col SET conf = '{'", due, 0,
         "warning: the configuration cannot be read: col.conf is not JSON; the day is counted "
         "from 4 a.m."},
        {Format::kAnki21, "UPDATE col SET conf = '{\"rollover\": \"five\"}'", decks, 0,
         "warning: the configuration cannot be read: col.conf cannot be read whole (its rollover "
         "is not a whole number); the day is counted from 4 a.m."},
        {Format::kAnki21, "DELETE FROM col", due, 1,
         "error: collection.anki2: its col table is empty"},
        // The newer schema: tables, protobuf configs, JSON values.
        {Format::kAnki21b, "UPDATE decks SET kind = x'ff'", decks, 0,
         "warning: some decks cannot be read whole (the kind of deck \"Default\" is damaged (it "
         "is taken as a normal deck), and 2 more entries)"},
        {Format::kAnki21b, "DROP TABLE decks", decks, 1,
         "error: the deck list cannot be read (the collection has note types in tables but no "
         "decks table)"},
        {Format::kAnki21b, "DELETE FROM notetypes", due, 1,
         "error: the note types cannot be read (the notetypes table holds no note type)"},
        {Format::kAnki21b, "UPDATE notetypes SET config = x'ff'", due, 0,
         "warning: some note types cannot be read whole (the configuration of note type"},
        {Format::kAnki21b, "UPDATE templates SET config = x'0a7f'", due, 0,
         "warning: some note types cannot be read whole (template 1 of note type"},
        {Format::kAnki21b, "UPDATE config SET val = x'7b' WHERE KEY = 'rollover'", decks, 0,
         "warning: the configuration cannot be read: the config table cannot be read whole "
         "(rollover is not JSON); the day is counted from 4 a.m."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.damage) + ", " + c.args[0]);
        decktest::TempDir dir;
        ASSERT_EQ(mkdir(dir.Path("tmp").c_str(), 0700), 0);
        PackageSpec plan = Small(c.format);
        plan.extra_schema = c.damage;
        ASSERT_EQ(BuildCollection(plan, dir.Path("collection.anki2")), "");
        Result r = RunTool(dir, c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.says == nullptr) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(std::string("collection.anki2: ") + c.says), std::string::npos)
                << r.err;
        }
        // A failed command writes nothing; one that worked writes its deck.
        EXPECT_EQ(decktest::Exists(dir.Path("d.txt")), c.status == 0 && c.args[0] == "import");
        EXPECT_EQ(decktest::TempDir::NamesIn(dir.Path("tmp")), std::vector<std::string>());
    }
}

TEST(Damage, AFileThatCannotBeReadSaysWhy) {
    decktest::TempDir dir;
    ASSERT_EQ(mkdir(dir.Path("tmp").c_str(), 0700), 0);
    ASSERT_EQ(BuildCollection(Small(Format::kAnki21), dir.Path("locked.anki2")), "");
    ASSERT_EQ(chmod(dir.Path("locked.anki2").c_str(), 0), 0);
    // The folder is open to the other user, who may write the deck there.
    ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
    decktest::WriteBytes(dir.Path("empty.anki2"), "");
    ASSERT_EQ(mkdir(dir.Path("folder.anki2").c_str(), 0700), 0);
    decktest::WriteBytes(dir.Path("text.anki2"), "not a collection");
    // As root every file can be read: the locked one is then read as another user.
    const std::string other = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 "
                                               "--clear-groups "
                                             : "";
    const struct {
        const char* file;
        const char* says;
        std::string prefix;
    } cases[] = {
        {"locked.anki2", "error: cannot read: Permission denied", other},
        {"empty.anki2", "error: is empty (0 bytes), not an Anki collection or package", ""},
        {"folder.anki2", "error: cannot read: Is a directory", ""},
        {"text.anki2", "error: is not an Anki package (.apkg), backup (.colpkg) or collection", ""},
    };
    for (const auto& c : cases) {
        for (const char* command : {"decks", "import"}) {
            SCOPED_TRACE(std::string(c.file) + ", " + command);
            std::vector<std::string> args = {command, c.file};
            if (std::string(command) == "import") {
                args.insert(args.end(), {"--due", "-o", "d.txt"});
            }
            Result r = RunTool(dir, args, c.prefix);
            const bool text = std::string(c.file) == "text.anki2";
            EXPECT_EQ(r.status, text && args[0] == "import" ? 2 : 1) << r.err;
            EXPECT_NE(r.err.find(text && args[0] == "import"
                                     ? std::string("--due reads Anki collections and packages")
                                     : std::string(c.file) + ": " + c.says),
                      std::string::npos)
                << r.err;
            EXPECT_FALSE(decktest::Exists(dir.Path("d.txt")));
        }
    }
}

} // namespace
