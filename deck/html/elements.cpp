// What the HTML reader knows of elements, by name: a table of the names it treats, found
// through a small hash of their letters.
#include "deck/html/elements.h"

#include "deck/base/strings.h"

#include <stdint.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <string>

namespace deck::html {

namespace {

struct Element {
    std::string_view name;
    unsigned kind;
};

// The elements whose names the reader knows, in the order of their names, each numbered by its
// place here.
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

std::string TrimLower(std::string_view text) {
    return AsciiLower(TrimAsciiWhitespace(text));
}

} // namespace

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

int IdOf(std::string_view name) {
    static const ElementIndex index;
    return index.Find(name);
}

const Named& Names() {
    static const Named names;
    return names;
}

unsigned KindOf(int id) {
    return id == kOther ? 0 : kElements[id].kind;
}

std::string_view NameOf(int id) {
    return id == kOther ? std::string_view() : kElements[id].name;
}

bool EqualNoCase(std::string_view text, std::string_view lower) {
    const size_t n = lower.size();
    if (text.size() != n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != lower[i]) {
            return false;
        }
    }
    return true;
}

} // namespace deck::html
