// HTML as a person sees it: one pass over the text with a stack of the open elements, which
// knows the few rules that decide what shows (hidden elements, raw text, closed <details>,
// ruby) and closes the elements that HTML closes without an end tag (<p>, <li>, <td>, <rt>,
// ...). It builds no tree: a card's side is read in about a microsecond, where a full HTML
// parser took thirteen (docs/importing.md).
#include "deck/html/text.h"

#include "deck/html/elements.h"
#include "deck/html/entities.h"
#include "deck/html/stylesheet.h"
#include "deck/base/limits.h"
#include "deck/base/strings.h"

#include <string.h>

#include <algorithm>
#include <vector>

namespace deck::html {

namespace {

// C0's controls and DEL: the input's own become spaces, since the marks are made of them.
bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

struct Tag {
    int id = kOther;
    std::string name;          // in lower case, for an element of another name only
    std::string_view raw_name; // as written
    std::string_view key;      // the id attribute
    std::string_view classes;  // the class attribute
    std::string_view style;    // the style attribute
    bool hidden = false;       // the hidden attribute
    bool open = false;         // the open attribute (of <details>)
    bool self_closing = false;
};

class Reader {
public:
    Reader(std::string_view html, std::string* out, const Styling& styling)
        : html_(html), out_(*out), names_(Names()),
          sheet_(styling.sheet != nullptr && !styling.sheet->Empty() ? styling.sheet : nullptr) {
        if (sheet_ != nullptr) {
            chain_.push_back({"html", {}, {}, {}});
            chain_.push_back({"body", {}, styling.body_classes, {}});
        }
    }

    // False when elements nested deeper than the limit.
    bool Run() {
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
        return !too_deep_;
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
            if (!IsControl(c) && c != '&') {
                continue;
            }
            out_.append(html_.data() + run, p - run);
            const size_t at = out_.size();
            size_t used = c == '&' ? DecodeEntity(html_.substr(0, to), p, &out_) : 0;
            if (used != 0) {
                // A reference to a control character (&#2;, &#x1;, &Tab;) is a space, as a
                // literal one is, so that no input can make one of the marks.
                if (out_.size() == at + 1 && IsControl(static_cast<unsigned char>(out_[at]))) {
                    out_[at] = ' ';
                }
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
        if (next == '/' && lt + 2 < n && IsAsciiAlpha(html_[lt + 2])) {
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
        if (!IsAsciiAlpha(next)) {
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
        while (p < n && !IsAsciiWhitespace(html_[p]) && html_[p] != '/' && html_[p] != '>') {
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
        tag->raw_name = html_.substr(at, p - at);
        if (tag->id == kOther) {
            tag->name = AsciiLower(tag->raw_name);
        }
        while (p < n) {
            while (p < n && (IsAsciiWhitespace(html_[p]) || html_[p] == '/')) {
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
            while (p < n && !IsAsciiWhitespace(html_[p]) && html_[p] != '/' && html_[p] != '>' &&
                   html_[p] != '=') {
                ++p;
            }
            std::string_view key = html_.substr(name, p - name);
            size_t q = p;
            while (q < n && IsAsciiWhitespace(html_[q])) {
                ++q;
            }
            std::string_view value;
            if (q < n && html_[q] == '=') {
                p = q + 1;
                while (p < n && IsAsciiWhitespace(html_[p])) {
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
                    while (p < n && !IsAsciiWhitespace(html_[p]) && html_[p] != '>') {
                        ++p;
                    }
                    value = html_.substr(from, p - from);
                }
            }
            if (EqualNoCase(key, "id")) {
                tag->key = value;
            } else if (EqualNoCase(key, "style")) {
                tag->style = tag->style.empty() ? value : tag->style;
            } else if (EqualNoCase(key, "class")) {
                tag->classes = tag->classes.empty() ? value : tag->classes;
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
        bool visible = hiding_ == 0 && !in_closed && !tag.hidden;
        if (sheet_ != nullptr) {
            // The rules see the element among its open ancestors; it stays on the chain while
            // it is open itself.
            chain_.push_back({tag.raw_name, tag.key, tag.classes, tag.style});
            visible = visible && !sheet_->Hides(chain_.data(), chain_.size());
        } else {
            visible = visible && (tag.style.empty() || !StyleHides(tag.style));
        }
        if (visible) {
            if (kind & kPicture) {
                out_ += seen::kPicture;
            }
            if (kind & kSound) {
                out_ += seen::kSound;
            }
        }
        if (kind & kRaw) {
            PopChain();
            return SkipRaw(NameOf(tag.id), end);
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
        // Past the limit an element stays off the stack, as a void one does: the stack, and
        // the stylesheet's chain of ancestors, stay bounded.
        const bool too_deep = open_.size() >= kMaxHtmlDepth;
        too_deep_ |= too_deep;
        if ((kind & kVoid) || foreign_void || too_deep) {
            PopChain();
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
                (after == html_.size() || IsAsciiWhitespace(html_[after]) || html_[after] == '/' ||
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
        PopChain();
    }

    void PopChain() {
        if (sheet_ != nullptr) {
            chain_.pop_back();
        }
    }

    std::string_view html_;
    std::string& out_;
    const Named& names_;
    std::vector<Open> open_;
    size_t hiding_ = 0; // open elements that hide what they hold
    bool too_deep_ = false;
    // With a stylesheet: <html>, <body>, then the open elements as the rules see them.
    const Stylesheet* sheet_;
    std::vector<StyledElement> chain_;
};

} // namespace

bool SeenText(std::string_view html, std::string* out, const Styling& styling) {
    return Reader(html, out, styling).Run();
}

} // namespace deck::html
