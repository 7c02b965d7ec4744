// The card-text rules: HTML (html/text.cpp), Anki's media references, clozes (cloze.cpp) and
// white space.
#include "deck/cardtext.h"

#include "deck/cloze.h"
#include "deck/html/text.h"
#include "deck/base/utf.h"

#include <ctype.h>

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

} // namespace deck
