// The CSV reader on its own: the records, the lines they begin on, the comment count and the
// messages, for well-formed files and for the stray and missing quotes of real ones.
#include "deck/base/process.h"
#include "deck/text/csvreader.h"
#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::pair<long, deck::Record>>;

struct Read {
    Rows rows;
    std::string messages;
    long comments = 0;
    bool failed = false;
};

Read ReadCsv(const std::string& bytes, char separator = ',', bool comments = true) {
    decktest::TempDir dir;
    decktest::WriteBytes(dir.Path("in.csv"), bytes);
    deck::Capture out;
    Read read;
    {
        deck::Report report("in.csv", out.File());
        deck::text::TextInput in;
        std::string why;
        EXPECT_TRUE(in.Open(dir.Path("in.csv"), "", report, &why)) << why;
        deck::text::CsvReader reader(in, report, separator, comments);
        deck::Record record;
        long line = 0;
        while (reader.Next(record, &line)) {
            read.rows.push_back({line, record});
        }
        read.comments = reader.CommentLines();
        read.failed = reader.Failed();
    }
    read.messages = out.Text();
    return read;
}

TEST(CsvReader, Rfc4180RecordsWithTheirLines) {
    Read r = ReadCsv("a,\"b, \"\"c\"\"\"\r\n"
                     "\n"
                     "   \n"
                     "\"two\r\nlines\",x\rlone CR,\"\"\n"
                     "last,no line end");
    EXPECT_EQ((Rows{{1, {"a", "b, \"c\""}},
                    {4, {"two\r\nlines", "x"}},
                    {6, {"lone CR", ""}},
                    {7, {"last", "no line end"}}}),
              r.rows);
    EXPECT_EQ("", r.messages);
}

TEST(CsvReader, TextAfterAClosingQuoteAndQuotesInsideFieldsStayInTheirField) {
    Read r = ReadCsv("ojal\xC3\xA1;\"I wish\", hopefully\n"
                     "se suponer;supposed to (\"it was supposed to\")\n"
                     "\"a\"b\"c\";d\n",
                     ';');
    EXPECT_EQ((Rows{{1, {"ojal\xC3\xA1", "I wish, hopefully"}},
                    {2, {"se suponer", "supposed to (\"it was supposed to\")"}},
                    {3, {"ab\"c\"", "d"}}}),
              r.rows);
    EXPECT_EQ("", r.messages);
}

TEST(CsvReader, AQuotedFieldThatSwallowsRecordsIsWarnedAboutWhereItOpened) {
    // Line 2 opens a field that a stray quote on line 4 closes; line 7 opens one that never
    // closes. A field over lines with fewer fields than its record is a real paragraph.
    Read r = ReadCsv("q,a\n"
                     "q2,\"open\n"
                     "q3,a3\n"
                     "q4,\"closed\" here\n"
                     "q,\"one, two\nthree, four\",x,y\n"
                     "q6,\"never closed\n"
                     "q7,a7\n");
    ASSERT_EQ(4u, r.rows.size());
    EXPECT_EQ((deck::Record{"q2", "open\nq3,a3\nq4,closed\" here"}), r.rows[1].second);
    EXPECT_EQ((deck::Record{"q", "one, two\nthree, four", "x", "y"}), r.rows[2].second);
    EXPECT_EQ((deck::Record{"q6", "never closed\nq7,a7\n"}), r.rows[3].second);
    EXPECT_EQ("in.csv:2: warning: a quoted field runs on to line 4 (3 lines); check the quotes\n"
              "in.csv:7: warning: a quoted field runs on to line 8 (2 lines); check the quotes\n",
              r.messages);
}

TEST(CsvReader, HashLinesOutsideQuotesAreComments) {
    Read r = ReadCsv("# top\nq;a\n### Block 2\n\"#quoted\";\"multi\n# inside\"\n#end", ';');
    EXPECT_EQ((Rows{{2, {"q", "a"}}, {4, {"#quoted", "multi\n# inside"}}}), r.rows);
    EXPECT_EQ(3, r.comments);
    r = ReadCsv("#tag,x\n", ',', false);
    EXPECT_EQ((Rows{{1, {"#tag", "x"}}}), r.rows);
    EXPECT_EQ(0, r.comments);
}

TEST(CsvReader, MemoryStaysBounded) {
    // A long line is cut between characters (é is two bytes).
    std::string line = "xy";
    for (size_t i = 0; i < (deck::text::kMaxPieceBytes + 8) / 2; ++i) {
        line += "\xC3\xA9";
    }
    Read r = ReadCsv("q,a\n" + line + "\nq2,a2\n");
    ASSERT_EQ(4u, r.rows.size());
    EXPECT_EQ(deck::text::kMaxPieceBytes, r.rows[1].second[0].size());
    EXPECT_EQ(line, r.rows[1].second[0] + r.rows[2].second[0]);
    EXPECT_EQ((deck::Record{"q2", "a2"}), r.rows[3].second);
    EXPECT_EQ("in.csv:2: warning: no line end in 4 MiB: the line is cut there\n", r.messages);

    // Only the first fields of a record are kept.
    r = ReadCsv(std::string(3000, ',') + "\n");
    ASSERT_EQ(1u, r.rows.size());
    EXPECT_EQ(deck::text::kMaxStoredFields, r.rows[0].second.size());

    // A quoted field without its closing quote is an error at the line where it opened.
    r = ReadCsv("q,a\nq2,\"" + std::string(deck::text::kMaxPieceBytes + 9, ',') + "\n");
    EXPECT_TRUE(r.failed);
    EXPECT_EQ((Rows{{1, {"q", "a"}}}), r.rows);
    EXPECT_EQ("in.csv:2: error: a quoted field that starts here runs on for more than 4 MiB: is "
              "its closing quote missing?\n",
              r.messages);
}

TEST(CsvReader, ACrLfAcrossTheReadBlocksIsOneLineEnd) {
    // The input is read in blocks of 1 MiB: the CR ends one block and the LF begins the next.
    std::string first(1u << 20, 'x');
    first.replace(first.size() - 3, 3, ",y\r");
    Read r = ReadCsv(first + "\n\"q\r\n\r\nz\",a\n");
    ASSERT_EQ(2u, r.rows.size());
    EXPECT_EQ(2, r.rows[1].first);
    EXPECT_EQ((deck::Record{"q\r\n\r\nz", "a"}), r.rows[1].second);
}

} // namespace
