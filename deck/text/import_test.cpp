// import: each format and encoding, checked by the deck bytes it leaves on disk.
#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

namespace {

using decktest::Deck;
using decktest::ReadBytes;
using decktest::Tool;
using decktest::WriteBytes;
using Cards = std::vector<std::pair<std::string, std::string>>;

class Import : public ::testing::Test {
protected:
    // Imports `bytes` written to a file named `name` and returns the status.
    decktest::Run Run(const std::string& name, const std::string& bytes,
                      std::vector<std::string> options = {}) {
        return decktest::ImportBytes(dir.Path(name), bytes, Out(), options);
    }
    std::string Out() const { return dir.Path("out.txt"); }
    void ExpectDeck(const Cards& cards) { EXPECT_EQ(Deck(cards), ReadBytes(Out())); }

    decktest::TempDir dir;
};

TEST_F(Import, AnkiNotesExportWithGuidNoteTypeAndDeckColumnsFirst) {
    auto r = Run("notes.txt", "#separator:tab\n#html:true\n#guid column:1\n#notetype column:2\n"
                              "#deck column:3\n#tags column:6\n"
                              "a1b2\tBasic\tGeo::Europe\tCapital of <b>France</b>?\t"
                              "Paris<br>(on the Seine)\tgeo\n"
                              "c3d4\tBasic\tGeo\t\"Quoted\ttab\"\t&lt;Tokyo&gt; &amp; &#233;\t\n");
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck(
        {{"Capital of France?", "Paris (on the Seine)"}, {"Quoted tab", "<Tokyo> & \xC3\xA9"}});
    EXPECT_NE(std::string::npos, r.err.find("imported 2 cards from " + dir.Path("notes.txt") +
                                            " (UTF-8, anki) to " + Out() + "; 0 warnings"))
        << r.err;
}

TEST_F(Import, AnkiSeparatorNamesCommentsAndCloze) {
    for (auto [name, sep] : std::vector<std::pair<std::string, std::string>>{{"Comma", ","},
                                                                             {"Semicolon", ";"},
                                                                             {"Pipe", "|"},
                                                                             {"Colon", ":"},
                                                                             {"Space", " "},
                                                                             {"|", "|"}}) {
        SCOPED_TRACE(name);
        auto r = Run("s.txt",
                     "#separator:" + name + "\n# a comment\nQ" + sep + "A\n#q" + sep + "skipped\n");
        ASSERT_EQ(0, r.status) << r.err;
        ExpectDeck({{"Q", "A"}});
    }
    auto r = Run("c.txt", "#separator:tab\n#html:false\n"
                          "{{c1::Paris::city}} is the capital of {{c2::France}}\textra\n");
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"[city] is the capital of [...]", "Paris is the capital of France extra"}});
    // Nested gaps as Anki shows them, a forged answer line, and a gap late in a long field,
    // which both sides show in a window that begins before it.
    std::string words;
    for (int i = 0; i < 200; ++i) {
        words += "w" + std::to_string(i) + " ";
    }
    r = Run("n.txt", "#separator:tab\n#html:true\n{{c1::a {{c2::b}} c}} d\tx&#2;y\n" + words +
                         "{{c1::late}} end\t\n");
    ASSERT_EQ(0, r.status) << r.err;
    const std::string deck = ReadBytes(Out());
    EXPECT_EQ(deck.substr(0, Deck({{"[...] d", "a b c d x y"}}).size()),
              Deck({{"[...] d", "a b c d x y"}}));
    const std::string window = "\xE2\x80\xA6w";
    EXPECT_NE(deck.find(decktest::Utf16(window)), std::string::npos);
    EXPECT_NE(deck.find(decktest::Utf16("[...] end\t" + window)), std::string::npos);
}

TEST_F(Import, CsvByRfc4180WithDetectedSeparator) {
    auto r = Run("sheet.csv", "\"Capital, of France\",\"He said \"\"Paris\"\"\"\r\n"
                              "\"two\r\nlines\",  spaced   out  \r\n"
                              "last,no line end");
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"Capital, of France", "He said \"Paris\""},
                {"two lines", "spaced out"},
                {"last", "no line end"}});
    // Without a header the separator is detected; one colon does not beat a comma on every
    // line.
    r = Run("semi.csv", "a;b\nc;d: e\n");
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"a", "b"}, {"c", "d: e"}});
    r = Run("comma.csv", "Time: noon,12\nx,y\n");
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"Time: noon", "12"}, {"x", "y"}});
}

TEST_F(Import, TsvAndQuizletSeparatorsAndColumnChoice) {
    auto r = Run("t.tsv", "q1\ta1\textra\nq2\ta2\n");
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"q1", "a1"}, {"q2", "a2"}});
    r = Run("quizlet.txt", "term 1,def one;term 2,def\ntwo;",
            {"--field-sep", ",", "--card-sep", ";"});
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"term 1", "def one"}, {"term 2", "def two"}});
    r = Run("cols.tsv", "x\tQ\ty\tA\n", {"--question", "4", "--answer", "2", "--swap"});
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"Q", "A"}});
}

TEST_F(Import, EncodingsByMarkValidityGuessAndName) {
    auto r = Run("bom8.txt", "\xEF\xBB\xBF"
                             "caf\xC3\xA9\tvoil\xC3\xA0\n");
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"caf\xC3\xA9", "voil\xC3\xA0"}});

    std::string be = "\xFE\xFF";
    for (char c : std::string("Q\tA\n")) {
        be += '\0';
        be += c;
    }
    r = Run("be.txt", be);
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"Q", "A"}});
    EXPECT_NE(std::string::npos, r.err.find("(UTF-16BE, deck)")) << r.err;

    r = Run("le.txt", decktest::Utf16("Q\tA\r\n"), {"--encoding", "UTF-16LE"});
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"Q", "A"}});

    r = Run("latin.txt", "caf\xE9\t\xE0 la carte\n", {"--encoding", "windows-1252"});
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"caf\xC3\xA9", "\xC3\xA0 la carte"}});

    // Shift_JIS without a mark: not UTF-8, so the detector guesses.
    std::string sjis;
    for (int i = 0; i < 20; ++i) {
        sjis += "\x93\xFA\x96\x7B\x82\xCC\x8E\xF1\x93\x73\x82\xCD\x81\x48\t\x93\x8C\x8B\x9E\n";
    }
    r = Run("sjis.txt", sjis);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("(SHIFT_JIS")) << r.err;
    std::string deck = ReadBytes(Out());
    ASSERT_GE(deck.size(), 18u);
    // 日本の首都は？ TAB 東京
    EXPECT_EQ(decktest::Utf16("\xE6\x97\xA5\xE6\x9C\xAC\xE3\x81\xAE\xE9\xA6\x96\xE9\x83\xBD"
                              "\xE3\x81\xAF\xEF\xBC\x9F\t\xE6\x9D\xB1\xE4\xBA\xAC\r\n"),
              deck.substr(2, 24));

    // An invalid sequence in a UTF-8 file (with its mark) becomes U+FFFD, with the line named.
    r = Run("bad8.txt", "\xEF\xBB\xBFok\tfine\nbad\xFF\there\n");
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"ok", "fine"}, {"bad\xEF\xBF\xBD", "here"}});
    EXPECT_NE(std::string::npos, r.err.find("bad8.txt:2: warning: invalid UTF-8 sequence"))
        << r.err;
}

TEST_F(Import, Utf16DeckIsRewrittenSoThatHiddenAndJoinedLinesBecomeCards) {
    std::string in = "\xFF\xFE" + decktest::Utf16("A\t1\n\nB\t2\nC\t3\rD\t4\r\nE\t\t5\tx");
    auto r = Run("deck.txt", in);
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}, {"E", "5"}});
    EXPECT_NE(std::string::npos, r.err.find("(UTF-16LE, deck)")) << r.err;
}

TEST_F(Import, CardTextRulesEmptyRowsAndLongFields) {
    std::string longText(600, 'x');
    auto r =
        Run("h.txt", "<div>Q&nbsp;&nbsp; one</div>\t<img src=\"a.png\">A [sound:a.mp3] <p>two</p>\n"
                     "\t\n" +
                         longText + "\tshort\n");
    ASSERT_EQ(0, r.status) << r.err;
    ExpectDeck({{"Q one", "A two"}, {longText, "short"}});
    EXPECT_NE(std::string::npos, r.err.find("h.txt:2: warning: row skipped")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("h.txt:3: warning: question of 600 UTF-16 units"))
        << r.err;
    EXPECT_NE(std::string::npos, r.err.find("; 2 warnings")) << r.err;
}

} // namespace

namespace {

// Memory stays bounded: a line without an end is cut, a quoted field that never closes is an
// error (nothing is written).
TEST_F(Import, EndlessLinesAndFieldsAreBounded) {
    auto r = Run("endless.tsv", "q\t" + std::string(9u << 20, 'y') + "\nq2\ta2\n");
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("endless.tsv:1: warning: no line end in 4 MiB"))
        << r.err;
    std::string deck = ReadBytes(Out());
    EXPECT_EQ(decktest::Utf16("q2\ta2\r\n"), deck.substr(deck.size() - 14));

    decktest::WriteBytes(Out(), "old");
    r = Run("open.csv", "a,b\n\"never closed," + std::string(5u << 20, 'x') + "\n");
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("open.csv:2: error: a quoted field that starts here"))
        << r.err;
    EXPECT_EQ("old", ReadBytes(Out()));
}

} // namespace
