// check and export: what the item will make of a deck, and the round trip through Anki's
// text format.
#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

namespace {

using decktest::Deck;
using decktest::ReadBytes;
using decktest::Tool;
using decktest::Utf16;
using decktest::WriteBytes;

class Check : public ::testing::Test {
protected:
    decktest::Run CheckUnits(const std::string& units, std::vector<std::string> more = {}) {
        WriteBytes(Path(), "\xFF\xFE" + units);
        std::vector<std::string> args{"check", Path()};
        args.insert(args.end(), more.begin(), more.end());
        return Tool(args);
    }
    std::string Path() const { return dir.Path("deck.txt"); }
    bool Says(const decktest::Run& r, const std::string& text) {
        return r.err.find(text) != std::string::npos;
    }

    decktest::TempDir dir;
};

TEST_F(Check, CleanDeckCountsCards) {
    auto r = CheckUnits(Utf16("Q1\tA1\r\nQ2\t\t\tA2\r\n"));
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("2 cards, 0 warnings, 0 errors\n", r.out);
    EXPECT_EQ("", r.err);
}

TEST_F(Check, EverySurpriseIsNamedWithItsLine) {
    std::string units = Utf16("A\t1\n"   // line 1: card 1
                              "\n"       // line 2: the bare-LF empty line, card 2
                              "B\t2\n"   // line 3: hidden inside card 2
                              "C\r"      // line 4: card 3, CR-only, no TAB
                              "D\t4\n" + //   still card 3
                              std::string(600, 'q') +
                              "\ta\n"        // line 5: card 4
                              "E\t5\tx\ty\n" // line 6: card 5, two extra columns
                              "\t\n");       // line 7: card 6, empty
    units += Utf16("F") + std::string("\0\0", 2) + Utf16("G\t6\n");  // line 8: card 7, NUL
    units += Utf16("H") + std::string("\x00\xD8", 2) + Utf16("\t7"); // line 9: card 8
    units += "!";                                                    // a trailing odd byte
    auto r = CheckUnits(units);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("8 cards, 10 warnings, 0 errors\n", r.out) << r.err;
    std::string f = Path();
    EXPECT_TRUE(Says(r, f + ":3: warning: line 3 is hidden")) << r.err;
    EXPECT_TRUE(Says(r, "part of card 2")) << r.err;
    EXPECT_TRUE(Says(r, f + ":2: warning: card 2 is empty")) << r.err;
    EXPECT_TRUE(Says(r, f + ":4: warning: no TAB: card 3 has an empty answer")) << r.err;
    EXPECT_TRUE(Says(r, f + ":4: warning: card 3 has 1 CR-only line end")) << r.err;
    EXPECT_TRUE(Says(r, f + ":5: warning: question of 600 units")) << r.err;
    EXPECT_TRUE(Says(r, f + ":6: warning: 2 extra TAB-separated columns are ignored")) << r.err;
    EXPECT_TRUE(Says(r, f + ":7: warning: card 6 is empty")) << r.err;
    EXPECT_TRUE(Says(r, f + ":8: warning: a NUL unit in card 7")) << r.err;
    EXPECT_TRUE(Says(r, f + ":9: warning: an unpaired surrogate in card 8")) << r.err;
    EXPECT_TRUE(Says(r, f + ":9: warning: a trailing odd byte")) << r.err;

    r = CheckUnits(Utf16("A\t1\nB\r\n"), {"--strict"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("2 cards, 0 warnings, 1 error\n", r.out);
    EXPECT_TRUE(Says(r, f + ":2: error: no TAB")) << r.err;
}

TEST_F(Check, ErrorsForFilesThatAreNoDeck) {
    WriteBytes(Path(), "Capital\tParis\n");
    auto r = Tool({"check", Path()});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("0 cards, 0 warnings, 1 error\n", r.out);
    EXPECT_TRUE(Says(r, Path() + ":1: error: not a deck: no FF FE")) << r.err;
    EXPECT_TRUE(Says(r, "looks like ASCII")) << r.err;
    EXPECT_TRUE(Says(r, "tollamy-deck import " + Path() + " -o " + dir.Path("deck-utf16.txt")))
        << r.err;

    WriteBytes(Path(), "\xFE\xFF\0Q");
    r = Tool({"check", Path()});
    EXPECT_TRUE(Says(r, "big-endian")) << r.err;
    WriteBytes(Path(), "PK\x03\x04zipzipzip");
    r = Tool({"check", Path()});
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(Says(r, "a ZIP archive")) << r.err;
    EXPECT_FALSE(Says(r, "tollamy-deck import")) << r.err;

    r = Tool({"check", dir.Path("missing.txt")});
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(Says(r, "missing.txt: error: cannot be opened")) << r.err;

    // 4 GiB as a sparse file: refused before anything is read.
    std::error_code ec;
    std::filesystem::resize_file(std::filesystem::u8path(Path()), 0, ec);
    std::filesystem::resize_file(std::filesystem::u8path(Path()), 4LL << 30, ec);
    ASSERT_FALSE(ec) << ec.message();
    r = Tool({"check", Path()});
    EXPECT_EQ(1, r.status);
    EXPECT_TRUE(Says(r, "4 GiB or more")) << r.err;

    EXPECT_EQ(2, Tool({"check"}).status);
    EXPECT_EQ(2, Tool({"check", Path(), "--bogus"}).status);
    EXPECT_EQ(2, Tool({"frobnicate", Path()}).status);
}

TEST_F(Check, ExportShowsWhatTheItemShowsAndRoundTrips) {
    // A deck as import writes it: export, then import, gives the same bytes.
    std::string deck = Deck({{"Capital of France?", "Paris"},
                             {"\"Quoted\" text", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
                             {"#not a comment", "x"},
                             {"", "answer only"},
                             {std::string(511, 'q'), std::string(511, 'a')}});
    WriteBytes(Path(), deck);
    auto r = Tool({"export", Path(), "-o", dir.Path("anki.txt")});
    ASSERT_EQ(0, r.status) << r.err;
    std::string tsv = ReadBytes(dir.Path("anki.txt"));
    EXPECT_EQ(0u, tsv.find("#separator:tab\n#html:false\nCapital of France?\tParis\n")) << tsv;
    r = Tool({"import", dir.Path("anki.txt"), "-o", dir.Path("again.txt")});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(deck, ReadBytes(dir.Path("again.txt")));

    // The item's reading: the over-long question's tail skipped, the answer cut at 511, a
    // further TAB ends the answer, the text after a NUL is not shown.
    WriteBytes(Path(), "\xFF\xFE" +
                           Utf16(std::string(600, 'q') + "\t" + std::string(600, 'a') +
                                 "\r\nQ\t\tA\tB\r\nN") +
                           std::string("\0\0", 2) + Utf16("ul\tx"));
    r = Tool({"export", Path(), "-o", dir.Path("anki.txt"), "--force"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("#separator:tab\n#html:false\n" + std::string(511, 'q') + "\t" +
                  std::string(511, 'a') + "\nQ\tA\nN\tx\n",
              ReadBytes(dir.Path("anki.txt")));
}

} // namespace
