// Anki's header block, the separator of a text file, and the names of separators.
#include "deck/text/layout.h"

#include "deck/base/strings.h"

#include <stdlib.h>

namespace deck::text {

namespace {

// The line of the text that begins `at` bytes ahead, without consuming anything (LF and a CR
// before it removed), and in *next the offset after it. False at the end of the text and for
// a line over 64 KiB, which is no header line.
bool LineAt(TextInput& in, size_t at, std::string* line, size_t* next) {
    size_t want = at + 256;
    for (;;) {
        std::string_view view = in.Peek(want);
        if (view.size() <= at) {
            return false;
        }
        size_t lf = view.find('\n', at);
        if (lf == std::string_view::npos && view.size() >= want) {
            if (want - at >= (64u << 10)) {
                return false;
            }
            want = at + 2 * (want - at);
            continue;
        }
        size_t end = lf == std::string_view::npos ? view.size() : lf;
        line->assign(view.substr(at, end - at));
        if (!line->empty() && line->back() == '\r') {
            line->pop_back();
        }
        *next = lf == std::string_view::npos ? view.size() : lf + 1;
        return true;
    }
}

int ColumnNumber(const std::string& value) {
    std::string v = Trim(value);
    if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return atoi(v.c_str());
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> out;
    size_t from = 0;
    for (;;) {
        size_t at = text.find(separator, from);
        if (at == std::string::npos) {
            out.push_back(text.substr(from));
            return out;
        }
        out.push_back(text.substr(from, at - from));
        from = at + separator.size();
    }
}

} // namespace

std::string SeparatorFromName(const std::string& name) {
    std::string n = AsciiLower(name);
    if (n == "tab" || n == "\\t") {
        return "\t";
    }
    if (n == "comma") {
        return ",";
    }
    if (n == "semicolon") {
        return ";";
    }
    if (n == "space") {
        return " ";
    }
    if (n == "pipe") {
        return "|";
    }
    if (n == "colon") {
        return ":";
    }
    if (n == "newline" || n == "\\n" || n == "new line") {
        return "\n";
    }
    if (n == "\\r") {
        return "\r";
    }
    if (n == "\\\\") {
        return "\\";
    }
    return name;
}

TextLayout PeekAnkiHeader(TextInput& in) {
    constexpr size_t kMostHeaderBytes = 1u << 20;
    TextLayout layout;
    std::string line;
    size_t at = 0, next = 0;
    if (LineAt(in, at, &line, &next) && AsciiLower(line).rfind("tags:", 0) == 0) {
        layout.tagsLine = true;
        layout.lines = 1;
        at = next;
    }
    std::vector<std::string> columns;
    while (at < kMostHeaderBytes && LineAt(in, at, &line, &next) && !line.empty() &&
           line[0] == '#') {
        ++layout.lines;
        at = next;
        size_t colon = line.find(':');
        std::string key =
            colon == std::string::npos ? "" : AsciiLower(Trim(line.substr(1, colon - 1)));
        std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
        if (key == "separator") {
            std::string s = SeparatorFromName(Trim(value));
            if (s.empty() && !value.empty()) {
                s = value.substr(0, 1); // "#separator: " is a space
            }
            if (s.size() == 1) {
                layout.separator = s[0];
            }
        } else if (key == "html") {
            layout.html = AsciiLower(Trim(value)) == "true" ? 1 : 0;
        } else if (key == "columns") {
            columns.push_back(value);
        } else if (key == "guid column" || key == "notetype column" || key == "deck column" ||
                   key == "tags column") {
            layout.notText.push_back(ColumnNumber(value));
        } else if (key != "tags" && key != "deck" && key != "notetype" && key != "match scope" &&
                   key != "if matches") {
            ++layout.comments; // an unknown key, or no key at all
            continue;
        }
        layout.options = true;
    }
    layout.header = layout.tagsLine || layout.options;
    // Columns named like Anki's own guid, note type, deck and tags columns are not card text.
    if (!columns.empty()) {
        std::string sep(1, layout.separator != 0 ? layout.separator : '\t');
        std::vector<std::string> names = Split(columns.back(), sep);
        for (size_t i = 0; i < names.size(); ++i) {
            std::string n = AsciiLower(Trim(names[i]));
            if (n == "guid" || n == "notetype" || n == "note type" || n == "deck" || n == "tags") {
                layout.notText.push_back(static_cast<int>(i + 1));
            }
        }
    }
    return layout;
}

char DetectSeparator(std::string_view sample) {
    static const char kOrder[] = {'\t', '|', ';', ':', ',', ' '};
    // Only complete lines count for "on every line".
    size_t lastLf = sample.rfind('\n');
    std::string_view lines = lastLf == std::string_view::npos ? sample : sample.substr(0, lastLf);
    for (char c : kOrder) {
        bool everyLine = true, any = false;
        size_t from = 0;
        while (from <= lines.size()) {
            size_t lf = lines.find('\n', from);
            std::string_view line = lines.substr(
                from, lf == std::string_view::npos ? std::string_view::npos : lf - from);
            if (line.find_first_not_of(" \t\r") != std::string_view::npos && line.front() != '#') {
                any = true;
                if (line.find(c) == std::string_view::npos) {
                    everyLine = false;
                    break;
                }
            }
            if (lf == std::string_view::npos) {
                break;
            }
            from = lf + 1;
        }
        if (any && everyLine) {
            return c;
        }
    }
    for (char c : kOrder) {
        if (sample.find(c) != std::string_view::npos) {
            return c;
        }
    }
    return ' ';
}

} // namespace deck::text
