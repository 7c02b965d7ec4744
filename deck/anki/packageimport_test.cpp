// `tollamy-deck import` of Anki packages, run as the user runs it: the deck bytes on disk,
// the exit status, the messages, and the files left in the folders afterwards.
#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace apkg_test;

namespace {

// The deck the item reads: FF FE, then question TAB answer CR LF per card, in UTF-16LE.
std::string Deck(const std::u16string& text) {
    std::string bytes = "\xff\xfe";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xff);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

const std::u16string kSampleCards = u"chat\tcat\r\n"
                                    u"chien\tdog & puppy\r\n"
                                    u"[city] is the capital of France\t"
                                    u"Paris is the capital of France \u00b7 Europe\r\n"
                                    u"Eiffel Tower\tParis\r\n";

class ApkgImport : public ::testing::Test {
protected:
    void SetUp() override {
        tmp_ = Path("tmp");
        ASSERT_EQ(mkdir(tmp_.c_str(), 0700), 0);
    }
    std::string Path(const std::string& name) const { return dir_.Path(name); }

    // Runs the tool with $TMPDIR in the test's own folder; returns the exit status.
    int Run(const std::string& args) {
        std::string cmd = "cd '" + dir_.Path() + "' && TMPDIR='" + tmp_ +
                          "' '" TOLLAMY_DECK_BINARY "' " + args + " >'" + tmp_ +
                          "/../stdout.txt' 2>'" + tmp_ + "/../stderr.txt'";
        int status = system(cmd.c_str());
        err_ = ReadFile(Path("stderr.txt"));
        out_ = ReadFile(Path("stdout.txt"));
        unlink(Path("stderr.txt").c_str());
        unlink(Path("stdout.txt").c_str());
        EXPECT_TRUE(decktest::TempDir::NamesIn(tmp_).empty()) << "temporary copy left in $TMPDIR";
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The folder holds exactly these files (no temporary deck either).
    void ExpectFolder(std::vector<std::string> names) {
        names.push_back("tmp");
        std::sort(names.begin(), names.end());
        EXPECT_EQ(dir_.Names(), names);
    }
    void Build(const PackageSpec& plan, const std::string& name) {
        ASSERT_EQ(BuildPackage(plan, Path(name)), "");
    }

    decktest::TempDir dir_;
    std::string tmp_, err_, out_;
};

TEST_F(ApkgImport, EachFormatGivesTheDeckTheItemReads) {
    const struct {
        Format format;
        const char* name; // detection goes by content, not by name
        const char* entry;
    } cases[] = {{Format::kAnki2, "old.apkg", "collection.anki2"},
                 {Format::kAnki21, "shared.zip", "collection.anki21"},
                 {Format::kAnki21b, "new-deck", "collection.anki21b"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        Build(SamplePackage(c.format), c.name);
        std::string out = std::string(c.entry) + ".txt";
        ASSERT_EQ(Run(std::string("import ") + c.name + " -o " + out), 0) << err_;
        EXPECT_EQ(ReadFile(Path(out)), Deck(kSampleCards));
        EXPECT_NE(err_.find(std::string("imported 4 cards from ") + c.name + " (" + c.entry +
                            ", apkg) to " + out + "; 4 notes read; 0 warnings"),
                  std::string::npos)
            << err_;
        // The item's own rules find the same four cards, with nothing to warn about.
        ASSERT_EQ(Run("check " + out), 0) << err_;
        EXPECT_EQ(out_, "4 cards, 0 warnings, 0 errors\n");
    }
}

// Note types of their own, as learners share them: a Japanese type whose second card asks
// with the meaning, Image Occlusion's (an ID no template shows, pictures on the front), one
// whose front Anki cannot render, and one with hints, parts hidden by their style or by the
// type's stylesheet, special fields and tags.
std::vector<TestType> OwnTypes() {
    return {
        {2001,
         "Japanese",
         0,
         {"Expression", "Meaning", "Reading"},
         {{"Recognition", "{{Expression}}",
           "{{FrontSide}}<hr id=answer>{{furigana:Reading}}<br>{{Meaning}}"},
          {"Recall", "{{Meaning}}",
           "{{FrontSide}}<hr id=answer>{{Expression}}<br>{{furigana:Reading}}"}}},
        {2002,
         "Image Occlusion Enhanced",
         0,
         {"ID (hidden)", "Header", "Image", "Question Mask", "Remarks"},
         {{"IO Card",
           "{{#Image}}<div id=\"io-header\">{{Header}}</div><div id=\"io-overlay\">"
           "{{Question Mask}}</div><div id=\"io-original\">{{Image}}</div>{{/Image}}",
           "{{#Image}}<div id=\"io-header\">{{Header}}</div><div id=\"io-original\">"
           "{{Image}}</div><button onclick=\"toggle()\">Toggle Masks</button>{{#Remarks}}"
           "<div class=\"io-extra\">{{Remarks}}</div>{{/Remarks}}{{/Image}}"}}},
        {2003, "Broken", 0, {"Front", "Back"}, {{"Card 1", "{{#Front}}{{Front}}", "{{Back}}"}}},
        {2004,
         "Vocab",
         0,
         {"Word", "Meaning", "Hint"},
         {{"Card 1", "{{Word}} {{hint:Hint}}",
           "{{FrontSide}}<hr id=answer>{{Meaning}}<div style=\"display: none\">{{Hint}}</div>"
           "<span class=\"extra\">{{Hint}}</span><br>{{Subdeck}}: <i class=\"tags\">{{Tags}}</i>"
           "<script>var hint = '{{Hint}}';</script>"}},
         "/* mobile first */ .extra { display: inline } @media (min-width: 720px) { .card "
         ".extra { display: none } } .mobile .tags { display: none }"}};
}

TEST_F(ApkgImport, EachNoteShowsItsFirstCardByItsOwnTemplates) {
    std::string words;
    for (int i = 0; i < 120; ++i) {
        words += "word ";
    }
    const std::u16string cut(words.begin(), words.begin() + 509);
    for (Format format : {Format::kAnki2, Format::kAnki21b}) {
        PackageSpec plan;
        plan.format = format;
        plan.types = OwnTypes();
        plan.notes = {
            {1, 2001, {"私", "I", "私[わたし]"}},
            {2, 2002, {"c51fa7cf-oa-1", "", "<img src=\"a.png\">", "<img src=\"m.svg\">", ""}},
            {3,
             2002,
             {"c51fa7cf-oa-2", "Heart", "<img src=\"h.png\">", "<img src=\"m.svg\">",
              "the left ventricle"}},
            {4, 2003, {"front", "back"}},
            {5, kBasic, {"long", words}},
            {6, 2004, {"chat", "cat", "feline"}, "Lang::French", {}, " animal pet "},
        };
        Build(plan, "p.apkg");
        ASSERT_EQ(Run("import p.apkg -o out.txt --force"), 0) << err_;
        EXPECT_EQ(ReadFile(Path("out.txt")), Deck(u"私\t私(わたし) · I\r\n"
                                                  u"Heart\tHeart · the left ventricle\r\n"
                                                  u"long\t" +
                                                  cut +
                                                  u"…\r\n"
                                                  u"chat Hint\tcat · French: animal pet\r\n"));
        EXPECT_NE(err_.find("p.apkg: warning: note type \"Broken\", template \"Card 1\": its "
                            "front cannot be rendered: {{#Front}} is never closed; 1 card left "
                            "out\n"),
                  std::string::npos)
            << err_;
        EXPECT_NE(err_.find("; 6 notes read; 1 card shows only pictures or sounds and is left "
                            "out; 1 card is left out: Anki cannot render its template; 1 answer "
                            "cut to 511 units; 1 warning\n"),
                  std::string::npos)
            << err_;
        ASSERT_EQ(Run("check out.txt"), 0) << err_;
        EXPECT_EQ(out_, "4 cards, 0 warnings, 0 errors\n");
    }
}

// Cards render on several threads: a package of many batches keeps its notes' order, every
// card, and the counts of those the item cannot show.
TEST_F(ApkgImport, ManyNotesKeepTheirOrderAndTheirCounts) {
    PackageSpec plan;
    plan.format = Format::kAnki21;
    std::u16string expected;
    for (int i = 0; i < 3000; ++i) {
        const std::string n = std::to_string(i);
        const bool picture = i % 7 == 0;
        plan.notes.push_back(TestNote(
            1000 + i, kBasic, {picture ? "<img src=\"" + n + ".png\">" : "q" + n, "a" + n}));
        if (!picture) {
            for (char c : "q" + n + "\ta" + n + "\r\n") {
                expected += static_cast<char16_t>(c);
            }
        }
    }
    ASSERT_EQ(BuildPackage(plan, Path("p.apkg")), "");
    ASSERT_EQ(Run("import p.apkg -o out.txt"), 0) << err_;
    EXPECT_EQ(ReadFile(Path("out.txt")), Deck(expected));
    EXPECT_NE(err_.find("imported 2571 cards from p.apkg (collection.anki21, apkg) to out.txt; "
                        "3000 notes read; 429 cards show only pictures or sounds and are left "
                        "out; 0 warnings"),
              std::string::npos)
        << err_;
}

TEST_F(ApkgImport, DeckAndFieldOptionsPickTheCards) {
    Build(SamplePackage(Format::kAnki21b), "p.apkg");
    ASSERT_EQ(Run("import p.apkg -o french.txt --deck French"), 0) << err_;
    EXPECT_EQ(ReadFile(Path("french.txt")), Deck(u"chat\tcat\r\nchien\tdog & puppy\r\n"));
    EXPECT_NE(err_.find("2 notes read"), std::string::npos) << err_;

    ASSERT_EQ(Run("import p.apkg -o swapped.txt --deck French --question 2 --answer 1"), 0);
    EXPECT_EQ(ReadFile(Path("swapped.txt")), Deck(u"cat\tchat\r\ndog & puppy\tchien\r\n"));

    EXPECT_EQ(Run("import p.apkg -o none.txt --deck Spanish"), 1);
    EXPECT_NE(err_.find("p.apkg: error: the package has no deck \"Spanish\""), std::string::npos)
        << err_;
    EXPECT_EQ(Run("import p.apkg -o none.txt --deck"), 2);
    ExpectFolder({"french.txt", "p.apkg", "swapped.txt"});

    // --deck belongs to packages.
    ASSERT_TRUE(WriteFile(Path("cards.tsv"), "a\tb\n"));
    EXPECT_EQ(Run("import cards.tsv -o t.txt --deck French"), 2);
    EXPECT_NE(err_.find("--deck"), std::string::npos) << err_;
}

TEST_F(ApkgImport, CardsThatShowNoTextAreCountedNotLost) {
    PackageSpec plan;
    plan.format = Format::kAnki21;
    plan.notes = {{1, kBasic, {"one field only"}},
                  {2, kBasic, {"<br>", "&nbsp;"}},
                  {3, kBasic, {"[sound:a.mp3]", "<img src=\"a.png\">"}},
                  {4, kBasic, {"kept", "<img src=\"b.png\">"}},
                  {5, kCloze, {"no gap", "Anki makes no card of it"}}};
    plan.notes[4].cardless = true;
    Build(plan, "p.apkg");
    ASSERT_EQ(Run("import p.apkg -o out.txt"), 0) << err_;
    EXPECT_EQ(ReadFile(Path("out.txt")), Deck(u"one field only\t\r\nkept\t(picture)\r\n"));
    EXPECT_NE(err_.find("imported 2 cards from p.apkg (collection.anki21, apkg) to out.txt; "
                        "5 notes read, 1 without cards; 1 card shows only pictures or sounds "
                        "and is left out; 1 card shows nothing on its front and is left out; "
                        "0 warnings"),
              std::string::npos)
        << err_;

    // Fields chosen by number still take the template's place.
    ASSERT_EQ(Run("import p.apkg -o three.txt --answer 3"), 0) << err_;
    EXPECT_EQ(ReadFile(Path("three.txt")), Deck(u""));
    EXPECT_NE(err_.find("note 4 (Basic) skipped: it has 2 fields, field 3 was asked for"),
              std::string::npos)
        << err_;
    EXPECT_NE(err_.find("5 notes read, 1 without cards, 4 with too few fields; 4 warnings"),
              std::string::npos)
        << err_;
}

TEST_F(ApkgImport, BadPackagesFailCleanlyAndLeaveTheOldDeck) {
    const std::string old = Deck(u"old\tdeck\r\n");
    ASSERT_TRUE(WriteFile(Path("out.txt"), old));
    std::string good = CollectionEntry(SamplePackage(Format::kAnki21b));
    Build(SamplePackage(Format::kAnki21), "whole.apkg");
    std::string whole = ReadFile(Path("whole.apkg"));

    const struct {
        const char* what;
        std::vector<Entry> entries; // empty: `raw` is the file
        std::string raw;
        const char* message;
    } cases[] = {
        {"truncated", {}, whole.substr(0, whole.size() * 2 / 3), "truncated or damaged ZIP"},
        {"no collection", {{"media", "{}"}, {"0", "jpeg"}}, "", "without an Anki collection"},
        {"not SQLite", {{"collection.anki21", "plain words"}}, "", "is not an SQLite database"},
        {"bad zstd",
         {{"collection.anki21b", good.substr(0, good.size() - 5)}, {"collection.anki2", ""}},
         "",
         "Zstandard stream"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.entries.empty()) {
            ASSERT_TRUE(WriteFile(Path("bad.apkg"), c.raw));
        } else {
            ASSERT_EQ(WriteZip(Path("bad.apkg"), c.entries), "");
        }
        EXPECT_EQ(Run("import bad.apkg -o out.txt --force"), 1);
        EXPECT_NE(err_.find("bad.apkg: error: "), std::string::npos) << err_;
        EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
        EXPECT_EQ(err_.find("imported"), std::string::npos) << err_;
        EXPECT_EQ(ReadFile(Path("out.txt")), old);
        ExpectFolder({"bad.apkg", "out.txt", "whole.apkg"});
    }

    // A stated size of nearly 4 GiB for the collection.
    std::string bomb = whole;
    for (size_t at = 0; (at = bomb.find("PK\x01\x02", at)) != std::string::npos; at += 4) {
        memcpy(&bomb[at + 24], "\x00\x00\xf0\xff", 4);
    }
    for (size_t at = 0; (at = bomb.find("PK\x03\x04", at)) != std::string::npos; at += 4) {
        memcpy(&bomb[at + 22], "\x00\x00\xf0\xff", 4);
    }
    ASSERT_TRUE(WriteFile(Path("bad.apkg"), bomb));
    EXPECT_EQ(Run("import bad.apkg -o out.txt --force"), 1);
    EXPECT_NE(err_.find("more than the limit of 1 GiB"), std::string::npos) << err_;
    EXPECT_EQ(ReadFile(Path("out.txt")), old);

    // --format apkg on a text file; a missing package; an existing output without --force.
    ASSERT_TRUE(WriteFile(Path("bad.apkg"), "front\tback\n"));
    EXPECT_EQ(Run("import bad.apkg -o new.txt --format apkg"), 1);
    EXPECT_NE(err_.find("not a ZIP archive"), std::string::npos) << err_;
    EXPECT_EQ(Run("import missing.apkg -o new.txt --format apkg"), 1);
    EXPECT_NE(err_.find("missing.apkg: error: "), std::string::npos) << err_;
    EXPECT_EQ(Run("import whole.apkg -o out.txt"), 1);
    EXPECT_NE(err_.find("--force"), std::string::npos) << err_;
    EXPECT_EQ(ReadFile(Path("out.txt")), old);
    ExpectFolder({"bad.apkg", "out.txt", "whole.apkg"});
}

} // namespace
