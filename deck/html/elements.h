// What the HTML reader (text.cpp) knows of elements: which break a line, which hide what
// they hold, which show a picture or play a sound, which HTML closes without an end tag; and
// whether a style attribute hides its element.
#pragma once

#include <string_view>

namespace deck::html {

enum Kind : unsigned {
    kBlock = 1,      // its edges break the line
    kVoid = 2,       // has no end tag
    kRaw = 4,        // holds raw text up to its end tag, never shown
    kHides = 8,      // nothing inside it shows
    kPicture = 16,   // shows a picture
    kSound = 32,     // plays a sound
    kClosesP = 64,   // its start tag closes an open <p>
    kScopeEdge = 128 // the search for an element to close stops here
};

constexpr int kOther = -1; // an element of another name than those the reader knows

// The number of an element's name (in lower case), or kOther.
int IdOf(std::string_view name);
// What the element of a number is (0 for kOther), and its name.
unsigned KindOf(int id);
std::string_view NameOf(int id);

// The elements that the reader treats by name.
struct Named {
    int p = IdOf("p"), li = IdOf("li"), dt = IdOf("dt"), dd = IdOf("dd"), td = IdOf("td"),
        th = IdOf("th"), tr = IdOf("tr"), table = IdOf("table"), ul = IdOf("ul"), ol = IdOf("ol"),
        dl = IdOf("dl"), option = IdOf("option"), optgroup = IdOf("optgroup"),
        select = IdOf("select"), rt = IdOf("rt"), rp = IdOf("rp"), ruby = IdOf("ruby"),
        code = IdOf("code"), details = IdOf("details"), summary = IdOf("summary"),
        svg = IdOf("svg"), math = IdOf("math"), br = IdOf("br");
};
const Named& Names();

// True when the texts are equal with the letters A to Z of `text` taken in lower case.
bool EqualNoCase(std::string_view text, std::string_view lower);

// True when a style attribute's last display is none, or its last visibility hidden (or
// collapse).
bool StyleHides(std::string_view style);

} // namespace deck::html
