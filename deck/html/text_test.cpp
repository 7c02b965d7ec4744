// What SeenText makes of markup that a person sees, and that no field can make a mark.
#include "deck/html/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The marks written as letters in brackets, so that a row reads as the text it expects.
std::string Visible(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case deck::html::seen::kBreak:
            out += "[br]";
            break;
        case deck::html::seen::kAnswer:
            out += "[answer]";
            break;
        case deck::html::seen::kPicture:
            out += "[picture]";
            break;
        case deck::html::seen::kSound:
            out += "[sound]";
            break;
        case deck::html::seen::kTypedOpen:
            out += "[typed]";
            break;
        case deck::html::seen::kTypedClose:
            out += "[/typed]";
            break;
        default:
            out += static_cast<unsigned char>(c) < 0x20 ? "[control]" : std::string(1, c);
        }
    }
    return out;
}

TEST(SeenText, ControlCharactersOfTheInputNeverBecomeMarks) {
    struct Case {
        const char* html;
        const char* seen;
    } cases[] = {
        {"a&#2;b", "a b"},
        {"a&#x1;b", "a b"},
        {"a&#X02;b&#3;c&#4;d&#5;e&#6;f", "a b c d e f"},
        {"a&#127;b&#x7f;c", "a b c"},
        {"a\x01"
         "b\x02"
         "c\x7f"
         "d",
         "a b c d"},
        {"a&#0;b", "a\xEF\xBF\xBD"
                   "b"}, // NUL is U+FFFD, as HTML repairs it
        {"a&#150;b", "a\xE2\x80\x93"
                     "b"}, // Windows-1252's en dash, not a C1 control
        // The marks that the markup itself makes stay.
        {"q<hr id=answer>a", "q[br][answer]a"},
        {"a<br>b<div>c</div>", "a[br]b[br]c[br]"},
        {"<img src=x.png>&#3;", "[picture] "},
        {"a<span style=\"display:none\">&#2;</span>b", "ab"},
    };
    for (const Case& c : cases) {
        std::string out;
        deck::html::SeenText(c.html, &out);
        EXPECT_EQ(Visible(out), c.seen) << c.html;
    }
}

} // namespace
