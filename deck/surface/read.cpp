// Reads a surface declared outside C++ (the launcher's, in bash) from the lines its
// declaration prints. Each line is a keyword, a space and its argument:
//   program NAME | purpose TEXT | source FILES | synopsis FORM | footer TEXT
//   option NAMES VALUE KIND [repeat]   NAMES "-o,--output" or "--deck"; VALUE "-" for a flag;
//                                      KIND none, text, file, profile, column, count or choice
//   summary TEXT                       the option's --help line
//   choice NAME                        one of the option's choices
//   section TITLE | entry TERM         a section of the manual, a term of it
//   description | text                 markup on the following lines, up to a line "."
// A text belongs to what came last: an option, a choice, a section or an entry.
#include "deck/surface/surface.h"

#include "deck/surface/markup.h"

namespace surface {

namespace {

bool KindNamed(const std::string& name, Value* kind) {
    static const std::pair<const char*, Value> kKinds[] = {
        {"none", Value::None},       {"text", Value::Text},     {"file", Value::File},
        {"profile", Value::Profile}, {"column", Value::Column}, {"count", Value::Count},
        {"minutes", Value::Minutes}, {"choice", Value::Choice}};
    for (const auto& k : kKinds) {
        if (name == k.first) {
            *kind = k.second;
            return true;
        }
    }
    return false;
}

bool ReadOption(const std::string& argument, Option* option) {
    std::vector<std::string> w = Words(argument);
    if (w.size() < 3 || w.size() > 4 || (w.size() == 4 && w[3] != "repeat") ||
        !KindNamed(w[2], &option->kind) || (w[1] == "-") != (option->kind == Value::None)) {
        return false;
    }
    size_t comma = w[0].find(',');
    option->shortName = comma == std::string::npos ? "" : w[0].substr(0, comma);
    option->longName = comma == std::string::npos ? w[0] : w[0].substr(comma + 1);
    option->value = w[1] == "-" ? "" : w[1];
    option->repeat = w.size() == 4;
    return option->longName.compare(0, 2, "--") == 0;
}

} // namespace

bool ReadSurface(const std::string& text, Surface* s, std::string* error) {
    *s = Surface();
    std::string* into = nullptr;  // where the next text block goes
    std::string* block = nullptr; // the text block being read
    long number = 0;
    for (size_t from = 0; from < text.size();) {
        size_t end = text.find('\n', from);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(from, end - from);
        from = end + 1;
        ++number;
        if (block != nullptr) {
            if (line == ".") {
                block = nullptr;
            } else {
                *block += (block->empty() ? "" : "\n") + line;
            }
            continue;
        }
        size_t space = line.find(' ');
        std::string key = line.substr(0, space);
        std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
        bool ok = true;
        if (key.empty()) {
            continue;
        } else if (key == "program") {
            s->program = argument;
        } else if (key == "purpose") {
            s->purpose = argument;
        } else if (key == "source") {
            s->source = argument;
        } else if (key == "synopsis") {
            s->synopsis.push_back(argument);
        } else if (key == "footer") {
            s->helpFooter = argument;
        } else if (key == "option") {
            s->options.emplace_back();
            ok = ReadOption(argument, &s->options.back());
            into = &s->options.back().text;
        } else if (key == "summary" && !s->options.empty()) {
            s->options.back().summary = argument;
        } else if (key == "choice" && !s->options.empty()) {
            s->options.back().choices.push_back({argument, ""});
            into = &s->options.back().choices.back().text;
        } else if (key == "section") {
            s->sections.push_back({argument, "", {}});
            into = &s->sections.back().text;
        } else if (key == "entry" && !s->sections.empty()) {
            s->sections.back().entries.push_back({argument, ""});
            into = &s->sections.back().entries.back().text;
        } else if (key == "description") {
            block = &s->description;
        } else if (key == "text" && into != nullptr) {
            block = into;
        } else {
            ok = false;
        }
        if (!ok) {
            *error = "line " + std::to_string(number) + ": not understood: " + line;
            return false;
        }
    }
    if (block != nullptr || s->program.empty()) {
        *error = block != nullptr ? "a text runs on to the end (no line \".\")" : "no program";
        return false;
    }
    return true;
}

} // namespace surface
