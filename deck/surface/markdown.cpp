// A surface as the Markdown reference in docs/: the same sections and texts as the man page.
#include "deck/surface/markup.h"
#include "deck/surface/surface.h"

namespace surface {

namespace {

std::string Code(const std::string& text) {
    return "`" + text + "`";
}

std::string OptionItem(const Option& option) {
    std::string out = "- " + Code(option.shortName.empty() ? option.longName : option.shortName);
    if (!option.shortName.empty()) {
        out += ", " + Code(option.longName);
    }
    if (!option.value.empty()) {
        out += " *" + option.value + "*";
    }
    std::string commands = OptionCommands(option);
    if (!commands.empty()) {
        out += " (" + commands + ")";
    }
    // The text begins on the next line of the same item.
    out += "\\\n  " + MarkdownBlocks(option.text, "  ");
    for (const Choice& choice : option.choices) {
        out += "\n  - " +
               MarkdownBlocks(Code(choice.name) +
                                  (choice.name == option.byDefault ? " (the default)" : "") + ": " +
                                  choice.text,
                              "    ");
    }
    return out;
}

} // namespace

std::string RenderMarkdown(const Surface& s) {
    std::string out;
    out += "<!-- Made by tollamy-surface from " + s.source +
           ",\n     like the man page and --help: do not edit. Regenerate it with\n"
           "     cmake -S deck -B build/deck-native && cmake --build build/deck-native "
           "--target update-docs -->\n";
    out += "# " + s.program + "\n\n" + s.program + " — " + s.purpose + "\n\n";
    out += "## Synopsis\n\n";
    for (const Form& form : Forms(s, true)) {
        out += "    " + s.program + (form.text.empty() ? "" : " " + form.text) + "\n";
    }
    out += "\n## Description\n\n" + MarkdownBlocks(s.description, "");
    if (!s.commands.empty()) {
        out += "\n## Commands\n";
        for (const Command& command : s.commands) {
            out += "\n### " + command.name + "\n\n" + MarkdownBlocks(command.text, "");
        }
    }
    out += "\n## Options\n\n";
    bool first = true;
    for (const Option& option : s.options) {
        out += (first ? "" : "\n") + OptionItem(option);
        first = false;
    }
    for (const Section& section : s.sections) {
        out += "\n## " + section.title + "\n";
        if (!section.text.empty()) {
            out += "\n" + MarkdownBlocks(section.text, "");
        }
        for (const Entry& entry : section.entries) {
            out += "\n- " + entry.term + "\\\n  " + MarkdownBlocks(entry.text, "  ");
        }
    }
    return out;
}

} // namespace surface
