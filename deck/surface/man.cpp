// A surface as a man(7) page: NAME, SYNOPSIS, DESCRIPTION with a subsection per command,
// OPTIONS, then the surface's own sections.
#include "deck/surface/markup.h"
#include "deck/surface/surface.h"

#include <ctype.h>

namespace surface {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

// One synopsis form: the program, the command and the options bold, the names the reader
// replaces italic, brackets, bars and dots roman.
std::string SynopsisLine(const std::string& program, const std::string& form) {
    std::string out = "\\fB" + RoffLiteral(program) + "\\fR";
    bool first = true;
    size_t from = 0;
    while (from < form.size()) {
        size_t end = form.find(' ', from);
        end = end == std::string::npos ? form.size() : end;
        std::string word = form.substr(from, end - from);
        from = end + 1;
        size_t begin = word.find_first_not_of("[(");
        size_t last = word.find_last_not_of("])|.");
        out += " ";
        if (begin == std::string::npos || last == std::string::npos || last < begin) {
            out += RoffLiteral(word);
            continue;
        }
        std::string core = word.substr(begin, last - begin + 1);
        bool literal = core[0] == '-' || (first && !program.empty() && islower(core[0]));
        out += RoffLiteral(word.substr(0, begin)) + (literal ? "\\fB" : "\\fI") +
               RoffLiteral(core) + "\\fR" + RoffLiteral(word.substr(last + 1));
        first = false;
    }
    return out;
}

std::string OptionHeading(const Option& option) {
    std::string out = "\\fB" +
                      RoffLiteral(option.shortName.empty() ? option.longName : option.shortName) +
                      "\\fR";
    if (!option.shortName.empty()) {
        out += ", \\fB" + RoffLiteral(option.longName) + "\\fR";
    }
    if (!option.value.empty()) {
        out += " \\fI" + RoffLiteral(option.value) + "\\fR";
    }
    std::string commands = OptionCommands(option);
    if (!commands.empty()) {
        out += " (" + commands + ")";
    }
    return out;
}

} // namespace

std::string RenderMan(const Surface& s) {
    std::string out;
    out += ".\\\" Made by tollamy-surface from " + s.source + "; do not edit.\n";
    out += ".TH " + RoffLiteral(Upper(s.program)) + " 1 \"" + s.date + "\" \"Tollamy " + s.version +
           "\" \"User Commands\"\n";
    // Commands, options and file names are never hyphenated.
    out += ".nh\n";
    out += ".SH NAME\n" + RoffLiteral(s.program) + " \\- " + RoffInline(s.purpose) + "\n";
    out += ".SH SYNOPSIS\n";
    bool first = true;
    auto synopsis = [&](const std::string& line) {
        out += (first ? "" : ".br\n") + line + "\n";
        first = false;
    };
    for (const Form& form : Forms(s, true)) {
        synopsis(SynopsisLine(s.program, form.text));
    }
    out += ".SH DESCRIPTION\n" + RoffBlocks(s.description, false);
    for (const Command& command : s.commands) {
        out += ".SS " + RoffLiteral(command.name) + "\n" + RoffBlocks(command.text, false);
    }
    out += ".SH OPTIONS\n";
    for (const Option& option : s.options) {
        out += ".TP\n" + OptionHeading(option) + "\n" + RoffBlocks(option.text, true);
        if (!option.choices.empty()) {
            out += ".RS\n";
            for (const Choice& choice : option.choices) {
                out += ".TP\n\\fB" + RoffLiteral(choice.name) + "\\fR" +
                       (choice.name == option.byDefault ? " (the default)" : "") + "\n" +
                       RoffBlocks(choice.text, true);
            }
            out += ".RE\n";
        }
    }
    for (const Section& section : s.sections) {
        out += ".SH " + RoffLiteral(Upper(section.title)) + "\n" + RoffBlocks(section.text, false);
        for (const Entry& entry : section.entries) {
            out += ".TP\n" + RoffInline(entry.term) + "\n" + RoffBlocks(entry.text, true);
        }
    }
    return out;
}

} // namespace surface
