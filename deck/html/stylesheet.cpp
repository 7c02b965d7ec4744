// A stylesheet's display and visibility rules: a scan of the text that keeps to the structure of
// CSS (strings, parentheses, braces) without tokenizing all of it, since only a few selectors
// and two properties matter, and the matching of those rules against an element and its open
// ancestors.
#include "deck/html/stylesheet.h"

#include "deck/html/elements.h"
#include "deck/html/mediaquery.h"
#include "deck/base/strings.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace deck::html {

namespace {

// An @media inside an @media inside ... this deep is left out, so that no text exhausts the
// stack.
constexpr int kMaxNesting = 8;
// A selector of more compounds than this, or a compound of more classes, is left out: none is
// written by hand, and it keeps matching cheap.
constexpr size_t kMaxCompounds = 32;
constexpr size_t kMaxClasses = 16;
// How far up a descendant combinator looks for its ancestor.
constexpr size_t kMaxAncestors = 256;

// The position after the string that starts at text[at] (a quote), or text.size().
size_t AfterString(std::string_view text, size_t at) {
    const char quote = text[at];
    for (size_t p = at + 1; p < text.size(); ++p) {
        if (text[p] == '\\') {
            ++p;
        } else if (text[p] == quote) {
            return p + 1;
        }
    }
    return text.size();
}

// The text with its comments made spaces (a "/*" inside a string is no comment).
std::string WithoutComments(std::string_view css) {
    std::string out;
    out.reserve(css.size());
    for (size_t p = 0; p < css.size();) {
        if (css[p] == '"' || css[p] == '\'') {
            size_t end = AfterString(css, p);
            out.append(css, p, end - p);
            p = end;
        } else if (css.compare(p, 2, "/*") == 0) {
            size_t end = css.find("*/", p + 2);
            out += ' ';
            p = end == std::string_view::npos ? css.size() : end + 2;
        } else {
            out += css[p++];
        }
    }
    return out;
}

// The first of `stops` at or after `from` outside strings and parentheses, or npos.
size_t FindOutside(std::string_view text, size_t from, std::string_view stops) {
    int parens = 0;
    for (size_t p = from; p < text.size(); ++p) {
        const char c = text[p];
        if (c == '"' || c == '\'') {
            p = AfterString(text, p) - 1;
        } else if (c == '(' || c == '[') {
            ++parens;
        } else if ((c == ')' || c == ']') && parens > 0) {
            --parens;
        } else if (parens == 0 && stops.find(c) != std::string_view::npos) {
            return p;
        }
    }
    return std::string_view::npos;
}

// The '}' that closes the '{' at text[open], or npos when the text ends first.
size_t ClosingBrace(std::string_view text, size_t open) {
    int depth = 0;
    for (size_t p = open; p < text.size(); ++p) {
        const char c = text[p];
        if (c == '"' || c == '\'') {
            p = AfterString(text, p) - 1;
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            return p;
        }
    }
    return std::string_view::npos;
}

// Calls `each` with the parts of `text` between the separators `sep` outside strings and
// parentheses.
template <typename Each> void Split(std::string_view text, char sep, Each each) {
    const char stops[] = {sep, '\0'};
    for (size_t from = 0; from <= text.size();) {
        size_t end = std::min(FindOutside(text, from, std::string_view(stops, 1)), text.size());
        each(text.substr(from, end - from));
        from = end + 1;
    }
}

// A declaration of display or visibility: 0 not set, 1 shows, 2 hides.
struct Declared {
    int state = 0;
    bool important = false;
};

// The display and visibility that a declaration block (a rule's, or a style attribute) sets:
// in a block, a later declaration wins over an earlier one unless only the earlier is
// !important.
void ReadDeclarations(std::string_view block, Declared* display, Declared* visibility) {
    Split(block, ';', [&](std::string_view declaration) {
        size_t colon = declaration.find(':');
        if (colon == std::string_view::npos || declaration.find('{') != std::string_view::npos) {
            return; // no declaration, or a nested rule
        }
        std::string name = AsciiLower(TrimAsciiWhitespace(declaration.substr(0, colon)));
        Declared* property = name == "display"      ? display
                             : name == "visibility" ? visibility
                                                    : nullptr;
        if (property == nullptr) {
            return;
        }
        std::string value = AsciiLower(TrimAsciiWhitespace(declaration.substr(colon + 1)));
        bool important = false;
        size_t bang = value.rfind('!');
        if (bang != std::string::npos &&
            TrimAsciiWhitespace(std::string_view(value).substr(bang + 1)) == "important") {
            important = true;
            value = std::string(TrimAsciiWhitespace(std::string_view(value).substr(0, bang)));
        }
        // A custom property's value is known only to a browser.
        if (value.empty() || value.find("var(") != std::string::npos ||
            (property->important && !important)) {
            return;
        }
        const bool hides =
            property == display ? value == "none" : value == "hidden" || value == "collapse";
        *property = {hides ? 2 : 1, important};
    });
}

bool HasClass(std::string_view classes, std::string_view name) {
    for (size_t p = 0; p < classes.size();) {
        while (p < classes.size() && IsAsciiWhitespace(classes[p])) {
            ++p;
        }
        size_t end = p;
        while (end < classes.size() && !IsAsciiWhitespace(classes[end])) {
            ++end;
        }
        if (classes.substr(p, end - p) == name) {
            return true;
        }
        p = end;
    }
    return false;
}

// The outcome of matching a selector from one of its compounds on: a match; no match here, but
// perhaps with a farther ancestor for a compound after a descendant combinator; or no match
// with any ancestor. The last cuts the search short, so that matching stays linear in the
// ancestors.
enum class Match { kYes, kRetry, kNever };

} // namespace

// What Stylesheet keeps of a rule, and how it reads and matches its selectors.
struct StylesheetReader {
    using Compound = Stylesheet::Compound;
    using Rule = Stylesheet::Rule;

    // A selector's compounds, outermost first; false for a selector that never matches here.
    static bool ReadSelector(std::string_view text, Rule* rule) {
        std::vector<Compound>& out = rule->selector;
        Compound current;
        bool started = false, child = false;
        unsigned ids = 0, classes = 0, names = 0;
        for (size_t p = 0; p < text.size();) {
            const char c = text[p];
            if (IsAsciiWhitespace(c) || c == '>') {
                if (started) {
                    out.push_back(std::move(current));
                    current = Compound();
                    started = false;
                }
                if (c == '>') {
                    if (out.empty() || child) {
                        return false;
                    }
                    child = true;
                }
                ++p;
                continue;
            }
            if (!started) {
                current.child = child;
                child = false;
            }
            if (c == '*' && !started) {
                started = true;
                ++p;
                continue;
            }
            const bool id = c == '#', cls = c == '.';
            if ((!id && !cls && (started || !IsCssNameChar(c)))) {
                return false; // :pseudo, [attribute], + ~ |, an escape, ...
            }
            size_t from = id || cls ? p + 1 : p, end = from;
            while (end < text.size() && IsCssNameChar(text[end])) {
                ++end;
            }
            std::string_view name = text.substr(from, end - from);
            if (name.empty()) {
                return false;
            }
            if (id) {
                if (!current.id.empty() && current.id != name) {
                    return false;
                }
                current.id = std::string(name);
                ++ids;
            } else if (cls) {
                if (current.classes.size() >= kMaxClasses) {
                    return false;
                }
                current.classes.emplace_back(name);
                ++classes;
            } else {
                current.name = AsciiLower(name);
                ++names;
            }
            started = true;
            p = end;
        }
        if (started) {
            out.push_back(std::move(current));
        }
        if (out.empty() || child || out.size() > kMaxCompounds) {
            return false;
        }
        rule->specificity =
            std::min(ids, 255u) << 16 | std::min(classes, 255u) << 8 | std::min(names, 255u);
        return true;
    }

    // The rules of a list of rules and at-rules, appended to *rules.
    static void Read(std::string_view css, int nesting, std::vector<Rule>* rules) {
        for (size_t p = 0; p < css.size();) {
            if (IsAsciiWhitespace(css[p]) || css[p] == '}' || css[p] == ';') {
                ++p; // between rules, or a stray closing brace
                continue;
            }
            const bool at_rule = css[p] == '@';
            size_t open = FindOutside(css, p, at_rule ? "{;" : "{");
            if (open == std::string_view::npos) {
                return; // cut off
            }
            std::string_view prelude = css.substr(p, open - p);
            if (css[open] == ';') {
                p = open + 1; // @import, @charset, @namespace
                continue;
            }
            size_t close = ClosingBrace(css, open);
            if (close == std::string_view::npos) {
                return; // a block cut off by the end is left out
            }
            std::string_view block = css.substr(open + 1, close - open - 1);
            p = close + 1;
            if (at_rule) {
                prelude.remove_prefix(1);
                size_t name_end = 0;
                while (name_end < prelude.size() && IsCssNameChar(prelude[name_end])) {
                    ++name_end;
                }
                if (nesting < kMaxNesting && AsciiLower(prelude.substr(0, name_end)) == "media" &&
                    MediaHolds(prelude.substr(name_end))) {
                    Read(block, nesting + 1, rules);
                }
                continue;
            }
            Declared display, visibility;
            ReadDeclarations(block, &display, &visibility);
            if (display.state == 0 && visibility.state == 0) {
                continue;
            }
            Split(prelude, ',', [&](std::string_view selector) {
                Rule rule;
                rule.display = display.state;
                rule.display_important = display.important;
                rule.visibility = visibility.state;
                rule.visibility_important = visibility.important;
                if (ReadSelector(TrimAsciiWhitespace(selector), &rule)) {
                    rules->push_back(std::move(rule));
                }
            });
        }
    }

    static bool Matches(const Compound& compound, const StyledElement& element) {
        if (!compound.name.empty() && !EqualNoCase(element.name, compound.name)) {
            return false;
        }
        if (!compound.id.empty() && element.id != compound.id) {
            return false;
        }
        for (const std::string& name : compound.classes) {
            if (!HasClass(element.classes, name)) {
                return false;
            }
        }
        return true;
    }

    // Compounds 0 .. k of `selector`, with compound k on chain[at].
    static Match MatchFrom(const std::vector<Compound>& selector, size_t k,
                           const StyledElement* chain, size_t at) {
        if (!Matches(selector[k], chain[at])) {
            return Match::kRetry;
        }
        if (k == 0) {
            return Match::kYes;
        }
        if (selector[k].child) {
            if (at == 0) {
                return Match::kNever;
            }
            // A parent that does not match sends the search back to the nearest descendant
            // combinator, whose compound may match a farther ancestor.
            return MatchFrom(selector, k - 1, chain, at - 1);
        }
        // Real HTML is never this deep; the bound keeps a text of thousands of unclosed
        // elements linear.
        for (size_t ancestor = at; ancestor-- > 0 && at - ancestor <= kMaxAncestors;) {
            Match found = MatchFrom(selector, k - 1, chain, ancestor);
            if (found != Match::kRetry) {
                return found;
            }
        }
        return Match::kNever;
    }
};

Stylesheet::Stylesheet(std::string_view css) {
    StylesheetReader::Read(WithoutComments(css), 0, &rules_);
    // Rules that only show matter only against rules that hide.
    const bool any_hides = std::any_of(rules_.begin(), rules_.end(), [](const Rule& rule) {
        return rule.display == 2 || rule.visibility == 2;
    });
    if (!any_hides) {
        rules_.clear();
    }
}

bool Stylesheet::Hides(const StyledElement* chain, size_t size) const {
    if (size == 0) {
        return false;
    }
    const StyledElement& element = chain[size - 1];
    // The winner for each property so far: its state, and (important, specificity) as one key;
    // a later rule of an equal key wins.
    int display = 0, visibility = 0;
    uint64_t display_key = 0, visibility_key = 0;
    for (const Rule& rule : rules_) {
        const uint64_t d_key = uint64_t{rule.display_important} << 32 | rule.specificity;
        const uint64_t v_key = uint64_t{rule.visibility_important} << 32 | rule.specificity;
        const bool for_display = rule.display != 0 && (display == 0 || d_key >= display_key);
        const bool for_visibility =
            rule.visibility != 0 && (visibility == 0 || v_key >= visibility_key);
        if ((!for_display && !for_visibility) ||
            StylesheetReader::MatchFrom(rule.selector, rule.selector.size() - 1, chain, size - 1) !=
                Match::kYes) {
            continue;
        }
        if (for_display) {
            display = rule.display;
            display_key = d_key;
        }
        if (for_visibility) {
            visibility = rule.visibility;
            visibility_key = v_key;
        }
    }
    if (!element.style.empty()) {
        Declared own_display, own_visibility;
        ReadDeclarations(element.style, &own_display, &own_visibility);
        const uint64_t important = uint64_t{1} << 32;
        if (own_display.state != 0 && (own_display.important || display_key < important)) {
            display = own_display.state;
        }
        if (own_visibility.state != 0 && (own_visibility.important || visibility_key < important)) {
            visibility = own_visibility.state;
        }
    }
    return display == 2 || visibility == 2;
}

} // namespace deck::html
