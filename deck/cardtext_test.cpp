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

TEST(CardText, HtmlBecomesTheTextAPersonSees) {
    const struct {
        const char* html;
        const char* text;
    } cases[] = {
        {"a<br>b", "a b"},
        {"<div>one</div><p>two</p><div><b>thr</b>ee</div>", "one two three"},
        {"x &amp; y &lt; z &#233; &#x41; &euro;", "x & y < z \xC3\xA9 A \xE2\x82\xAC"},
        {"a&nbsp;&nbsp;&nbsp;b", "a b"},
        // Names that browsers take without a semicolon, and the ones they do not.
        {"x&nbspy &ampz &notit &alpha &bogus; &#150;&#0;", "x y &z \xC2\xACit &alpha &bogus; "
                                                           "\xE2\x80\x93\xEF\xBF\xBD"},
        {"<img src=\"x.png\">kept<script>bad()</script><style>p{}</style>", "kept"},
        {"<script>a = '</scr' + 'ipt>';</script >after", "after"},
        {"[sound:x.mp3]word[sound:y.ogg]", "word"},
        {"<b>unclosed <i>bold", "unclosed bold"},
        {"a < b <!-- note --> c <!-- unclosed", "a < b c"},
        // Hidden by the element's own style or attribute, with everything inside it.
        {"<div style=\"color: red; DISPLAY : none !important\">x<b>y</b></div>z", "z"},
        {"<span style='visibility:hidden'>x</span><span style='display:none;display:block'>"
         "y</span><p hidden>z",
         "y"},
        {"<p style=\"display:none\">hidden<p>shown", "shown"},
        {"<button>Show</button><select><option>one</select><input value=v><textarea>t"
         "</textarea>text",
         "text"},
        {"<audio src=a.mp3>no audio</audio><video>no video</video><svg><text>s</text></svg>ok",
         "ok"},
        {"<details><summary>Misc.</summary>details</details><details open>open</details>",
         "Misc. open"},
        {"<ruby><rb>\xE7\xA7\x81</rb><rp>(</rp><rt>\xE3\x82\x8F</rt><rp>)</rp></ruby>",
         "\xE7\xA7\x81(\xE3\x82\x8F)"},
        {"<ruby>\xE6\xBC\xA2<rt>kan<rt>ji</ruby>", "\xE6\xBC\xA2(kan)(ji)"},
        {"<ul><li>one<li>two</ul>", "one two"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.text, Shown(c.html)) << c.html;
    }
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
