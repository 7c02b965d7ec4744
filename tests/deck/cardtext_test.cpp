// The card-text rules: HTML to text, clozes, white space.
#include "deck/cards.h"

#include <gtest/gtest.h>

namespace {

TEST(CardText, HtmlBecomesText) {
    EXPECT_EQ("a b", deck::CleanWhiteSpace(deck::HtmlToText("a<br>b")));
}

} // namespace
