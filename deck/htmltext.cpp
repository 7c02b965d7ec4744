// HTML as a person sees it: one pass over the text with a stack of the open elements, which
// knows the few rules that decide what shows (hidden elements, raw text, closed <details>,
// ruby) and closes the elements that HTML closes without an end tag (<p>, <li>, <td>, <rt>,
// ...). It builds no tree: a card's side is read in about a microsecond, where a full HTML
// parser took thirteen (docs/importing.md).
#include "deck/htmltext.h"

#include "deck/htmlentities.h"

#include <string.h>

#include <algorithm>
#include <vector>

namespace deck {

namespace {

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

struct Element {
    const char* name;
    unsigned kind;
};

// Sorted by name.
const Element kElements[] = {
    {"address", kBlock | kClosesP},
    {"article", kBlock | kClosesP},
    {"aside", kBlock | kClosesP},
    {"audio", kSound | kHides},
    {"blockquote", kBlock | kClosesP},
    {"br", kBlock | kVoid},
    {"button", kHides | kScopeEdge},
    {"canvas", kPicture | kHides},
    {"caption", kBlock | kScopeEdge},
    {"center", kBlock | kClosesP},
    {"dd", kBlock | kClosesP},
    {"details", kBlock | kClosesP},
    {"dialog", kBlock | kClosesP},
    {"div", kBlock | kClosesP},
    {"dl", kBlock | kClosesP},
    {"dt", kBlock | kClosesP},
    {"embed", kPicture | kVoid},
    {"fieldset", kBlock | kClosesP},
    {"figcaption", kBlock | kClosesP},
    {"figure", kBlock | kClosesP},
    {"footer", kBlock | kClosesP},
    {"form", kBlock | kClosesP},
    {"h1", kBlock | kClosesP},
    {"h2", kBlock | kClosesP},
    {"h3", kBlock | kClosesP},
    {"h4", kBlock | kClosesP},
    {"h5", kBlock | kClosesP},
    {"h6", kBlock | kClosesP},
    {"header", kBlock | kClosesP},
    {"hgroup", kBlock | kClosesP},
    {"hr", kBlock | kVoid | kClosesP},
    {"iframe", kRaw},
    {"img", kPicture | kVoid},
    {"input", kVoid | kHides},
    {"keygen", kVoid | kHides},
    {"li", kBlock | kClosesP},
    {"link", kVoid},
    {"main", kBlock | kClosesP},
    {"meta", kVoid},
    {"meter", kHides},
    {"nav", kBlock | kClosesP},
    {"noembed", kRaw},
    {"noframes", kRaw},
    {"noscript", kRaw},
    {"object", kPicture | kHides},
    {"ol", kBlock | kClosesP},
    {"p", kBlock | kClosesP},
    {"param", kVoid},
    {"pre", kBlock | kClosesP},
    {"progress", kHides},
    {"rp", kHides},
    {"script", kRaw},
    {"section", kBlock | kClosesP},
    {"select", kHides},
    {"source", kVoid},
    {"style", kRaw},
    {"summary", kBlock | kClosesP},
    {"svg", kPicture | kHides},
    {"table", kBlock | kClosesP | kScopeEdge},
    {"td", kBlock | kScopeEdge},
    {"template", kHides},
    {"textarea", kRaw},
    {"th", kBlock | kScopeEdge},
    {"title", kRaw},
    {"tr", kBlock},
    {"track", kVoid},
    {"ul", kBlock | kClosesP},
    {"video", kPicture | kHides},
    {"wbr", kVoid},
    {"xmp", kRaw},
};

unsigned KindOf(const std::string& name) {
    auto less = [](const Element& e, const std::string& key) {
        return strcmp(e.name, key.c_str()) < 0;
    };
    const Element* end = std::end(kElements);
    const Element* it = std::lower_bound(std::begin(kElements), end, name, less);
    return it != end && name == it->name ? it->kind : 0;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

std::string TrimLower(std::string_view text) {
    size_t from = 0, to = text.size();
    while (from < to && IsSpace(text[from])) {
        ++from;
    }
    while (to > from && IsSpace(text[to - 1])) {
        --to;
    }
    return Lower(text.substr(from, to - from));
}

// True when a style attribute's last display is none or its last visibility hidden.
bool StyleHides(std::string_view style) {
    bool display_none = false, invisible = false;
    size_t from = 0;
    while (from <= style.size()) {
        size_t end = std::min(style.find(';', from), style.size());
        std::string_view declaration = style.substr(from, end - from);
        size_t colon = declaration.find(':');
        if (colon != std::string_view::npos) {
            std::string name = TrimLower(declaration.substr(0, colon));
            std::string value = TrimLower(declaration.substr(colon + 1));
            size_t bang = value.find('!');
            if (bang != std::string::npos) {
                value = TrimLower(value.substr(0, bang));
            }
            if (name == "display") {
                display_none = value == "none";
            } else if (name == "visibility") {
                invisible = value == "hidden" || value == "collapse";
            }
        }
        from = end + 1;
    }
    return display_none || invisible;
}

// What a start tag says about the element.
struct Tag {
    std::string name;
    std::string id;
    bool hidden = false; // the hidden attribute, or a style that hides it
    bool open = false;   // the open attribute (of <details>)
    bool self_closing = false;
};

class Reader {
public:
    Reader(std::string_view html, std::string* out) : html_(html), out_(*out) {}

    void Run() {
        size_t p = 0;
        while (p < html_.size()) {
            size_t lt = html_.find('<', p);
            Text(p, lt == std::string_view::npos ? html_.size() : lt);
            if (lt == std::string_view::npos) {
                break;
            }
            p = Markup(lt);
        }
        while (!open_.empty()) {
            Pop();
        }
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    struct Open {
        std::string name;
        unsigned kind;
        bool hiding; // nothing inside shows
        bool shown;  // its start showed (its end marks show too)
        bool typed;  // Anki's <code id=typeans>
        bool closed; // a <details> without open: only its <summary> shows
    };

    bool Showing() const { return hiding_ == 0 && (open_.empty() || !open_.back().closed); }

    void Text(size_t from, size_t to) {
        if (!Showing()) {
            return;
        }
        for (size_t p = from; p < to; ++p) {
            char c = html_[p];
            size_t used = 0;
            if (c == '&' && (used = DecodeEntity(html_.substr(0, to), p, &out_)) != 0) {
                p += used - 1;
            } else {
                out_ += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
            }
        }
    }

    // The markup at html_[lt] ('<'); returns where the text goes on.
    size_t Markup(size_t lt) {
        const size_t n = html_.size();
        std::string_view rest = html_.substr(lt);
        if (rest.compare(0, 4, "<!--") == 0) {
            size_t end = html_.find("-->", lt + 4);
            return end == std::string_view::npos ? n : end + 3;
        }
        char next = lt + 1 < n ? html_[lt + 1] : '\0';
        if (next == '/' && lt + 2 < n && IsLetter(html_[lt + 2])) {
            Tag tag;
            size_t end = ReadTag(lt + 2, &tag);
            if (end == kNone) {
                return n;
            }
            End(tag.name);
            return end;
        }
        if (next == '!' || next == '?' || next == '/') {
            size_t end = html_.find('>', lt + 1);
            return end == std::string_view::npos ? n : end + 1;
        }
        if (!IsLetter(next)) {
            if (Showing()) {
                out_ += '<';
            }
            return lt + 1;
        }
        Tag tag;
        size_t end = ReadTag(lt + 1, &tag);
        if (end == kNone) {
            return n; // a tag cut off by the end of the text shows nothing
        }
        return Start(tag, end);
    }

    // Reads the name and attributes from html_[at]; returns the position after '>', or kNone
    // when the tag never closes.
    size_t ReadTag(size_t at, Tag* tag) {
        const size_t n = html_.size();
        size_t p = at;
        while (p < n && !IsSpace(html_[p]) && html_[p] != '/' && html_[p] != '>') {
            ++p;
        }
        tag->name = Lower(html_.substr(at, p - at));
        while (p < n) {
            while (p < n && (IsSpace(html_[p]) || html_[p] == '/')) {
                tag->self_closing = html_[p] == '/';
                ++p;
            }
            if (p >= n) {
                break;
            }
            if (html_[p] == '>') {
                return p + 1;
            }
            tag->self_closing = false;
            size_t name = p++;
            while (p < n && !IsSpace(html_[p]) && html_[p] != '/' && html_[p] != '>' &&
                   html_[p] != '=') {
                ++p;
            }
            std::string key = Lower(html_.substr(name, p - name));
            size_t q = p;
            while (q < n && IsSpace(html_[q])) {
                ++q;
            }
            std::string_view value;
            if (q < n && html_[q] == '=') {
                p = q + 1;
                while (p < n && IsSpace(html_[p])) {
                    ++p;
                }
                if (p < n && (html_[p] == '"' || html_[p] == '\'')) {
                    size_t close = html_.find(html_[p], p + 1);
                    if (close == std::string_view::npos) {
                        return kNone;
                    }
                    value = html_.substr(p + 1, close - p - 1);
                    p = close + 1;
                } else {
                    size_t from = p;
                    while (p < n && !IsSpace(html_[p]) && html_[p] != '>') {
                        ++p;
                    }
                    value = html_.substr(from, p - from);
                }
            }
            if (key == "id") {
                tag->id = std::string(value);
            } else if (key == "style") {
                tag->hidden |= StyleHides(value);
            } else if (key == "hidden") {
                tag->hidden = true;
            } else if (key == "open") {
                tag->open = true;
            }
        }
        return kNone;
    }

    size_t Start(const Tag& tag, size_t end) {
        const unsigned kind = KindOf(tag.name);
        CloseImplied(tag.name, kind);
        const bool in_closed = !open_.empty() && open_.back().closed && tag.name != "summary";
        const bool visible = hiding_ == 0 && !in_closed && !tag.hidden;
        if (visible) {
            if (kind & kPicture) {
                out_ += seen::kPicture;
            }
            if (kind & kSound) {
                out_ += seen::kSound;
            }
        }
        if (kind & kRaw) {
            return SkipRaw(tag.name, end);
        }
        const bool hiding = !visible || (kind & kHides);
        const bool shown = visible && !(kind & kHides);
        const bool typed = tag.name == "code" && tag.id == "typeans";
        if (shown) {
            if (kind & kBlock) {
                out_ += seen::kBreak;
            }
            if (tag.id == "answer") {
                out_ += seen::kAnswer;
            }
            if (tag.name == "rt") {
                out_ += '(';
            }
            if (typed) {
                out_ += seen::kTypedOpen;
            }
        }
        const bool foreign_void = tag.self_closing && (tag.name == "svg" || tag.name == "math");
        if ((kind & kVoid) || foreign_void) {
            return end;
        }
        open_.push_back({tag.name, kind, hiding, shown, typed, tag.name == "details" && !tag.open});
        hiding_ += hiding;
        return end;
    }

    // Skips a raw-text element's content and its end tag.
    size_t SkipRaw(const std::string& name, size_t from) {
        for (size_t p = html_.find("</", from); p != std::string_view::npos;
             p = html_.find("</", p + 2)) {
            size_t after = p + 2 + name.size();
            if (after <= html_.size() && Lower(html_.substr(p + 2, name.size())) == name &&
                (after == html_.size() || IsSpace(html_[after]) || html_[after] == '/' ||
                 html_[after] == '>')) {
                size_t close = html_.find('>', after);
                return close == std::string_view::npos ? html_.size() : close + 1;
            }
        }
        return html_.size();
    }

    void End(const std::string& name) {
        if (name == "br") {
            if (Showing()) {
                out_ += seen::kBreak; // </br> is a <br>
            }
            return;
        }
        size_t at = Find({name.c_str()}, 0);
        if (at == kNone) {
            if (name == "p" && Showing()) {
                out_ += seen::kBreak; // </p> without <p> is an empty paragraph
            }
            return;
        }
        PopTo(at);
    }

    // The elements whose start tag closes an open element: <p> by a block, <li> by <li>, ...
    void CloseImplied(const std::string& name, unsigned kind) {
        if (kind & kClosesP) {
            PopTo(Find({"p"}, kScopeEdge));
        }
        if (name == "li") {
            PopTo(Find({"li"}, kScopeEdge, {"ul", "ol"}));
        } else if (name == "dt" || name == "dd") {
            PopTo(Find({"dt", "dd"}, kScopeEdge, {"dl"}));
        } else if (name == "td" || name == "th") {
            PopTo(Find({"td", "th"}, 0, {"tr", "table"}));
        } else if (name == "tr") {
            PopTo(Find({"tr"}, 0, {"table"}));
        } else if (name == "option" || name == "optgroup") {
            PopTo(Find({"option"}, kScopeEdge, {"select"}));
        } else if (name == "rt" || name == "rp") {
            PopTo(Find({"rt", "rp"}, kScopeEdge, {"ruby"}));
        }
    }

    // How deep below the top a search for an open element goes: enough for any real HTML, and
    // it keeps a text of thousands of unclosed elements linear.
    static constexpr size_t kSearchDepth = 256;

    // The index of the nearest open element named one of `names`, searching down from the top
    // and stopping at an element of kind `edge` or named one of `stops`; kNone when there is
    // none.
    size_t Find(std::initializer_list<const char*> names, unsigned edge,
                std::initializer_list<const char*> stops = {}) const {
        size_t depth = 0;
        for (size_t i = open_.size(); i-- > 0 && depth++ < kSearchDepth;) {
            const std::string& open = open_[i].name;
            for (const char* name : names) {
                if (open == name) {
                    return i;
                }
            }
            if (open_[i].kind & edge) {
                return kNone;
            }
            for (const char* stop : stops) {
                if (open == stop) {
                    return kNone;
                }
            }
        }
        return kNone;
    }

    void PopTo(size_t at) {
        if (at == kNone) {
            return;
        }
        while (open_.size() > at) {
            Pop();
        }
    }

    void Pop() {
        const Open e = std::move(open_.back());
        open_.pop_back();
        hiding_ -= e.hiding;
        if (!e.shown) {
            return;
        }
        if (e.typed) {
            out_ += seen::kTypedClose;
        }
        if (e.name == "rt") {
            out_ += ')';
        }
        if (e.kind & kBlock) {
            out_ += seen::kBreak;
        }
    }

    std::string_view html_;
    std::string& out_;
    std::vector<Open> open_;
    size_t hiding_ = 0; // open elements that hide what they hold
};

} // namespace

void SeenText(std::string_view html, std::string* out) {
    Reader(html, out).Run();
}

} // namespace deck
