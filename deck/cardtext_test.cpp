// The card-text rules one field at a time: HTML to text, clozes, white space, unit counts,
// and the detection of HTML.
#include "deck/cards.h"
#include "deck/cardtext.h"
#include "deck/base/utf.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

using deck::CleanWhiteSpace;
using deck::HtmlToText;

std::string Shown(const std::string& html) {
    return CleanWhiteSpace(deck::DropSoundTags(HtmlToText(html)));
}

TEST(CardText, HtmlBecomesText) {
    EXPECT_EQ("a b", Shown("a<br>b"));
    EXPECT_EQ("one two three", Shown("<div>one</div><p>two</p><div><b>thr</b>ee</div>"));
    EXPECT_EQ("x & y < z \xC3\xA9 A \xE2\x82\xAC", Shown("x &amp; y &lt; z &#233; &#x41; &euro;"));
    EXPECT_EQ("a b", Shown("a&nbsp;&nbsp;&nbsp;b"));
    EXPECT_EQ("kept", Shown("<img src=\"x.png\">kept<script>bad()</script><style>p{}</style>"));
    EXPECT_EQ("word", Shown("[sound:x.mp3]word[sound:y.ogg]"));
    EXPECT_EQ("unclosed bold", Shown("<b>unclosed <i>bold"));
    EXPECT_EQ("a < b", Shown("a < b"));
}

TEST(CardText, ClozeQuestionAndAnswerSides) {
    std::string q, a;
    ASSERT_TRUE(deck::ApplyCloze("{{c1::Paris::city}} and {{c2::Rome}}", &q, &a));
    EXPECT_EQ("[city] and [...]", q);
    EXPECT_EQ("Paris and Rome", a);
    ASSERT_TRUE(deck::ApplyCloze("x {{c12::<b>y</b>}} z", &q, &a));
    EXPECT_EQ("x [...] z", q);
    EXPECT_EQ("x <b>y</b> z", a);
    // Not clozes: no number, no closing braces, plain braces.
    for (const char* text : {"{{c::x}}", "{{c1::open", "{{x}}", "{c1::x}"}) {
        EXPECT_FALSE(deck::ApplyCloze(text, &q, &a)) << text;
        EXPECT_EQ(text, q);
        EXPECT_EQ(text, a);
    }
}

TEST(CardText, WhiteSpaceAndUnits) {
    EXPECT_EQ("a b c", CleanWhiteSpace("  a\t\tb\r\n c \n"));
    EXPECT_EQ("a b", CleanWhiteSpace(std::string("a\0b", 3)));
    EXPECT_EQ("a b", CleanWhiteSpace("a\xC2\xA0\x01 b"));
    EXPECT_EQ("", CleanWhiteSpace(" \t "));
    EXPECT_EQ("\xC3\xA9t\xC3\xA9", CleanWhiteSpace("\xC3\xA9t\xC3\xA9"));
    EXPECT_EQ(0u, deck::Utf16Units(""));
    EXPECT_EQ(3u, deck::Utf16Units("a\xC3\xA9\xE6\x97\xA5"));
    EXPECT_EQ(3u, deck::Utf16Units("a\xF0\x9F\x98\x80")); // an astral character is two units
}

TEST(CardText, WhatLooksLikeHtml) {
    for (const char* yes : {"<b>x</b>", "a<br>b", "<div class=\"x\">", "AT&amp;T", "&#233;"}) {
        EXPECT_TRUE(deck::LooksLikeHtml(yes, strlen(yes))) << yes;
    }
    for (const char* no : {"a < b", "AT&T", "x <= y", "5 > 3", "& ;"}) {
        EXPECT_FALSE(deck::LooksLikeHtml(no, strlen(no))) << no;
    }
}

} // namespace
