// The card-text rules: HTML (html/text.cpp), Anki's media references, clozes (cloze.cpp) and
// white space.
#include "deck/cardtext.h"

#include "deck/cloze.h"
#include "deck/html/text.h"
#include "deck/base/utf.h"

#include <ctype.h>

#include <algorithm>

namespace deck {

namespace {

bool IsSpaceByte(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

} // namespace

std::string HtmlToText(const std::string& html) {
    if (html.find_first_of("<&") == std::string::npos) {
        return html;
    }
    std::string seen;
    html::SeenText(html, &seen);
    // A text input's field is one line: breaks are spaces, pictures and the other marks go.
    std::string text;
    text.reserve(seen.size());
    for (char c : seen) {
        if (c == html::seen::kBreak || c == html::seen::kAnswer) {
            text += ' ';
        } else if (static_cast<unsigned char>(c) > html::seen::kTypedClose) {
            text += c;
        }
    }
    return text;
}

std::string ReplaceSoundTags(const std::string& text, const std::string& with) {
    size_t at = text.find("[sound:");
    if (at == std::string::npos) {
        return text;
    }
    std::string out;
    size_t from = 0;
    while (at != std::string::npos) {
        size_t close = text.find(']', at);
        if (close == std::string::npos) {
            break; // no closing bracket after this one, nor after any later one
        }
        out.append(text, from, at - from);
        out += with;
        from = close + 1;
        at = text.find("[sound:", from);
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::string DropSoundTags(const std::string& text) {
    return ReplaceSoundTags(text, " ");
}

bool ApplyCloze(const std::string& text, std::string* question, std::string* answer) {
    *question = RevealCloze(text, kEveryGap, true);
    if (question->empty()) {
        *question = text;
        *answer = text;
        return false;
    }
    *answer = RevealCloze(text, kEveryGap, false);
    return true;
}

bool AlreadyClean(const std::string& text) {
    if (text.empty()) {
        return true;
    }
    if (text.front() == ' ' || text.back() == ' ') {
        return false;
    }
    bool space = false;
    const size_t size = text.size();
    for (size_t i = 0; i < size; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c > ' ' && c != 0x7F && c != 0xC2) {
            space = false;
        } else if (c == ' ' && !space) {
            space = true;
        } else if (c == 0xC2 &&
                   !(i + 1 < size && static_cast<unsigned char>(text[i + 1]) == 0xA0)) {
            space = false; // another character than U+00A0
        } else {
            return false;
        }
    }
    return true;
}

std::string CleanWhiteSpace(const std::string& text) {
    if (AlreadyClean(text)) {
        return text;
    }
    std::string out;
    out.reserve(text.size());
    bool space = false;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        // Control characters would show as boxes or, a NUL, cut the card: white space too.
        bool white = IsSpaceByte(c) || c < 0x20 || c == 0x7F;
        // U+00A0 (no-break space, from &nbsp;) is white space on a card too.
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0) {
            white = true;
            ++i;
        }
        if (white) {
            space = !out.empty();
            continue;
        }
        if (space) {
            out += ' ';
            space = false;
        }
        out += static_cast<char>(c);
    }
    return out;
}

bool LooksLikeHtml(const char* text, size_t size) {
    for (size_t i = 0; i + 1 < size; ++i) {
        if (text[i] == '<') {
            size_t j = i + 1;
            if (text[j] == '/') {
                ++j;
            }
            size_t name = j;
            while (j < size && isalpha(static_cast<unsigned char>(text[j]))) {
                ++j;
            }
            if (j > name && j < size && (text[j] == '>' || text[j] == ' ' || text[j] == '/')) {
                return true;
            }
        } else if (text[i] == '&') {
            size_t j = i + 1;
            if (j < size && text[j] == '#') {
                ++j;
            }
            size_t name = j;
            while (j < size && isalnum(static_cast<unsigned char>(text[j])) && j - name < 10) {
                ++j;
            }
            if (j > name && j < size && text[j] == ';') {
                return true;
            }
        }
    }
    return false;
}

bool CutAtWord(std::string* text, size_t units) {
    if (units == 0 || Utf16Units(*text) <= units) {
        return false;
    }
    // The end of the last whole character that leaves a unit for the ellipsis.
    size_t end = 0, used = 0;
    while (end < text->size()) {
        unsigned char c = static_cast<unsigned char>((*text)[end]);
        size_t bytes = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        size_t need = bytes == 4 ? 2 : 1;
        if (used + need > units - 1 || end + bytes > text->size()) {
            break;
        }
        used += need;
        end += bytes;
    }
    size_t space = text->rfind(' ', end);
    if (space != std::string::npos && space >= end / 2) {
        end = space;
    }
    text->resize(end);
    for (;;) {
        if (!text->empty() && text->back() == ' ') {
            text->pop_back();
        } else if (text->size() >= 3 && text->compare(text->size() - 3, 3, " \xC2\xB7") == 0) {
            text->resize(text->size() - 3); // a break's " ·"
        } else {
            break;
        }
    }
    *text += "\xE2\x80\xA6";
    return true;
}

namespace {

// The UTF-16 units of text[from, to).
size_t UnitsOf(const std::string& text, size_t from, size_t to) {
    size_t units = 0;
    for (size_t i = from; i < to; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        units += (c & 0xC0) == 0x80 ? 0 : c >= 0xF0 ? 2 : 1;
    }
    return units;
}

} // namespace

bool WindowAroundGap(std::string* question, std::string* answer, size_t units) {
    if (units < 4 || Utf16Units(*question) <= units) {
        return false;
    }
    size_t gap = 0;
    while (gap < question->size() && gap < answer->size() && (*question)[gap] == (*answer)[gap]) {
        ++gap;
    }
    while (gap > 0 && (static_cast<unsigned char>((*question)[gap]) & 0xC0) == 0x80) {
        --gap; // back to the start of the character where the sides part
    }
    const size_t close = question->find(']', gap);
    if (gap >= question->size() || (*question)[gap] != '[' || close == std::string::npos) {
        return false;
    }
    const size_t end = close + 1;
    const size_t after = std::min(kTextAfterGap, UnitsOf(*question, end, question->size()));
    // One unit for each "…", at the start and at the cut end.
    if (UnitsOf(*question, 0, end) + after <= units - 1) {
        return false; // the ordinary cut keeps the gap and the text after it
    }
    const size_t gap_units = UnitsOf(*question, gap, end);
    const size_t budget = units - 2 > gap_units + after ? units - 2 - gap_units - after : 0;
    size_t from = gap, kept = 0;
    while (from > 0) {
        size_t start = from - 1;
        while (start > 0 && (static_cast<unsigned char>((*question)[start]) & 0xC0) == 0x80) {
            --start;
        }
        const size_t need = UnitsOf(*question, start, from);
        if (kept + need > budget) {
            break;
        }
        kept += need;
        from = start;
    }
    // The window begins at a word where one begins in its first half.
    const size_t space = question->find(' ', from);
    if (from > 0 && space != std::string::npos && space < gap && space - from <= (gap - from) / 2) {
        from = space + 1;
    }
    *question = "\xE2\x80\xA6" + question->substr(from);
    *answer = "\xE2\x80\xA6" + answer->substr(from);
    return true;
}

} // namespace deck
