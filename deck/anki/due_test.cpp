// `import --due` and `decks` on a profile, as the user runs them: which cards are due and on
// which side, the day's rollover, each card's own template, --next-change, an unchanged deck's
// stamp, and the collection and its folder left as they were.
#include "deck/anki/profile_fixture.h"

#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace profile_fixture;
using decktest::Deck;

namespace {

class AnkiDue : public ProfileTest {};

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
    // It is an output as -o is: an existing file needs --force, and it is never the deck.
    decktest::WriteBytes(dir_.Path("mine"), "keep");
    ASSERT_EQ(symlink("d.txt", dir_.Path("link").c_str()), 0);
    const std::string deck = ReadBytes(dir_.Path("d.txt"));
    const struct {
        const char* next;
        const char* message;
    } refused[] = {
        {"mine", "mine: error: exists; use --force to replace it"},
        {"d.txt", "d.txt: error: is the deck being written (-o)"},
        {"./d.txt", "./d.txt: error: is the deck being written (-o)"},
        {"link", "link: error: is the deck being written (-o)"},
    };
    for (const auto& r : refused) {
        // Without --force onto a new deck, with it onto the existing one.
        const bool mine = std::string(r.next) == "mine";
        std::vector<std::string> args = {"import",
                                         "--anki-profile",
                                         "P",
                                         "--due",
                                         "-o",
                                         mine ? "new.txt" : "d.txt",
                                         "--next-change",
                                         r.next};
        if (!mine) {
            args.push_back("--force");
        }
        EXPECT_EQ(Run(args), 1) << r.next;
        EXPECT_FALSE(decktest::Exists(dir_.Path("new.txt")));
        EXPECT_EQ(err_.rfind(r.message, 0), 0u) << err_;
        EXPECT_EQ(ReadBytes(dir_.Path("mine")), "keep");
        EXPECT_EQ(ReadBytes(dir_.Path("d.txt")), deck);
    }
}

// Integers at their extremes in every column the day rules read (due, odue, crt, the
// rollover): a day far away or a damaged card, never undefined arithmetic (the sanitized build
// stops at the first) nor a crash.
TEST_F(AnkiDue, ExtremeIntegersInTheScheduleGiveADayNotACrash) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    for (Format format : {Format::kAnki21, Format::kAnki21b}) {
        for (int64_t crt : {kCreated, kMax, kMin}) {
            for (int64_t extreme : {kMax, kMin}) {
                SCOPED_TRACE(std::to_string(crt) + " " + std::to_string(extreme));
                PackageSpec plan = Schedule(format);
                plan.crt = crt;
                plan.notes = {
                    {1, kBasic, {"a", "1"}, "French", {{1, 1, extreme}}}, // learning
                    {2, kBasic, {"b", "2"}, "French", {{2, 2, extreme}}}, // review
                    {3, kBasic, {"c", "3"}, "French", {{3, 3, extreme}}}, // day learning
                    {4, kBasic, {"d", "4"}, "French", {{2, 2, 0, "Cram", extreme}}},
                    {5, kBasic, {"e", "5"}, "French", {{0, 0, extreme}}}, // new
                };
                Profile("P", plan);
                const int status = Run({"import", "--anki-profile", "P", "--due", "-o", "d.txt",
                                        "--force", "--next-change", "next"});
                EXPECT_TRUE(status == 0 || status == 1) << status << " " << err_;
            }
        }
    }
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

} // namespace
