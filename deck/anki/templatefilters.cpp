// The filters of Anki's templates. Anki's own rules are in rslib/src/template_filters.rs; an
// unknown filter, which Anki leaves to add-ons, passes the text on here.
#include "deck/anki/templatefilters.h"

#include "deck/cloze.h"
#include "deck/base/strings.h"
#include "deck/cardtext.h"

namespace deck::anki {

namespace {

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

// The position of the first `c` at or after `from`, through a cache that only moves forward:
// the ruby rule asks with ever larger `from`, so the text is searched once.
size_t NextOf(const std::string& text, char c, size_t from, size_t* cache) {
    if (*cache != std::string::npos && *cache < from) {
        *cache = text.find(c, from);
    }
    return *cache;
}

std::string Hint(const std::string& text, const std::string& name) {
    if (Trim(text).empty()) {
        return text;
    }
    return "<a class=hint href=\"#\">" + name + "</a><div class=hint style=\"display: none\">" +
           text + "</div>";
}

} // namespace

std::string EscapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Anki's rule is the regular expression ` ?([^ >]+?)\[(.+?)\]`, taken here in one pass: from
// each start the base runs to a space or '>', and a start whose run holds no "[reading]"
// leaves every later start in that run without one too.
std::string RubyFilter(const std::string& html, Ruby form) {
    const std::string text = Replace(html, "&nbsp;", " ");
    const size_t n = text.size();
    std::string out;
    out.reserve(n);
    size_t close = 0, line_end = 0; // caches of NextOf
    size_t p = 0;
    while (p < n) {
        const size_t base = text[p] == ' ' ? p + 1 : p;
        size_t q = base;
        bool matched = false;
        for (; q < n && text[q] != ' ' && text[q] != '>'; ++q) {
            if (text[q] != '[' || q == base) {
                continue;
            }
            size_t r = NextOf(text, ']', q + 2, &close);
            size_t nl = NextOf(text, '\n', q + 1, &line_end);
            if (r == std::string::npos || (nl != std::string::npos && nl < r)) {
                continue;
            }
            const std::string reading = text.substr(q + 1, r - q - 1);
            const std::string shown = text.substr(base, q - base);
            if (reading.compare(0, 6, "sound:") == 0) {
                out.append(text, p, r + 1 - p);
            } else if (form == Ruby::kBoth) {
                out += "<ruby><rb>" + shown + "</rb><rt>" + reading + "</rt></ruby>";
            } else {
                out += form == Ruby::kReading ? reading : shown;
            }
            p = r + 1;
            matched = true;
            break;
        }
        if (!matched) {
            q = std::max(q, p + 1);
            out.append(text, p, q - p);
            p = q;
        }
    }
    return out;
}

std::string ApplyFilters(std::string text, const std::vector<std::string>& filters,
                         const std::string& name, int number, bool question) {
    // A type filter outermost makes the box, whatever comes before it.
    if (!filters.empty() && filters.back() == "type") {
        if (filters.size() == 2 && (filters[0] == "cloze" || filters[0] == "nc")) {
            return "[[type:" + filters[0] + ":" + name + "]]";
        }
        return "[[type:" + name + "]]";
    }
    for (const std::string& filter : filters) {
        if (filter == "text") {
            text = EscapeHtml(HtmlToText(text));
        } else if (filter == "cloze") {
            text = RevealCloze(text, number, question);
        } else if (filter == "cloze-only") {
            text.clear();
        } else if (filter == "hint") {
            text = Hint(text, name);
        } else if (filter == "furigana") {
            text = RubyFilter(text, Ruby::kBoth);
        } else if (filter == "kana") {
            text = RubyFilter(text, Ruby::kReading);
        } else if (filter == "kanji") {
            text = RubyFilter(text, Ruby::kBase);
        } else if (filter.compare(0, 4, "tts ") == 0) {
            text = "[anki:tts]" + text + "[/anki:tts]";
        }
    }
    return text;
}

} // namespace deck::anki
