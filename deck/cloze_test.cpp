// Anki's cloze rules, the same for a text import's field and for card 1 of a package's note.
#include "deck/cardtext.h"
#include "deck/cloze.h"

#include <gtest/gtest.h>

namespace {

TEST(Cloze, TextImportsAndPackagesShowTheSameSides) {
    struct Case {
        const char* text;
        const char* question; // "" when the text holds no gap
        const char* answer;
    } cases[] = {
        {"{{c1::a {{c2::b}} c}} d", "[...] d", "a b c d"},
        {"{{c1::Paris::city}} is big", "[city] is big", "Paris is big"},
        {"{{c1::a {{c2::b}}::hint}}!", "[hint]!", "a b!"},
        {"{{c1::a}} and {{c1::b}}", "[...] and [...]", "a and b"},
        {"<b>{{c1::x</b> y}} z", "<b>[...] z", "<b>x</b> y z"},
        {"{{c1::a::}} b", "[...] b", "a b"},
        {"{{c1::open {{c1::shut}}", "{{c1::open [...]", "{{c1::open shut"},
        {"plain {{c1:x}} {{c::y}} {c1::z}", "", ""},
        {"{{c1::unclosed", "", ""},
    };
    for (const Case& c : cases) {
        const bool gap = *c.question != '\0';
        std::string question, answer;
        EXPECT_EQ(deck::ApplyCloze(c.text, &question, &answer), gap) << c.text;
        EXPECT_EQ(question, gap ? c.question : c.text) << "text import: " << c.text;
        EXPECT_EQ(answer, gap ? c.answer : c.text) << "text import: " << c.text;
        EXPECT_EQ(deck::RevealCloze(c.text, 1, true), c.question) << "package: " << c.text;
        EXPECT_EQ(deck::RevealCloze(c.text, 1, false), c.answer) << "package: " << c.text;
    }
}

} // namespace
