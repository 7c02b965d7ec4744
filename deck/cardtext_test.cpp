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

// A late gap stays in view: both sides begin with "…" at the same word, the gap and some text
// after it within the cut.
TEST(CardText, ALateClozeGapStaysInView) {
    auto words = [](int n, const char* word) {
        std::string text;
        for (int i = 0; i < n; ++i) {
            text += std::string(word) + std::to_string(i) + " ";
        }
        return text;
    };
    const std::string tail = "after the gap " + words(30, "t");
    struct Case {
        std::string before; // the text before the gap
        const char* gap;    // as the question shows it
        bool windowed;
    } cases[] = {
        {words(150, "w"), "[...]", true},      // past the cut
        {words(118, "w"), "[city]", true},     // inside it, with no room for text after it
        {words(20, "w"), "[...]", false},      // early: the ordinary cut keeps it
        {words(150, "日本"), "[...]", true},   // three units a word
        {std::string(800, 'x'), "[...]", true} // no space to begin at
    };
    for (const Case& c : cases) {
        std::string question = c.before + c.gap + " " + tail;
        std::string answer = c.before + "Paris " + tail;
        ASSERT_EQ(deck::WindowAroundGap(&question, &answer, 511), c.windowed) << c.before;
        deck::CutAtWord(&question, 511);
        deck::CutAtWord(&answer, 511);
        EXPECT_LE(deck::Utf16Units(question), 511u);
        const size_t gap = question.find(c.gap);
        ASSERT_NE(gap, std::string::npos) << question;
        EXPECT_NE(question.find("after the", gap), std::string::npos) << question;
        EXPECT_EQ(question.substr(0, gap), answer.substr(0, gap));
        EXPECT_EQ(answer.compare(gap, 6, "Paris "), 0) << answer;
        EXPECT_EQ(question.rfind("\xE2\x80\xA6", 0) == 0, c.windowed) << question;
        if (c.windowed) {
            EXPECT_GT(deck::Utf16Units(question.substr(0, gap)), 300u) << "keeps the text before";
        }
    }
}
