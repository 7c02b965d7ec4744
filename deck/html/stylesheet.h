// The part of a stylesheet that decides whether an element shows: its rules that set display
// or visibility, read once (a note type's CSS, for all of its cards), and matched against the
// elements SeenText (text.h) meets.
//
// What counts: rules whose selectors are made of element names, classes, ids and `*`,
// compounds of those (div.hint#x), joined by descendant (.card .extra) or child (ul > li)
// combinators, each selector of a list on its own. A selector with anything else (a pseudo-class
// such as :hover, a pseudo-element, an attribute selector, the + and ~ combinators, escapes) never
// matches: the rule cannot be decided without a browser, and an element it leaves alone shows.
// Rules inside @media count when the query holds for a desktop screen (mediaquery.h); every other
// at-rule (@font-face, @import, @supports, @keyframes, ...) and comments are left out.
//
// Of the rules that match an element, the declaration of display and that of visibility that
// win are found as a browser finds them: !important first, then the more specific selector,
// then the later rule; the element's own style attribute wins over every rule that is not
// !important. The element is hidden when the winning display is none or the winning
// visibility hidden (or collapse). A hidden element hides everything inside it, as an inline
// hidden one does (visibility: visible inside it is not looked at).
//
// A text that does not parse as CSS yields fewer rules, never an error: what is cut off or
// unbalanced is left out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace deck::html {

// An element as the rules see it: views of its start tag.
struct StyledElement {
    std::string_view name;    // as written; compared without case
    std::string_view id;      // the id attribute
    std::string_view classes; // the class attribute, names separated by white space
    std::string_view style;   // the style attribute
};

class Stylesheet {
public:
    Stylesheet() = default;
    explicit Stylesheet(std::string_view css);

    // True when no rule can hide an element (no rule hides, or the text held none).
    bool Empty() const { return rules_.empty(); }

    // True when the rules (and its own style attribute) hide chain[size - 1], whose open
    // ancestors are chain[0 .. size - 2], outermost first.
    bool Hides(const StyledElement* chain, size_t size) const;

private:
    friend struct StylesheetReader;
    struct Compound {
        std::string name; // lower case; "" for any element
        std::string id;
        std::vector<std::string> classes;
        bool child = false; // joined to the compound before it by '>' rather than a space
    };
    struct Rule {
        std::vector<Compound> selector; // outermost first
        unsigned specificity = 0;
        // For display and for visibility: 0 not set, 1 shows, 2 hides; and !important.
        int display = 0, visibility = 0;
        bool display_important = false, visibility_important = false;
    };
    std::vector<Rule> rules_; // in the stylesheet's order
};

} // namespace deck::html
