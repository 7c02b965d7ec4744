// import of what people's published files hold: a small file of the tests' own for each case,
// checked by the deck bytes, the warnings with their lines, and the closing line.
#include "deck/tests/deck_support.h"
#include "deck/tests/apkg_builder.h"

#include <gtest/gtest.h>

namespace {

using decktest::Deck;
using decktest::ReadBytes;
using decktest::Tool;
using decktest::Utf16;
using decktest::WriteBytes;
using Cards = std::vector<std::pair<std::string, std::string>>;

class ImportReal : public ::testing::Test {
protected:
    decktest::Run Run(const std::string& name, const std::string& bytes,
                      std::vector<std::string> options = {}) {
        return decktest::ImportBytes(dir.Path(name), bytes, Out(), options);
    }
    std::string Out() const { return dir.Path("out.txt"); }
    // The closing line, with the folder left out of the file names.
    std::string Closing(const decktest::Run& r) const {
        std::string line = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
        for (size_t at; (at = line.find(dir.Path() + "/")) != std::string::npos;) {
            line.erase(at, dir.Path().size() + 1);
        }
        return line;
    }
    decktest::TempDir dir;
};

std::string Utf16Be(const std::string& utf8) {
    std::string le = Utf16(utf8);
    for (size_t i = 0; i + 1 < le.size(); i += 2) {
        std::swap(le[i], le[i + 1]);
    }
    return le;
}

TEST_F(ImportReal, Utf16CsvIsReadExactlyAsItsUtf8Twin) {
    // A spreadsheet's "Unicode text" save of a semicolon CSV, with its header row.
    const std::string text = "francais;sens;allemand\nexercice;;\xC3\x9C"
                             "bung\npremi\xC3\xA8re;;erste\n";
    const Cards cards = {{"exercice", "\xC3\x9C"
                                      "bung"},
                         {"premi\xC3\xA8re", "erste"}};
    const std::vector<std::string> options = {"--question", "1", "--answer", "3", "--header"};
    auto r = Run("vocabulaire.csv", text, options);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck(cards), ReadBytes(Out()));
    r = Run("vocabulaire.csv", "\xFF\xFE" + Utf16(text), options);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck(cards), ReadBytes(Out()));
    EXPECT_EQ("imported 2 cards from vocabulaire.csv (UTF-16LE, csv) to out.txt; 0 warnings\n",
              Closing(r));
    r = Run("vocabulaire.tab", "\xFE\xFF" + Utf16Be("q\ta\n"));
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"q", "a"}}), ReadBytes(Out()));
    EXPECT_NE(std::string::npos, r.err.find("(UTF-16BE, tsv)")) << r.err;
    // Anki's header lines make a UTF-16 text Anki's, whatever its name.
    r = Run("notes.txt", "\xFF\xFE" + Utf16("#separator:Semicolon\n#html:false\nq;a;x\n"));
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"q", "a"}}), ReadBytes(Out()));
    EXPECT_NE(std::string::npos, r.err.find("(UTF-16LE, anki)")) << r.err;
}

TEST_F(ImportReal, HashLinesAreCommentsEverywhereInAnkiAndCsv) {
    const std::string text = "### Vocabularium 1\nschola;die Schule\n\n### Vocabularium 2\n"
                             "\"#hic\";hier\n#sedet;er sitzt\n";
    auto r = Run("vokabeln.csv", text);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"schola", "die Schule"}, {"#hic", "hier"}}), ReadBytes(Out()));
    EXPECT_EQ("imported 2 cards from vokabeln.csv (UTF-8, csv) to out.txt; 3 comment lines "
              "skipped; 0 warnings\n",
              Closing(r));
    r = Run("vokabeln.txt", "#separator:semicolon\n" + text);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"schola", "die Schule"}, {"#hic", "hier"}}), ReadBytes(Out()));
    EXPECT_EQ("imported 2 cards from vokabeln.txt (UTF-8, anki) to out.txt; 3 comment lines "
              "skipped; 0 warnings\n",
              Closing(r));
    // A TSV has no comments: such a line is a card.
    r = Run("vokabeln.tsv", "#1\tone\n");
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"#1", "one"}}), ReadBytes(Out()));
}

TEST_F(ImportReal, AStrayQuoteStaysInItsField) {
    auto r = Run("anki.txt", "siguiente;next one\nojal\xC3\xA1;\"I wish\", hopefully\n"
                             "algo;something\nse suponer;supposed to (\"it was\")\nsi;yes\n");
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"siguiente", "next one"},
                    {"ojal\xC3\xA1", "I wish, hopefully"},
                    {"algo", "something"},
                    {"se suponer", "supposed to (\"it was\")"},
                    {"si", "yes"}}),
              ReadBytes(Out()));
    EXPECT_EQ("imported 5 cards from anki.txt (UTF-8, text (Anki's rules)) to out.txt; 0 "
              "warnings\n",
              Closing(r));
}

TEST_F(ImportReal, EachQuotedFieldThatRunsOnIsWarnedAbout) {
    auto r = Run("malformed.csv", "Question,Answer\n"
                                  "one,\"first\n"
                                  "two,second\n"
                                  "three,\"third\n"
                                  "four,\"fourth\n"
                                  "five,fifth\n");
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"Question", "Answer"},
                    {"one", "first two,second three,third"},
                    {"four", "fourth five,fifth"}}),
              ReadBytes(Out()));
    const std::string file = dir.Path("malformed.csv");
    EXPECT_EQ(file + ":2: warning: a quoted field runs on to line 4 (3 lines); check the quotes\n" +
                  file +
                  ":5: warning: a quoted field runs on to line 6 (2 lines); check the quotes\n",
              r.err.substr(0, r.err.find("imported")));
    EXPECT_EQ("imported 3 cards from malformed.csv (UTF-8, csv) to out.txt; 2 warnings; the first "
              "row looks like column titles: --header skips it\n",
              Closing(r));
}

TEST_F(ImportReal, HeaderRowIsSkippedOnlyWhenAsked) {
    auto r = Run("quizlet.csv", "Question,ANSWER\nq,a\n", {"--header"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"q", "a"}}), ReadBytes(Out()));
    EXPECT_EQ("imported 1 card from quizlet.csv (UTF-8, csv) to out.txt; 0 warnings\n", Closing(r));
    // Titles that are not all common ones are never guessed at.
    r = Run("liste.csv", "liste;allemand;francais\nq;a;x\n");
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"liste", "allemand"}, {"q", "a"}}), ReadBytes(Out()));
    EXPECT_EQ(std::string::npos, r.err.find("--header")) << r.err;
    r = Run("front.txt", "Front|back|\nq|a|\n", {"--swap"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"back", "Front"}, {"a", "q"}}), ReadBytes(Out()));
    EXPECT_NE(std::string::npos, r.err.find("; 0 warnings; the first row looks like column titles"))
        << r.err;
}

TEST_F(ImportReal, AnOptionTheFormatHasNoUseForIsAnError) {
    WriteBytes(Out(), "old");
    const std::string deck = "\xFF\xFE" + Utf16("q\ta\r\n");
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"deck.txt", {"--question", "2"}},
        {"deck.txt", {"--header"}},
        {"deck.txt", {"--format", "deck", "--answer", "1"}},
        {"cards.csv", {"--format", "csv", "--field-sep", ";"}},
        {"cards.tsv", {"--card-sep", ";", "--format", "tsv"}},
    };
    for (const auto& [name, options] : cases) {
        SCOPED_TRACE(name + " " + options[0]);
        auto r = Run(name, deck, options);
        EXPECT_EQ(2, r.status);
        EXPECT_NE(std::string::npos, r.err.find("tollamy-deck: error: --")) << r.err;
        EXPECT_EQ("old", ReadBytes(Out()));
    }
    auto r = Run("deck.txt", deck, {"--question", "1"});
    EXPECT_NE(std::string::npos,
              r.err.find("--question does not apply to a deck: " + dir.Path("deck.txt") +
                         " is read as one (UTF-16 with a byte-order mark, not named .csv, .tsv or "
                         ".tab), its cards as they are; --format csv, tsv, anki or text reads it "
                         "as a table"))
        << r.err;
    // --swap still applies to a deck.
    r = Run("deck.txt", deck, {"--swap"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"a", "q"}}), ReadBytes(Out()));
}

TEST_F(ImportReal, EveryClosingLineCountsInTheRightNumber) {
    auto r = Run("one.tsv", "q\t" + std::string(600, 'a') + "\n");
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("imported 1 card from one.tsv (UTF-8, tsv) to out.txt; 1 warning\n", Closing(r));
    r = Tool({"check", Out()});
    EXPECT_EQ("1 card, 1 warning, 0 errors\n", r.out);
    r = Tool({"export", Out(), "-o", dir.Path("back.tsv")});
    EXPECT_EQ("exported 1 card from out.txt to back.tsv; 0 warnings\n", Closing(r));
    r = Run("c.csv", "# one\nq,a\n");
    EXPECT_NE(std::string::npos, r.err.find("; 1 comment line skipped; 0 warnings")) << r.err;
}

// A cloze note without a gap has no card in Anki, and so gives none: it is counted.
TEST_F(ImportReal, ClozeNoteWithoutGapsFollowsAnki) {
    apkg_test::PackageSpec plan;
    plan.notes = {{1, apkg_test::kCloze, {"{{c1::Berlin}} ist die Hauptstadt", "Extra"}},
                  {2, apkg_test::kCloze, {"der Hund [sound:hund.mp3]", "the dog"}}};
    plan.notes[1].cardless = true;
    ASSERT_EQ("", apkg_test::BuildPackage(plan, dir.Path("p.apkg")));
    auto r = Tool({"import", dir.Path("p.apkg"), "-o", Out()});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(Deck({{"[...] ist die Hauptstadt", "Berlin ist die Hauptstadt · Extra"}}),
              ReadBytes(Out()));
    EXPECT_EQ("imported 1 card from p.apkg (collection.anki21, apkg) to out.txt; 2 notes read, 1 "
              "without cards; 0 warnings\n",
              Closing(r));
}

} // namespace
