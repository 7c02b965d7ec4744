// The prose markup of a surface's texts, as man(7) and as Markdown.
#include "deck/surface/markup.h"

#include "deck/base/strings.h"

#include <stddef.h>
#include <stdio.h>

#include <vector>

namespace surface {

namespace {

struct Block {
    enum Kind { kParagraph, kItem, kExample } kind;
    std::string text; // paragraphs and items: one line; examples: lines ending in \n
};

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::vector<Block> Blocks(const std::string& text) {
    std::vector<Block> blocks;
    bool open = false;
    size_t from = 0;
    while (from <= text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(from, end - from);
        from = end + 1;
        if (deck::Trim(line).empty()) {
            open = false;
            continue;
        }
        if (StartsWith(line, "    ") && (!open || blocks.back().kind == Block::kExample)) {
            if (!open) {
                blocks.push_back({Block::kExample, ""});
                open = true;
            }
            blocks.back().text += line.substr(4) + "\n";
        } else if (StartsWith(line, "- ")) {
            blocks.push_back({Block::kItem, deck::Trim(line.substr(2))});
            open = true;
        } else if (open && (blocks.back().kind == Block::kParagraph ||
                            (blocks.back().kind == Block::kItem && StartsWith(line, "  ")))) {
            blocks.back().text += " " + deck::Trim(line);
        } else {
            blocks.push_back({Block::kParagraph, deck::Trim(line)});
            open = true;
        }
    }
    return blocks;
}

// The next UTF-8 character of s at *at as a code point; a stray byte stands for itself.
unsigned long NextCodePoint(const std::string& s, size_t* at) {
    unsigned char c = static_cast<unsigned char>(s[*at]);
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    unsigned long cp = more == 0 ? c : c & (0x3F >> more);
    size_t i = *at + 1;
    for (int k = 0; k < more && i < s.size(); ++k, ++i) {
        cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    }
    *at = i;
    return cp;
}

// One character for man(7); literal minus signs (in `code`) are \-, hyphens stay.
void AppendRoffChar(std::string& out, const std::string& s, size_t* at, bool literal) {
    char c = s[*at];
    if (static_cast<unsigned char>(c) >= 0x80) {
        char code[16];
        snprintf(code, sizeof code, "\\[u%04lX]", NextCodePoint(s, at));
        out += code;
        return;
    }
    ++*at;
    if (c == '\\') {
        out += "\\e";
    } else if (c == '-' && literal) {
        out += "\\-";
    } else {
        out += c;
    }
}

// A roff text line may not begin with a control character.
std::string GuardLines(const std::string& text) {
    std::string out;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text[from] == '.' || text[from] == '\'') {
            out += "\\&";
        }
        out.append(text, from, end - from);
        from = end;
    }
    return out;
}

// A Markdown line that began with one of these would start a list, a heading or a quote.
bool BadMarkdownStart(const std::string& word) {
    if (word == "-" || word == "+" || word == "*" || word[0] == '#' || word[0] == '>' ||
        word[0] == '|' || word[0] == '=') {
        return true;
    }
    size_t digits = word.find_first_not_of("0123456789");
    return digits != 0 && digits != std::string::npos &&
           (word[digits] == '.' || word[digits] == ')');
}

} // namespace

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    for (size_t from = 0; from < text.size();) {
        size_t end = text.find(' ', from);
        end = end == std::string::npos ? text.size() : end;
        if (end > from) {
            words.push_back(text.substr(from, end - from));
        }
        from = end + 1;
    }
    return words;
}

std::string Wrap(const std::string& text, size_t width, const std::string& indent,
                 bool (*badStart)(const std::string& word)) {
    std::vector<std::string> words = Words(text);
    // The words of the line being filled; a line breaks before the last word that may begin
    // one, so that a run of words such as "- 12. #" never starts a line.
    std::vector<std::string> line;
    size_t length = 0;
    std::string out;
    auto emit = [&](size_t count) {
        for (size_t k = 0; k < count; ++k) {
            out += (k == 0 ? "" : " ") + line[k];
        }
        out += "\n" + indent;
        line.erase(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(count));
        length = 0;
        for (size_t k = 0; k < line.size(); ++k) {
            length += (k == 0 ? 0 : 1) + line[k].size();
        }
    };
    for (const std::string& word : words) {
        if (!line.empty() && length + 1 + word.size() > width) {
            line.push_back(word);
            size_t start = line.size() - 1;
            while (start > 0 && badStart != nullptr && badStart(line[start])) {
                --start;
            }
            line.pop_back();
            if (start > 0) {
                emit(start);
            }
        }
        length += (line.empty() ? 0 : 1) + word.size();
        line.push_back(word);
    }
    for (size_t k = 0; k < line.size(); ++k) {
        out += (k == 0 ? "" : " ") + line[k];
    }
    return out;
}

std::string RoffInline(const std::string& text) {
    std::string out;
    bool code = false, name = false;
    size_t at = 0;
    while (at < text.size()) {
        char c = text[at];
        if (c == '`') {
            out += code ? "\\fR" : "\\fB";
            code = !code;
            ++at;
        } else if (c == '*' && !code) {
            out += name ? "\\fR" : "\\fI";
            name = !name;
            ++at;
        } else if (c == '[' && !code) {
            // [text](link): the text alone.
            size_t close = text.find("](", at);
            size_t end = close == std::string::npos ? close : text.find(')', close);
            if (end == std::string::npos || text.find('[', at + 1) < close) {
                out += '[';
                ++at;
                continue;
            }
            out += RoffInline(text.substr(at + 1, close - at - 1));
            at = end + 1;
        } else {
            AppendRoffChar(out, text, &at, code);
        }
    }
    return out;
}

std::string RoffLiteral(const std::string& text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        AppendRoffChar(out, text, &at, true);
    }
    return out;
}

std::string RoffBlocks(const std::string& text, bool inTaggedParagraph) {
    std::string out;
    bool first = true;
    for (const Block& b : Blocks(text)) {
        if (b.kind == Block::kExample) {
            out += inTaggedParagraph ? (first ? "" : ".IP\n") : ".PP\n";
            out += ".RS 4\n.nf\n" + GuardLines(RoffLiteral(b.text)) + ".fi\n.RE\n";
        } else {
            if (b.kind == Block::kItem) {
                out += inTaggedParagraph ? ".RS\n.IP \\(bu 2\n" : ".IP \\(bu 2\n";
            } else if (!first) {
                out += inTaggedParagraph ? ".IP\n" : ".PP\n";
            }
            out += GuardLines(Wrap(RoffInline(b.text), 96, "")) + "\n";
            if (b.kind == Block::kItem && inTaggedParagraph) {
                out += ".RE\n";
            }
        }
        first = false;
    }
    return out;
}

std::string MarkdownBlocks(const std::string& text, const std::string& indent) {
    std::string out;
    for (const Block& b : Blocks(text)) {
        if (!out.empty()) {
            out += "\n" + indent;
        }
        if (b.kind == Block::kExample) {
            std::string lines;
            for (size_t from = 0; from < b.text.size();) {
                size_t end = b.text.find('\n', from);
                lines +=
                    (lines.empty() ? "" : indent) + "    " + b.text.substr(from, end - from) + "\n";
                from = end + 1;
            }
            out += lines;
        } else if (b.kind == Block::kItem) {
            out += "- " + Wrap(b.text, 100 - indent.size() - 2, indent + "  ", BadMarkdownStart) +
                   "\n";
        } else {
            out += Wrap(b.text, 100 - indent.size(), indent, BadMarkdownStart) + "\n";
        }
    }
    return out;
}

std::string PlainInline(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '`' && c != '*') {
            out += c;
        }
    }
    return out;
}

} // namespace surface
