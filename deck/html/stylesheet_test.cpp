// What a note type's stylesheet hides of a card, as SeenText shows it in Anki's <body
// class="card card1">.
#include "deck/html/mediaquery.h"
#include "deck/html/stylesheet.h"
#include "deck/html/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Stylesheet, HidesWhatItsRulesHideOnADesktopScreen) {
    const std::string card = "<div class=\"front\">Q <span class=\"hint small\">h</span></div>"
                             "<div id=\"hint\">I</div><ul><li>a<li class=\"x\">b</ul>"
                             "<p>P <b>B</b><em class=\"hint\" style=\"display: inline\">E</em></p>";
    const char* all = "|Q h|I|a|b|P BE|";
    struct Case {
        const char* css;
        const char* seen; // the card's text, each run of breaks as one '|'
    } cases[] = {
        {"", all},
        // An element's own style wins over a rule, unless the rule is !important.
        {".hint { display: none }", "|Q |I|a|b|P BE|"},
        {".hint { display: none !important }", "|Q |I|a|b|P B|"},
        {"#hint { visibility: hidden; color: red }", "|Q h|a|b|P BE|"},
        {"B { display:none }", "|Q h|I|a|b|P E|"},
        {"span.small.hint { display: none }", "|Q |I|a|b|P BE|"},
        {"div.hint, p.hint, span.big, .Hint { display: none }", all},
        // The body is <body class="card card1"> in day mode on a desktop.
        {".card1 .front .hint, ul > .x { display: none }", "|Q |I|a|P BE|"},
        {".card1 > .front > .hint, body > #hint.x { display: none }", "|Q |I|a|b|P BE|"},
        {"* { visibility: hidden }", ""},
        {".card2 .hint, div > .x, .mobile #hint, .nightMode p, html > div { display: none }", all},
        {"p b { display: none } li { display: none }", "|Q h|I|P E|"},
        // The cascade: !important, then the more specific, then the later rule.
        {"li { display: none } .x { display: list-item }", "|Q h|I|b|P BE|"},
        {".x { display: block } li { display: none }", "|Q h|I|b|P BE|"},
        {"li.x { display: none } .x { display: block }", "|Q h|I|a|P BE|"},
        {"li { display: none } li { display: list-item }", all},
        {"li { display: none !important } #a, .x { display: block }", "|Q h|I|P BE|"},
        {"#hint { display: none } div { display: block !important }", all},
        // Media queries that hold for a desktop screen, and those that do not.
        {"@media screen and (min-width: 600px) { #hint { display: none } }", "|Q h|a|b|P BE|"},
        {"@media (max-width: 480px), print, (hover: none), (pointer: coarse) "
         "{ #hint { display: none } }",
         all},
        {"@media not print { b { display: none } } @media (min-width: 40em) and "
         "(orientation: portrait) { #hint { display: none } }",
         "|Q h|I|a|b|P E|"},
        // What is left out: comments, other at-rules, selectors a browser alone decides.
        {"/* #hint { display: none } */ @font-face { src: url(x.ttf) } @import 'a.css';"
         " b { display: none }",
         "|Q h|I|a|b|P E|"},
        {"li:first-child, .front:hover .hint, [id=hint], .front + div { display: none }", all},
        {"#hint { color: gray; display: flex } .hint { opacity: 0 }", all},
        // Text that is not CSS hides nothing it did not close.
        {"#hint { display: none", all},
        {"}} ;@media {{ b { display: none }", all},
    };
    for (const Case& c : cases) {
        const deck::html::Stylesheet sheet(c.css);
        std::string out;
        deck::html::SeenText(card, &out, {&sheet, "card card1"});
        std::string seen;
        for (char ch : out) {
            if (ch != deck::html::seen::kBreak) {
                seen += ch;
            } else if (seen.empty() || seen.back() != '|') {
                seen += '|';
            }
        }
        EXPECT_EQ(seen, c.seen) << c.css;
    }
}

// Anki's desktop: a screen of 1280 by 800 px, a mouse, the light colour scheme.
TEST(MediaHolds, HoldsForADesktopScreen) {
    const struct {
        const char* query;
        bool holds;
    } cases[] = {
        {"screen", true},
        {"ALL and (min-width: 600px)", true},
        {"only screen and (min-width:768px) and (max-width: 1400px)", true},
        {"(min-width: 40em)", true},
        {"(max-width: 480px)", false},
        {"screen and (max-device-width: 800px)", false},
        {"print", false},
        {"not print", true},
        {"not screen and (hover: hover)", false},
        {"(hover: none), (pointer: coarse)", false},
        {"(max-width: 480px), (hover: hover)", true},
        {"(orientation: portrait)", false},
        {"(prefers-color-scheme: dark)", false},
        {"(-webkit-min-device-pixel-ratio: 2)", false},
        // What cannot be read does not hold, negated or not.
        {"(width >= 600px)", false},
        {"not (min-resolution: 2dppx)", false},
        {"screen and (min-width: 600px", false},
        {"screen or print", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(deck::html::MediaHolds(c.query), c.holds) << c.query;
    }
}

} // namespace
