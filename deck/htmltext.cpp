// HTML as a person sees it: one pass over the text with a stack of the open elements, which
// knows the few rules that decide what shows (hidden elements, raw text, closed <details>,
// ruby) and closes the elements that HTML closes without an end tag (<p>, <li>, <td>, <rt>,
// ...). It builds no tree: a card's side is read in about a microsecond, where a full HTML
// parser took thirteen (docs/importing.md).
#include "deck/htmltext.h"

#include "deck/htmlentities.h"

#include <string.h>

#include <algorithm>
#include <array>
#include <iterator>
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
    std::string_view name;
    unsigned kind;
};

// Sorted by name: the elements whose names the reader knows, each by its place here.
const Element kElements[] = {
    {"a", 0},
    {"abbr", 0},
    {"address", kBlock | kClosesP},
    {"area", 0},
    {"article", kBlock | kClosesP},
    {"aside", kBlock | kClosesP},
    {"audio", kSound | kHides},
    {"b", 0},
    {"base", 0},
    {"bdi", 0},
    {"bdo", 0},
    {"big", 0},
    {"blockquote", kBlock | kClosesP},
    {"body", 0},
    {"br", kBlock | kVoid},
    {"button", kHides | kScopeEdge},
    {"canvas", kPicture | kHides},
    {"caption", kBlock | kScopeEdge},
    {"center", kBlock | kClosesP},
    {"cite", 0},
    {"code", 0},
    {"col", 0},
    {"colgroup", 0},
    {"data", 0},
    {"dd", kBlock | kClosesP},
    {"del", 0},
    {"details", kBlock | kClosesP},
    {"dfn", 0},
    {"dialog", kBlock | kClosesP},
    {"div", kBlock | kClosesP},
    {"dl", kBlock | kClosesP},
    {"dt", kBlock | kClosesP},
    {"em", 0},
    {"embed", kPicture | kVoid},
    {"fieldset", kBlock | kClosesP},
    {"figcaption", kBlock | kClosesP},
    {"figure", kBlock | kClosesP},
    {"font", 0},
    {"footer", kBlock | kClosesP},
    {"form", kBlock | kClosesP},
    {"h1", kBlock | kClosesP},
    {"h2", kBlock | kClosesP},
    {"h3", kBlock | kClosesP},
    {"h4", kBlock | kClosesP},
    {"h5", kBlock | kClosesP},
    {"h6", kBlock | kClosesP},
    {"head", 0},
    {"header", kBlock | kClosesP},
    {"hgroup", kBlock | kClosesP},
    {"hr", kBlock | kVoid | kClosesP},
    {"html", 0},
    {"i", 0},
    {"iframe", kRaw},
    {"img", kPicture | kVoid},
    {"input", kVoid | kHides},
    {"ins", 0},
    {"kbd", 0},
    {"keygen", kVoid | kHides},
    {"label", 0},
    {"li", kBlock | kClosesP},
    {"link", kVoid},
    {"main", kBlock | kClosesP},
    {"mark", 0},
    {"math", 0},
    {"meta", kVoid},
    {"meter", kHides},
    {"nav", kBlock | kClosesP},
    {"nobr", 0},
    {"noembed", kRaw},
    {"noframes", kRaw},
    {"noscript", kRaw},
    {"object", kPicture | kHides},
    {"ol", kBlock | kClosesP},
    {"optgroup", 0},
    {"option", 0},
    {"p", kBlock | kClosesP},
    {"param", kVoid},
    {"pre", kBlock | kClosesP},
    {"progress", kHides},
    {"q", 0},
    {"rb", 0},
    {"rp", kHides},
    {"rt", 0},
    {"rtc", 0},
    {"ruby", 0},
    {"s", 0},
    {"samp", 0},
    {"script", kRaw},
    {"section", kBlock | kClosesP},
    {"select", kHides},
    {"small", 0},
    {"source", kVoid},
    {"span", 0},
    {"strike", 0},
    {"strong", 0},
    {"style", kRaw},
    {"sub", 0},
    {"summary", kBlock | kClosesP},
    {"sup", 0},
    {"svg", kPicture | kHides},
    {"table", kBlock | kClosesP | kScopeEdge},
    {"tbody", 0},
    {"td", kBlock | kScopeEdge},
    {"template", kHides},
    {"textarea", kRaw},
    {"tfoot", 0},
    {"th", kBlock | kScopeEdge},
    {"thead", 0},
    {"time", 0},
    {"title", kRaw},
    {"tr", kBlock},
    {"track", kVoid},
    {"tt", 0},
    {"u", 0},
    {"ul", kBlock | kClosesP},
    {"var", 0},
    {"video", kPicture | kHides},
    {"wbr", kVoid},
    {"xmp", kRaw},
};

constexpr int kOther = -1; // an element of another name

// A name of at most 12 letters as two numbers that differ for any two names, for the table
// below.
struct Key {
    Key() = default;
    explicit Key(std::string_view name) {
        for (size_t i = 0; i < name.size(); ++i) {
            (i < 8 ? low : high) |= static_cast<uint64_t>(static_cast<unsigned char>(name[i]))
                                    << (8 * (i % 8));
        }
        high |= static_cast<uint64_t>(name.size()) << 48;
    }
    bool operator==(const Key& other) const { return low == other.low && high == other.high; }
    size_t Hash() const { return static_cast<size_t>((low * 0x9E3779B97F4A7C15ull) ^ high); }
    uint64_t low = 0, high = 0;
};

// kElements by Key, open addressing: a name is found with a comparison or two of numbers,
// where a search of the sorted table took a tenth of a card's time.
class ElementIndex {
public:
    ElementIndex() {
        ids_.fill(-1);
        for (int id = 0; id < static_cast<int>(std::size(kElements)); ++id) {
            Key key(kElements[id].name);
            size_t at = key.Hash() % ids_.size();
            while (ids_[at] >= 0) {
                at = (at + 1) % ids_.size();
            }
            ids_[at] = id;
            keys_[at] = key;
        }
    }
    int Find(std::string_view name) const {
        if (name.size() > 12) {
            return -1;
        }
        Key key(name);
        for (size_t at = key.Hash() % ids_.size(); ids_[at] >= 0; at = (at + 1) % ids_.size()) {
            if (keys_[at] == key) {
                return ids_[at];
            }
        }
        return -1;
    }

private:
    std::array<int, 512> ids_;
    std::array<Key, 512> keys_;
};

// The place of a name (in lower case) in kElements, or kOther.
int IdOf(std::string_view name) {
    static const ElementIndex index;
    return index.Find(name);
}

// The elements that the reader treats by name.
struct Named {
    int p = IdOf("p"), li = IdOf("li"), dt = IdOf("dt"), dd = IdOf("dd"), td = IdOf("td"),
        th = IdOf("th"), tr = IdOf("tr"), table = IdOf("table"), ul = IdOf("ul"), ol = IdOf("ol"),
        dl = IdOf("dl"), option = IdOf("option"), optgroup = IdOf("optgroup"),
        select = IdOf("select"), rt = IdOf("rt"), rp = IdOf("rp"), ruby = IdOf("ruby"),
        code = IdOf("code"), details = IdOf("details"), summary = IdOf("summary"),
        svg = IdOf("svg"), math = IdOf("math"), br = IdOf("br");
};
const Named& Names() {
    static const Named names;
    return names;
}

unsigned KindOf(int id) {
    return id == kOther ? 0 : kElements[id].kind;
}

bool EqualNoCase(std::string_view text, std::string_view word) {
    const size_t n = word.size();
    if (text.size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != word[i]) {
            return false;
        }
    }
    return true;
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
    int id = kOther;
    std::string name;     // in lower case, for an element of another name only
    std::string_view key; // the id attribute
    bool hidden = false;  // the hidden attribute, or a style that hides it
    bool open = false;    // the open attribute (of <details>)
    bool self_closing = false;
};

class Reader {
public:
    Reader(std::string_view html, std::string* out) : html_(html), out_(*out), names_(Names()) {}

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
        int id;
        std::string name; // of an element of another name
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
        size_t run = from; // the start of the text not yet appended
        for (size_t p = from; p < to; ++p) {
            const unsigned char c = static_cast<unsigned char>(html_[p]);
            if (c >= 0x20 && c != '&' && c != 0x7F) {
                continue;
            }
            out_.append(html_.data() + run, p - run);
            size_t used = c == '&' ? DecodeEntity(html_.substr(0, to), p, &out_) : 0;
            if (used != 0) {
                p += used - 1;
            } else {
                out_ += c == '&' ? '&' : ' ';
            }
            run = p + 1;
        }
        out_.append(html_.data() + run, to - run);
    }

    // The markup at html_[lt] ('<'); returns where the text goes on.
    size_t Markup(size_t lt) {
        const size_t n = html_.size();
        if (html_.compare(lt, 4, "<!--") == 0) {
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
            End(tag);
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
        char lower[16];
        if (p - at < sizeof lower) {
            for (size_t i = at; i < p; ++i) {
                char c = html_[i];
                lower[i - at] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            }
            tag->id = IdOf(std::string_view(lower, p - at));
        }
        if (tag->id == kOther) {
            tag->name = Lower(html_.substr(at, p - at));
        }
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
            std::string_view key = html_.substr(name, p - name);
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
            if (EqualNoCase(key, "id")) {
                tag->key = value;
            } else if (EqualNoCase(key, "style")) {
                tag->hidden |= StyleHides(value);
            } else if (EqualNoCase(key, "hidden")) {
                tag->hidden = true;
            } else if (EqualNoCase(key, "open")) {
                tag->open = true;
            }
        }
        return kNone;
    }

    size_t Start(const Tag& tag, size_t end) {
        const unsigned kind = KindOf(tag.id);
        CloseImplied(tag.id, kind);
        const bool in_closed = !open_.empty() && open_.back().closed && tag.id != names_.summary;
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
            return SkipRaw(kElements[tag.id].name, end);
        }
        const bool hiding = !visible || (kind & kHides);
        const bool shown = visible && !(kind & kHides);
        const bool typed = tag.id == names_.code && tag.key == "typeans";
        if (shown) {
            if (kind & kBlock) {
                out_ += seen::kBreak;
            }
            if (tag.key == "answer") {
                out_ += seen::kAnswer;
            }
            if (tag.id == names_.rt) {
                out_ += '(';
            }
            if (typed) {
                out_ += seen::kTypedOpen;
            }
        }
        const bool foreign_void =
            tag.self_closing && (tag.id == names_.svg || tag.id == names_.math);
        if ((kind & kVoid) || foreign_void) {
            return end;
        }
        open_.push_back(
            {tag.id, tag.name, kind, hiding, shown, typed, tag.id == names_.details && !tag.open});
        hiding_ += hiding;
        return end;
    }

    // Skips a raw-text element's content and its end tag.
    size_t SkipRaw(std::string_view name, size_t from) {
        for (size_t p = html_.find("</", from); p != std::string_view::npos;
             p = html_.find("</", p + 2)) {
            size_t after = p + 2 + name.size();
            if (after <= html_.size() &&
                EqualNoCase(html_.substr(p + 2, name.size()), name.data()) &&
                (after == html_.size() || IsSpace(html_[after]) || html_[after] == '/' ||
                 html_[after] == '>')) {
                size_t close = html_.find('>', after);
                return close == std::string_view::npos ? html_.size() : close + 1;
            }
        }
        return html_.size();
    }

    void End(const Tag& tag) {
        if (tag.id == names_.br) {
            if (Showing()) {
                out_ += seen::kBreak; // </br> is a <br>
            }
            return;
        }
        size_t at = kNone;
        if (tag.id != kOther) {
            at = Find({tag.id}, 0);
        } else {
            size_t depth = 0;
            for (size_t i = open_.size(); i-- > 0 && depth++ < kSearchDepth;) {
                if (open_[i].id == kOther && open_[i].name == tag.name) {
                    at = i;
                    break;
                }
            }
        }
        if (at == kNone) {
            if (tag.id == names_.p && Showing()) {
                out_ += seen::kBreak; // </p> without <p> is an empty paragraph
            }
            return;
        }
        PopTo(at);
    }

    // The elements whose start tag closes an open element: <p> by a block, <li> by <li>, ...
    void CloseImplied(int id, unsigned kind) {
        const Named& n = names_;
        if (kind & kClosesP) {
            PopTo(Find({n.p}, kScopeEdge));
        }
        if (id == kOther) {
            return;
        }
        if (id == n.li) {
            PopTo(Find({n.li}, kScopeEdge, {n.ul, n.ol}));
        } else if (id == n.dt || id == n.dd) {
            PopTo(Find({n.dt, n.dd}, kScopeEdge, {n.dl}));
        } else if (id == n.td || id == n.th) {
            PopTo(Find({n.td, n.th}, 0, {n.tr, n.table}));
        } else if (id == n.tr) {
            PopTo(Find({n.tr}, 0, {n.table}));
        } else if (id == n.option || id == n.optgroup) {
            PopTo(Find({n.option}, kScopeEdge, {n.select}));
        } else if (id == n.rt || id == n.rp) {
            PopTo(Find({n.rt, n.rp}, kScopeEdge, {n.ruby}));
        }
    }

    // How deep below the top a search for an open element goes: enough for any real HTML, and
    // it keeps a text of thousands of unclosed elements linear.
    static constexpr size_t kSearchDepth = 256;

    // The index of the nearest open element of one of `ids`, searching down from the top and
    // stopping at an element of kind `edge` or of one of `stops`; kNone when there is none.
    size_t Find(std::initializer_list<int> ids, unsigned edge,
                std::initializer_list<int> stops = {}) const {
        size_t depth = 0;
        for (size_t i = open_.size(); i-- > 0 && depth++ < kSearchDepth;) {
            const int open = open_[i].id;
            for (int id : ids) {
                if (open == id) {
                    return i;
                }
            }
            if (open_[i].kind & edge) {
                return kNone;
            }
            for (int stop : stops) {
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
        const Open& e = open_.back();
        hiding_ -= e.hiding;
        if (e.shown) {
            if (e.typed) {
                out_ += seen::kTypedClose;
            }
            if (e.id == names_.rt) {
                out_ += ')';
            }
            if (e.kind & kBlock) {
                out_ += seen::kBreak;
            }
        }
        open_.pop_back();
    }

    std::string_view html_;
    std::string& out_;
    const Named& names_;
    std::vector<Open> open_;
    size_t hiding_ = 0; // open elements that hide what they hold
};

} // namespace

void SeenText(std::string_view html, std::string* out) {
    Reader(html, out).Run();
}

} // namespace deck
