// The small text helpers, on the bytes that names, tags and markup bring: ASCII only changes,
// UTF-8 stays whole.
#include "deck/base/strings.h"

#include <gtest/gtest.h>

namespace {

TEST(Strings, CaseWhiteSpaceSuffixesAndFields) {
    EXPECT_EQ(deck::AsciiLower("DiV.Card ÄÖ"), "div.card ÄÖ");
    EXPECT_EQ(deck::Trim(" \t\v\r\n a b \f"), "a b");
    EXPECT_EQ(deck::TrimAsciiWhitespace("\v a \n"), "\v a"); // VT is not HTML's white space
    EXPECT_TRUE(deck::EndsWithNoCase("deck.CSV", ".csv"));
    EXPECT_FALSE(deck::EndsWithNoCase("csv", ".csv"));
    EXPECT_TRUE(deck::HasAtNoCase("<HR id=answer>", 1, "hr"));
    EXPECT_FALSE(deck::HasAtNoCase("<h", 1, "hr"));
    const struct {
        std::string text;
        std::vector<std::string> fields;
    } notes[] = {
        {"", {""}},
        {"a", {"a"}},
        {"a\x1f"
         "b\x1f",
         {"a", "b", ""}},
        {"\x1f", {"", ""}},
    };
    for (const auto& n : notes) {
        EXPECT_EQ(deck::SplitAnkiFields(n.text), n.fields) << n.text;
    }
}

} // namespace
