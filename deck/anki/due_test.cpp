// `import --due`, `decks` and the Anki profiles, run as the user runs them (the tool as a
// program, with TOLLAMY_NOW, TZ and ANKI_BASE set): the deck bytes, the messages, the exit
// status, and the user's collection and folder afterwards.
#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace apkg_test;
using decktest::Deck;
using decktest::Quote;
using decktest::ReadBytes;

namespace {

// The collection was made on Thu 2026-01-01 at 10:00 in a zone two hours east of UTC; its day
// starts at 05:00 there. "Now" is Wed 2026-03-11 12:00, day 69.
const char* const kZone = "TST-2";
constexpr int64_t kCreated = 1767254400;
constexpr int64_t kNow = 1773223200;
constexpr int64_t kDay = 86400;

// Every queue, a filtered deck, a subdeck, a reversed note and a cloze note with two gaps.
PackageSpec Schedule(Format format) {
    PackageSpec plan;
    plan.format = format;
    plan.crt = kCreated;
    plan.rollover = 5;
    plan.sched_ver = 2;
    // The older schema has Anki's day rule from before creationOffset, the newer one today's.
    plan.creation_offset = format == Format::kAnki21b;
    plan.creation_minutes_west = -120;
    auto review = [](int64_t day) { return TestCard{2, 2, day}; };
    plan.notes = {
        {1, kBasic, {"chat", "cat"}, "French", {review(69)}},
        {2, kBasic, {"chien", "dog"}, "French", {review(68)}},
        {3, kBasic, {"cheval", "horse"}, "French", {review(70)}},
        {4, kBasic, {"vache", "cow"}, "French", {{1, 1, kNow + 600}}},
        {5, kBasic, {"porc", "pig"}, "French", {{1, 1, kNow + 1800}}},
        {6, kBasic, {"oiseau", "bird"}, "French", {{3, 3, 69}}},
        {7, kBasic, {"souris", "mouse"}, "French", {{2, -1, 60}}},
        {8, kBasic, {"lapin", "rabbit"}, "French", {{2, -2, 60}}},
        {9, kBasic, {"poule", "hen"}, "French", {{2, -3, 60}}},
        {10, kBasic, {"loup", "wolf"}, "French", {{2, 2, 1000, "Cram", 65}}},
        {11, kReversed, {"manger", "to eat"}, "French::Verbs", {review(69), review(69)}},
        {12,
         kCloze,
         {"{{c1::Paris::city}} is in {{c2::France}}", "Europe"},
         "French",
         {review(68), review(69)}},
        {13, kReversed, {"trois", "three"}, "French", {{0, 0, 1}, {0, 0, 1}}},
        {14, kBasic, {"deux", "two"}, "French", {{0, 0, 2}}},
        {15, kBasic, {"un", "one"}, "French::Verbs", {{0, 0, 3}}},
        {16, kBasic, {"perro", "dog"}, "Spanish", {review(70)}},
    };
    return plan;
}

const std::vector<std::pair<std::string, std::string>> kFrenchDue = {
    {"vache", "cow"},
    {"loup", "wolf"},
    {"chien", "dog"},
    {"[city] is in France", "Paris is in France · Europe"},
    {"chat", "cat"},
    {"oiseau", "bird"},
    {"manger", "to eat"},
    {"to eat", "manger"},
    {"Paris is in [...]", "Paris is in France · Europe"},
};

struct Snapshot {
    std::map<std::string, std::string> bytes;
    std::map<std::string, long long> stamps;
    long long folder = 0;
    bool operator==(const Snapshot& o) const {
        return bytes == o.bytes && stamps == o.stamps && folder == o.folder;
    }
};

// Anki's way of holding a collection: exclusive locking mode, write-ahead log, a read done.
// In a process of its own: a file closed in this one would drop the locks of this process.
class AnkiHolds {
public:
    explicit AnkiHolds(const std::string& path) {
        int ready[2], done[2];
        if (pipe(ready) != 0 || pipe(done) != 0) {
            return;
        }
        child_ = fork();
        if (child_ == 0) {
            sqlite3* db = nullptr;
            char byte = 1;
            if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                sqlite3_exec(db, "PRAGMA locking_mode=EXCLUSIVE; SELECT count(*) FROM col", nullptr,
                             nullptr, nullptr) == SQLITE_OK &&
                write(ready[1], &byte, 1) == 1) {
                close(done[1]);
                ssize_t got = read(done[0], &byte, 1); // until the parent closes its end
                (void)got;
            }
            sqlite3_close(db);
            _exit(0);
        }
        close(ready[1]);
        close(done[0]);
        char byte = 0;
        holds_ = read(ready[0], &byte, 1) == 1;
        close(ready[0]);
        done_ = done[1];
    }
    ~AnkiHolds() {
        close(done_);
        int status = 0;
        waitpid(child_, &status, 0);
    }
    bool Holds() const { return holds_; }

private:
    pid_t child_ = -1;
    int done_ = -1;
    bool holds_ = false;
};

class AnkiDue : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = dir_.Path("base");
        ASSERT_EQ(system(("mkdir -p " + Quote(dir_.Path("tmp"))).c_str()), 0);
    }
    std::string Profile(const std::string& name, const PackageSpec& plan) {
        std::string folder = base_ + "/" + name;
        EXPECT_EQ(system(("mkdir -p " + Quote(folder + "/backups")).c_str()), 0);
        EXPECT_EQ(BuildCollection(plan, folder + "/collection.anki2"), "");
        return folder;
    }
    // Runs the tool with the clock at `now`; `env` ("-u NAME ... NAME=VALUE ...") stands in
    // for ANKI_BASE=base.
    int Run(std::vector<std::string> args, int64_t now = kNow, const std::string& env = "") {
        std::string command = "cd " + Quote(dir_.Path()) + " && env " +
                              (env.empty() ? "ANKI_BASE=" + Quote(base_) : env) + " TZ=" + kZone +
                              " TOLLAMY_NOW=" + std::to_string(now) +
                              " TMPDIR=" + Quote(dir_.Path("tmp")) + " " +
                              Quote(TOLLAMY_DECK_BINARY);
        for (const std::string& arg : args) {
            command += " " + Quote(arg);
        }
        command += " >out.txt 2>err.txt";
        int status = system(command.c_str());
        out_ = ReadBytes(dir_.Path("out.txt"));
        err_ = ReadBytes(dir_.Path("err.txt"));
        EXPECT_EQ(
            system(("rmdir " + Quote(dir_.Path("tmp")) + " && mkdir " + Quote(dir_.Path("tmp")))
                       .c_str()),
            0)
            << "the temporary copy was left in $TMPDIR";
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static Snapshot Take(const std::string& folder) {
        Snapshot shot;
        for (const std::string& name : decktest::TempDir::NamesIn(folder)) {
            struct stat st {};
            if (stat((folder + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                shot.bytes[name] = ReadBytes(folder + "/" + name);
            }
            shot.stamps[name] = decktest::MTimeNs(folder + "/" + name);
        }
        shot.folder = decktest::MTimeNs(folder);
        return shot;
    }

    decktest::TempDir dir_;
    std::string base_, out_, err_;
};

TEST_F(AnkiDue, WritesTodaysCardsAsAnkiShowsThemInBothSchemas) {
    const struct {
        const char* profile;
        Format format;
    } cases[] = {{"User 1", Format::kAnki21}, {"Work", Format::kAnki21b}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile);
        std::string folder = Profile(c.profile, Schedule(c.format));
        Snapshot before = Take(folder);
        ASSERT_EQ(system(("rm -f " + Quote(dir_.Path()) + "/*.txt").c_str()), 0);
        ASSERT_EQ(Run({"import", "--anki-profile", c.profile, "--due", "--deck", "french", "-o",
                       "due.txt"}),
                  0)
            << err_;
        EXPECT_EQ(ReadBytes(dir_.Path("due.txt")), Deck(kFrenchDue));
        EXPECT_NE(err_.find("imported 9 cards from " + folder + "/collection.anki2 " +
                            "(collection.anki2, due) to due.txt; 9 cards are due today (Wed " +
                            "2026-03-11); 0 warnings"),
                  std::string::npos)
            << err_;

        // The first new cards: deck by deck, by position, then by template.
        ASSERT_EQ(Run({"import", "--anki-profile", c.profile, "--due", "--new", "2", "--deck",
                       "French", "-o", "new.txt", "--force"}),
                  0)
            << err_;
        auto withNew = kFrenchDue;
        withNew.insert(withNew.end(), {{"trois", "three"}, {"deux", "two"}});
        EXPECT_EQ(ReadBytes(dir_.Path("new.txt")), Deck(withNew));
        EXPECT_NE(err_.find("9 cards are due today (Wed 2026-03-11), 2 new;"), std::string::npos)
            << err_;

        // Nothing due: one card that says so and names the next day with due cards.
        ASSERT_EQ(Run({"import", "--anki-profile", c.profile, "--due", "--deck", "Spanish", "-o",
                       "none.txt", "--force"}),
                  0)
            << err_;
        EXPECT_EQ(ReadBytes(dir_.Path("none.txt")),
                  Deck({{"Nothing due in Spanish", "Next: 1 card tomorrow, Thu 2026-03-12"}}));
        EXPECT_NE(err_.find("0 cards are due today (Wed 2026-03-11); next: 1 card tomorrow"),
                  std::string::npos)
            << err_;

        ASSERT_EQ(Run({"decks", "--anki-profile", c.profile}), 0) << err_;
        EXPECT_EQ(out_, "Deck           Notes  Cards  Due  New\n"
                        "French            15     18    9    4\n"
                        "French::Verbs      2      3    2    1\n"
                        "Spanish            1      1    0    0\n");
        EXPECT_TRUE(Take(folder) == before) << "the collection or its folder changed";
    }
}

TEST_F(AnkiDue, TheDayStartsAtTheCollectionsRolloverHour) {
    for (Format format : {Format::kAnki21, Format::kAnki21b}) {
        Profile("P", Schedule(format));
        const struct {
            int64_t now;
            const char* today;
            bool tomorrows; // cheval and perro, due on day 70
        } cases[] = {
            {kNow + 16 * 3600 + 59 * 60 + 59, "Wed 2026-03-11", false}, // Thu 04:59:59
            {kNow + 17 * 3600, "Thu 2026-03-12", true},                 // Thu 05:00
            {kNow - 7 * 3600 - 1, "Tue 2026-03-10", false},             // Wed 04:59:59
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.today);
            ASSERT_EQ(
                Run({"import", "--anki-profile", "P", "--due", "-o", "d.txt", "--force"}, c.now), 0)
                << err_;
            std::string deck = ReadBytes(dir_.Path("d.txt"));
            EXPECT_EQ(deck.find(decktest::Utf16("cheval\thorse")) != std::string::npos,
                      c.tomorrows);
            EXPECT_EQ(deck.find(decktest::Utf16("perro\tdog")) != std::string::npos, c.tomorrows);
            EXPECT_NE(err_.find(std::string("due today (") + c.today + ")"), std::string::npos)
                << err_;
        }
    }
}

TEST_F(AnkiDue, WhileAnkiHoldsTheCollectionItsNewestBackupIsRead) {
    PackageSpec plan = Schedule(Format::kAnki21b);
    plan.wal = true;
    std::string folder = Profile("P", plan);
    PackageSpec old;
    old.format = Format::kAnki21b;
    old.crt = kCreated;
    old.sched_ver = 2;
    old.notes = {{1, kBasic, {"from the backup", "yes"}, "French", {{2, 2, 60}}}};
    for (const char* name :
         {"backup-2026-03-10-09.00.00.colpkg", "backup-2026-03-11-10.00.00.colpkg", "notes.txt"}) {
        ASSERT_EQ(BuildPackage(old, folder + "/backups/" + name), "");
    }
    // The older backup gets the older time.
    std::string touch = "touch -d @" + std::to_string(kNow - 2 * 3600) + " " +
                        Quote(folder + "/backups/backup-2026-03-11-10.00.00.colpkg") +
                        " && touch -d @" + std::to_string(kNow - kDay) + " " +
                        Quote(folder + "/backups/backup-2026-03-10-09.00.00.colpkg");
    ASSERT_EQ(system(touch.c_str()), 0);

    AnkiHolds anki(folder + "/collection.anki2");
    ASSERT_TRUE(anki.Holds());
    Snapshot before = Take(folder);
    EXPECT_EQ(Run({"import", "--anki-profile", "P", "--due", "-o", "d.txt"}), 0) << err_;
    EXPECT_TRUE(Take(folder) == before);
    EXPECT_EQ(ReadBytes(dir_.Path("d.txt")), Deck({{"from the backup", "yes"}}));
    EXPECT_NE(err_.find("warning: Anki has the collection open (it locks it while it runs); "
                        "reading its newest backup instead, "
                        "backups/backup-2026-03-11-10.00.00.colpkg of Wed 2026-03-11 10:00"),
              std::string::npos)
        << err_;

    // Older Anki versions named their backups backup-N.apkg; the newest by time is read.
    old.format = Format::kAnki2;
    old.notes[0].fields = {"from backup-7", "old"};
    ASSERT_EQ(BuildPackage(old, folder + "/backups/backup-7.apkg"), "");
    ASSERT_EQ(Run({"import", "--anki-profile", "P", "--due", "-o", "d.txt", "--force"}), 0) << err_;
    EXPECT_EQ(ReadBytes(dir_.Path("d.txt")), Deck({{"from backup-7", "old"}}));
    EXPECT_NE(err_.find("reading its newest backup instead, backups/backup-7.apkg"),
              std::string::npos)
        << err_;

    ASSERT_EQ(
        system(("rm " + Quote(folder) + "/backups/*.colpkg " + Quote(folder) + "/backups/*.apkg")
                   .c_str()),
        0);
    before = Take(folder);
    EXPECT_EQ(Run({"decks", "--anki-profile", "P"}), 1);
    EXPECT_NE(err_.find("error: Anki has the collection open"), std::string::npos) << err_;
    EXPECT_NE(err_.find("close Anki and try again, or import a backup"), std::string::npos);
    EXPECT_TRUE(Take(folder) == before);
}

TEST_F(AnkiDue, ALogLeftBesideTheCollectionIsReadAndLeftAsItWas) {
    PackageSpec plan = Schedule(Format::kAnki21);
    plan.wal = true;
    std::string live = Profile("Live", plan);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((live + "/collection.anki2").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "PRAGMA wal_autocheckpoint=0;"
                           "INSERT INTO notes VALUES (99, 'g', 1001, 0, 0, '', "
                           "  'from the log' || char(31) || 'seen', 'x', 0, 0, '');"
                           "INSERT INTO cards VALUES (99, 99, 1, 0, 0, 0, 2, 2, 40, 0, 0, 0, "
                           "  0, 0, 0, 0, 0, '')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    // What a crash leaves: the collection and its log, without the -shm.
    std::string crashed = base_ + "/Crashed";
    ASSERT_EQ(system(("mkdir " + Quote(crashed)).c_str()), 0);
    for (const char* name : {"/collection.anki2", "/collection.anki2-wal"}) {
        decktest::WriteBytes(crashed + name, ReadBytes(live + name));
    }
    sqlite3_close(db);
    Snapshot before = Take(crashed);
    ASSERT_EQ(
        Run({"import", "--anki-profile", "Crashed", "--due", "--deck", "Default", "-o", "d.txt"}),
        0)
        << err_;
    EXPECT_EQ(ReadBytes(dir_.Path("d.txt")), Deck({{"from the log", "seen"}}));
    EXPECT_TRUE(Take(crashed) == before) << "a -shm or -journal was left, or a file changed";
}

// Each due card by its own template: a second card that asks with the meaning, a cloze card,
// and cards whose fronts hold only a picture, which the item cannot show but which count as
// due, with the decks that hold them.
TEST_F(AnkiDue, EachDueCardShowsItsOwnTemplateAndPictureCardsAreCounted) {
    PackageSpec plan = Schedule(Format::kAnki21b);
    plan.types = {{2001,
                   "Japanese",
                   0,
                   {"Expression", "Meaning", "Reading"},
                   {{"Recognition", "{{Expression}}", "{{FrontSide}}<hr id=answer>{{Meaning}}"},
                    {"Recall", "{{Meaning}}",
                     "{{FrontSide}}<hr id=answer>{{Expression}}<br>{{furigana:Reading}}"}}}};
    auto review = [](int64_t day) { return TestCard{2, 2, day}; };
    plan.notes = {{1, 2001, {"私", "I", "私[わたし]"}, "Japanese", {review(70), review(69)}},
                  {2, kBasic, {"<img src=\"a.png\">", "a triangle"}, "Maths", {review(69)}},
                  {3, kBasic, {"<img src=\"b.png\">", "a circle"}, "Maths::Shapes", {review(68)}},
                  {4, kBasic, {"pi", "3.14159"}, "Maths", {review(70)}}};
    Profile("P", plan);
    ASSERT_EQ(Run({"import", "--anki-profile", "P", "--due", "-o", "d.txt"}), 0) << err_;
    EXPECT_EQ(ReadBytes(dir_.Path("d.txt")), Deck({{"I", "私 · 私(わたし)"}}));
    EXPECT_NE(err_.find("3 cards are due today (Wed 2026-03-11); 2 due cards show only pictures "
                        "or sounds and are left out; 0 warnings"),
              std::string::npos)
        << err_;

    // Only pictures due: the item says so rather than that nothing is due.
    ASSERT_EQ(Run({"import", "--anki-profile", "P", "--due", "--deck", "maths", "-o", "m.txt"}), 0)
        << err_;
    EXPECT_EQ(ReadBytes(dir_.Path("m.txt")),
              Deck({{"Due in Maths: 2 cards the item cannot show", "Review them in Anki"}}));

    ASSERT_EQ(Run({"decks", "--anki-profile", "P"}), 0) << err_;
    EXPECT_EQ(out_, "Deck           Notes  Cards  Due  New\n"
                    "Japanese           1      2    1    0\n"
                    "Maths              3      3    2    0\n"
                    "Maths::Shapes      1      1    1    0\n"
                    "2 due cards show only pictures or sounds: the item leaves them out (Maths 1, "
                    "Maths::Shapes 1)\n");
}

// --next-change: when the due cards change without a review, the next rollover, and the input.
TEST_F(AnkiDue, NextChangeIsTheRolloverOrALearningCardComingWithinTheLearnAhead) {
    constexpr int64_t kHour = 3600;
    constexpr int64_t kThursday = kNow + 17 * kHour; // Thu 2026-03-12 05:00 in the zone
    PackageSpec oldest = Schedule(Format::kAnki21);
    oldest.sched_ver = 1; // whole days from the creation time, Thu 2026-01-01 10:00
    const struct {
        const char* what;
        PackageSpec plan;
        const char* deck;
        int64_t now;
        int64_t change, rollover;
    } cases[] = {
        {"just before the rollover", Schedule(Format::kAnki21b), "Spanish", kThursday - 1,
         kThursday, kThursday},
        {"at the rollover", Schedule(Format::kAnki21b), "Spanish", kThursday, kThursday + kDay,
         kThursday + kDay},
        {"older day rule, before", Schedule(Format::kAnki21), "Spanish", kThursday - 1, kThursday,
         kThursday},
        {"older day rule, at", Schedule(Format::kAnki21), "Spanish", kThursday, kThursday + kDay,
         kThursday + kDay},
        // porc is due in 30 minutes, 20 (collapseTime's default) ahead of that it counts.
        {"a learning card", Schedule(Format::kAnki21b), "French", kNow, kNow + 601, kThursday},
        {"the learning card due", Schedule(Format::kAnki21b), "French", kNow + 601, kThursday,
         kThursday},
        {"the oldest scheduler", oldest, "Spanish", kNow, kCreated + 70 * kDay,
         kCreated + 70 * kDay},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = Profile("P", c.plan);
        ASSERT_EQ(Run({"import", "--anki-profile", "P", "--due", "--deck", c.deck, "-o", "d.txt",
                       "--force", "--next-change", "next"},
                      c.now),
                  0)
            << err_;
        EXPECT_EQ(ReadBytes(dir_.Path("next")), std::to_string(c.change) + " " +
                                                    std::to_string(c.rollover) + " " + folder +
                                                    "/collection.anki2\n");
    }
    // To standard output; nothing on failure; only with --due.
    ASSERT_EQ(Run({"import", "--anki-profile", "P", "--due", "-o", "d.txt", "--force",
                   "--next-change", "-"}),
              0)
        << err_;
    EXPECT_EQ(out_, std::to_string(kNow + 601) + " " + std::to_string(kCreated + 70 * kDay) + " " +
                        base_ + "/P/collection.anki2\n");
    const std::string before = ReadBytes(dir_.Path("next"));
    EXPECT_EQ(Run({"import", "--anki-profile", "P", "--due", "--deck", "Missing", "-o", "d.txt",
                   "--force", "--next-change", "next"}),
              1);
    EXPECT_EQ(ReadBytes(dir_.Path("next")), before);
    EXPECT_EQ(
        Run({"import", "--anki-profile", "P", "-o", "d.txt", "--force", "--next-change", "next"}),
        2);
}

TEST_F(AnkiDue, UnchangedOutputKeepsItsTimeStamp) {
    Profile("P", Schedule(Format::kAnki21b));
    std::vector<std::string> args = {"import", "--anki-profile", "P",      "--due",
                                     "-o",     "d.txt",          "--force"};
    ASSERT_EQ(Run(args), 0) << err_;
    ASSERT_EQ(system(("touch -d @1000000000 " + Quote(dir_.Path("d.txt"))).c_str()), 0);
    ASSERT_EQ(Run(args), 0) << err_;
    EXPECT_NE(err_.find("to d.txt (unchanged); 9 cards are due"), std::string::npos) << err_;
    EXPECT_EQ(decktest::MTimeNs(dir_.Path("d.txt")), 1000000000LL * 1000000000LL);
    // A day later other cards are due, and the deck is written.
    ASSERT_EQ(Run(args, kNow + kDay), 0) << err_;
    EXPECT_EQ(err_.find("unchanged"), std::string::npos) << err_;
    EXPECT_NE(decktest::MTimeNs(dir_.Path("d.txt")), 1000000000LL * 1000000000LL);
}

TEST_F(AnkiDue, ProfilesAreFoundWhereAnkiKeepsThemAndUnknownOnesListed) {
    Profile("User 1", Schedule(Format::kAnki21));
    Profile("Work", Schedule(Format::kAnki21));
    std::string home = dir_.Path("home");
    std::string flatpak = home + "/.var/app/net.ankiweb.Anki/data/Anki2/Flat";
    std::string xdg = dir_.Path("xdg");
    ASSERT_EQ(system(("mkdir -p " + Quote(flatpak) + " " + Quote(xdg + "/Anki2/Solo")).c_str()), 0);
    ASSERT_EQ(BuildCollection(Schedule(Format::kAnki21), flatpak + "/collection.anki2"), "");
    ASSERT_EQ(BuildCollection(Schedule(Format::kAnki21), xdg + "/Anki2/Solo/collection.anki2"), "");
    const std::string unset = "-u ANKI_BASE -u XDG_DATA_HOME HOME=" + Quote(home);
    const struct {
        std::string env;
        const char* profiles;
    } cases[] = {{"ANKI_BASE=" + Quote(base_), "User 1\nWork\n"},
                 {unset + " XDG_DATA_HOME=" + Quote(xdg), "Solo\n"},
                 {unset, "Flat\n"}};
    for (const auto& c : cases) {
        EXPECT_EQ(Run({"profiles"}, kNow, c.env), 0) << c.env << err_;
        EXPECT_EQ(out_, c.profiles) << c.env;
    }
    EXPECT_EQ(Run({"decks", "--anki-profile", "Nobody"}), 1);
    EXPECT_EQ(err_, "tollamy-deck: error: Anki has no profile \"Nobody\" in " + base_ +
                        " (its profiles: \"User 1\", \"Work\")\n");
    EXPECT_EQ(Run({"import", "--due", "--new", "0", "--anki-profile", "Work", "-o", "x.txt"}), 2);
    EXPECT_EQ(Run({"import", "--new", "3", "--anki-profile", "Work", "-o", "x.txt"}), 2);
    // Without --due a collection gives each note one card, as a package does.
    ASSERT_EQ(Run({"import", base_ + "/Work/collection.anki2", "-o", "notes.txt"}), 0) << err_;
    EXPECT_NE(err_.find("imported 16 cards from " + base_ +
                        "/Work/collection.anki2 (collection.anki2, collection)"),
              std::string::npos)
        << err_;
}

} // namespace
