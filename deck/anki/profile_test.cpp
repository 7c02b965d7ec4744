// The Anki profiles, as the user's runs find and read them: where Anki keeps them and the
// message for an unknown one, a collection Anki holds (its newest backup is read, the error
// without one), and a write-ahead log left by a crash, read and left as it was.
#include "deck/anki/profile_fixture.h"

#include <string>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace profile_fixture;
using decktest::Deck;

namespace {

class AnkiProfile : public ProfileTest {};

TEST_F(AnkiProfile, WhileAnkiHoldsTheCollectionItsNewestBackupIsRead) {
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

TEST_F(AnkiProfile, ALogLeftBesideTheCollectionIsReadAndLeftAsItWas) {
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

TEST_F(AnkiProfile, ProfilesAreFoundWhereAnkiKeepsThemAndUnknownOnesListed) {
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
