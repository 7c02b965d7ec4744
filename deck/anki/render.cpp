// Card sides by template: cloze gaps (rslib/src/cloze.rs has Anki's own rules) and the reverse
// templates of standard note types.
#include "deck/anki/render.h"

#include "deck/base/strings.h"

#include <algorithm>

namespace deck::anki {

namespace {

// Text, or a gap {{cN::children::hint}}.
struct ClozeNode {
    std::string text;
    int number = 0; // 0: a text node
    std::vector<ClozeNode> children;
    std::string hint;
};

// The position of the next "{{cN::" at or after `from`, with its number and where its text
// starts; npos when there is none.
size_t NextOpening(const std::string& text, size_t from, int* number, size_t* body) {
    for (size_t at = text.find("{{c", from); at != std::string::npos;
         at = text.find("{{c", at + 1)) {
        size_t p = at + 3;
        int n = 0;
        while (p < text.size() && text[p] >= '0' && text[p] <= '9' && p - at < 9) {
            n = n * 10 + (text[p] - '0');
            ++p;
        }
        if (p > at + 3 && text.compare(p, 2, "::") == 0) {
            *number = n;
            *body = p + 2;
            return at;
        }
    }
    return std::string::npos;
}

std::string Flat(const std::vector<ClozeNode>& nodes);

ClozeNode Text(std::string text) {
    ClozeNode node;
    node.text = std::move(text);
    return node;
}

// Parses from *at to the end of the text, or inside a gap to its "}}". *closed tells whether
// that "}}" was found.
std::vector<ClozeNode> Parse(const std::string& text, size_t* at, int depth, bool* closed) {
    std::vector<ClozeNode> nodes;
    *closed = false;
    while (*at <= text.size()) {
        int number = 0;
        size_t body = 0;
        size_t open = NextOpening(text, *at, &number, &body);
        size_t close = depth > 0 ? text.find("}}", *at) : std::string::npos;
        if (close != std::string::npos && (open == std::string::npos || close < open)) {
            nodes.push_back(Text(text.substr(*at, close - *at)));
            *at = close + 2;
            *closed = true;
            return nodes;
        }
        if (open == std::string::npos || depth > 50) {
            nodes.push_back(Text(text.substr(*at)));
            *at = text.size() + 1;
            return nodes;
        }
        nodes.push_back(Text(text.substr(*at, open - *at)));
        size_t inner = body;
        bool done = false;
        ClozeNode gap;
        gap.number = number;
        gap.children = Parse(text, &inner, depth + 1, &done);
        if (!done) {
            // No closing braces: the opening stands as text, the gaps after it stay gaps.
            nodes.push_back(Text(text.substr(open, body - open)));
            nodes.insert(nodes.end(), gap.children.begin(), gap.children.end());
            *at = inner;
            return nodes;
        }
        // The hint follows the first "::" in the gap's own text.
        for (size_t i = 0; i < gap.children.size(); ++i) {
            ClozeNode& child = gap.children[i];
            size_t sep = child.number == 0 ? child.text.find("::") : std::string::npos;
            if (sep != std::string::npos) {
                std::vector<ClozeNode> rest(gap.children.begin() + static_cast<long>(i) + 1,
                                            gap.children.end());
                gap.hint = child.text.substr(sep + 2) + Flat(rest);
                child.text.resize(sep);
                gap.children.resize(i + 1);
                break;
            }
        }
        nodes.push_back(std::move(gap));
        *at = inner;
    }
    return nodes;
}

std::string Flat(const std::vector<ClozeNode>& nodes) {
    std::string out;
    for (const ClozeNode& node : nodes) {
        out += node.number == 0 ? node.text : Flat(node.children);
    }
    return out;
}

void Render(const std::vector<ClozeNode>& nodes, int number, std::string* question,
            std::string* answer) {
    for (const ClozeNode& node : nodes) {
        if (node.number == 0) {
            *question += node.text;
            *answer += node.text;
        } else if (node.number == number) {
            *question += "[" + (node.hint.empty() ? std::string("...") : node.hint) + "]";
            std::string hidden;
            Render(node.children, number, &hidden, answer);
        } else {
            Render(node.children, number, question, answer);
        }
    }
}

// The fields a template shows, in order: {{Field}}, {{text:Field}} and the like, without the
// section tags ({{#F}}, {{^F}}, {{/F}}) and the special fields. `filter` keeps only references
// with that filter ("cloze").
std::vector<std::string> FieldsShown(const std::string& format, const char* filter = nullptr) {
    static const char* const kSpecial[] = {"FrontSide", "Tags",     "Type", "Deck",
                                           "Subdeck",   "CardFlag", "Card", "CardID"};
    std::vector<std::string> names;
    for (size_t at = format.find("{{"); at != std::string::npos; at = format.find("{{", at)) {
        size_t end = format.find("}}", at + 2);
        if (end == std::string::npos) {
            break;
        }
        std::string tag = Trim(format.substr(at + 2, end - at - 2));
        at = end + 2;
        if (tag.empty() || std::string("#^/!").find(tag[0]) != std::string::npos) {
            continue;
        }
        size_t colon = tag.rfind(':');
        std::string name = Trim(colon == std::string::npos ? tag : tag.substr(colon + 1));
        std::string filters = colon == std::string::npos ? "" : tag.substr(0, colon);
        if (filter != nullptr && filters.find(filter) == std::string::npos) {
            continue;
        }
        if (std::find(std::begin(kSpecial), std::end(kSpecial), name) == std::end(kSpecial)) {
            names.push_back(name);
        }
    }
    return names;
}

int FieldNumber(const NoteType& type, const std::string& name) {
    auto it = std::find(type.field_names.begin(), type.field_names.end(), name);
    return it == type.field_names.end() ? 0 : static_cast<int>(it - type.field_names.begin()) + 1;
}

} // namespace

void RenderCloze(const std::string& text, int number, std::string* question, std::string* answer) {
    question->clear();
    answer->clear();
    size_t at = 0;
    bool closed = false;
    Render(Parse(text, &at, 0, &closed), number, question, answer);
}

bool IsReverseTemplate(const NoteType& type, int64_t ord) {
    if (type.cloze || ord < 0 || static_cast<size_t>(ord) >= type.templates.size() ||
        type.field_names.size() < 2) {
        return false;
    }
    const CardTemplate& card = type.templates[static_cast<size_t>(ord)];
    std::vector<std::string> asked = FieldsShown(card.question);
    std::vector<std::string> told = FieldsShown(card.answer);
    return !asked.empty() && asked[0] == type.field_names[1] &&
           std::find(asked.begin(), asked.end(), type.field_names[0]) == asked.end() &&
           std::find(told.begin(), told.end(), type.field_names[0]) != told.end();
}

bool RenderCard(const NoteType* type, const std::vector<std::string>& fields, int64_t ord,
                const FieldChoice& choice, CardSides* sides, int* needed) {
    int q = choice.question != 0 ? choice.question : (choice.answer == 1 ? 2 : 1);
    int a = choice.answer != 0 ? choice.answer : (q == 1 ? 2 : 1);
    const bool cloze = type != nullptr && type->cloze;
    if (cloze && choice.question == 0 && !type->templates.empty()) {
        std::vector<std::string> text = FieldsShown(type->templates[0].question, "cloze");
        int shown = text.empty() ? 0 : FieldNumber(*type, text[0]);
        if (shown != 0) {
            q = shown;
            a = choice.answer != 0 ? choice.answer : (q == 1 ? 2 : 1);
        }
    }
    // A cloze note without its Back Extra still has its text.
    *needed = cloze ? q : std::max(q, a);
    if (fields.size() < static_cast<size_t>(*needed)) {
        return false;
    }
    if (cloze) {
        std::string filled;
        RenderCloze(fields[q - 1], static_cast<int>(ord) + 1, &sides->question, &filled);
        const std::string extra =
            static_cast<size_t>(a) <= fields.size() && a != q ? fields[a - 1] : std::string();
        sides->answer = extra.empty() ? filled : filled + " " + extra;
        return true;
    }
    if (type != nullptr && IsReverseTemplate(*type, ord)) {
        std::swap(q, a);
    }
    sides->question = fields[q - 1];
    sides->answer = fields[a - 1];
    return true;
}

} // namespace deck::anki
