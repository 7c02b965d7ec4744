// The fixture of the tests that run the tool as the user runs it on Anki's profiles (the tool
// as a program, with TOLLAMY_NOW, TZ and ANKI_BASE set): a base folder of profiles built from
// plans, a run that keeps the standard output and error and checks that nothing is left in
// TMPDIR, and a snapshot of a folder's bytes and stamps to show that a run changed nothing.
// The schedule every profile starts from is here too: both due_test.cpp and profile_test.cpp
// read it. And Anki's way of holding a collection open, for the runs that meet it.
#pragma once

#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace profile_fixture {

using namespace apkg_test;
using decktest::Quote;
using decktest::ReadBytes;

// The collection was made on Thu 2026-01-01 at 10:00 in a zone two hours east of UTC; its day
// starts at 05:00 there. "Now" is Wed 2026-03-11 12:00, day 69.
inline const char* const kZone = "TST-2";
inline constexpr int64_t kCreated = 1767254400;
inline constexpr int64_t kNow = 1773223200;
inline constexpr int64_t kDay = 86400;

// Every queue, a filtered deck, a subdeck, a reversed note and a cloze note with two gaps.
inline PackageSpec Schedule(Format format) {
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
    AnkiHolds(const AnkiHolds&) = delete;
    AnkiHolds& operator=(const AnkiHolds&) = delete;
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

struct Snapshot {
    std::map<std::string, std::string> bytes;
    std::map<std::string, long long> stamps;
    long long folder = 0;
    bool operator==(const Snapshot& o) const {
        return bytes == o.bytes && stamps == o.stamps && folder == o.folder;
    }
};

class ProfileTest : public ::testing::Test {
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

} // namespace profile_fixture
