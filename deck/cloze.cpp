// Cloze gaps: the text is read into a tree of text and gaps once, then shown for one card.
#include "deck/cloze.h"

#include <vector>

namespace deck {

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

// Appends the nodes as card `number` shows them on one side; *found tells whether gap
// `number` (with kEveryGap: any gap) was among them.
void Render(const std::vector<ClozeNode>& nodes, int number, bool question, std::string* out,
            bool* found) {
    for (const ClozeNode& node : nodes) {
        if (node.number == 0) {
            *out += node.text;
        } else if (node.number == number || number == kEveryGap) {
            *found = true;
            if (question) {
                *out += "[" + (node.hint.empty() ? std::string("...") : node.hint) + "]";
            } else {
                Render(node.children, number, question, out, found);
            }
        } else {
            Render(node.children, number, question, out, found);
        }
    }
}

void Answers(const std::vector<ClozeNode>& nodes, int number, std::vector<std::string>* out) {
    for (const ClozeNode& node : nodes) {
        if (node.number == number) {
            out->push_back(Flat(node.children));
        } else if (node.number != 0) {
            Answers(node.children, number, out);
        }
    }
}

std::vector<ClozeNode> ParseAll(const std::string& text) {
    size_t at = 0;
    bool closed = false;
    return Parse(text, &at, 0, &closed);
}

} // namespace

std::string RevealCloze(const std::string& text, int number, bool question) {
    std::string out;
    bool found = false;
    if (text.find("{{c") != std::string::npos) {
        Render(ParseAll(text), number, question, &out, &found);
    }
    return found ? out : std::string();
}

size_t ClozeGaps(const std::string& text, size_t stop) {
    size_t count = 0;
    int number = 0;
    size_t body = 0;
    for (size_t at = NextOpening(text, 0, &number, &body); at != std::string::npos && count <= stop;
         at = NextOpening(text, body, &number, &body)) {
        ++count;
    }
    return count;
}

std::string ClozeAnswer(const std::string& text, int number) {
    std::vector<std::string> answers;
    Answers(ParseAll(text), number, &answers);
    bool same = true;
    for (const std::string& answer : answers) {
        same &= answer == answers.front();
    }
    std::string joined;
    for (size_t i = 0; i < answers.size() && !(same && i > 0); ++i) {
        joined += (i ? ", " : "") + answers[i];
    }
    return joined;
}

} // namespace deck
