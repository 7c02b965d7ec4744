// What every renderer of a surface asks of it, and --help.
#include "deck/surface/surface.h"

#include "deck/surface/markup.h"

#include <algorithm>

namespace surface {

std::string OptionNames(const Option& option) {
    return option.shortName.empty() ? option.longName : option.shortName + ", " + option.longName;
}

std::string OptionTerm(const Option& option) {
    return OptionNames(option) + (option.value.empty() ? "" : " " + option.value);
}

const Option* FindOption(const Surface& surface, const std::string& name) {
    for (const Option& option : surface.options) {
        if (option.longName == name || (!option.shortName.empty() && option.shortName == name)) {
            return &option;
        }
    }
    return nullptr;
}

bool TakesOption(const Option& option, const std::string& command) {
    auto has = [&](const std::string& name) {
        return std::find(option.commands.begin(), option.commands.end(), name) !=
               option.commands.end();
    };
    return has(command) || (!command.empty() && has("*"));
}

std::string OptionCommands(const Option& option) {
    std::string out;
    if (!TakesOption(option, "")) {
        for (const std::string& command : option.commands) {
            out += (out.empty() ? "" : ", ") + command;
        }
    }
    return out;
}

std::vector<Form> Forms(const Surface& surface, bool all) {
    std::vector<Form> forms;
    for (const Command& command : surface.commands) {
        for (const std::string& form : command.synopsis) {
            forms.push_back({command.name + (form.empty() ? "" : " " + form), command.summary});
            if (!all) {
                break;
            }
        }
    }
    for (const std::string& form : surface.synopsis) {
        forms.push_back({form, ""});
    }
    // The options of a program with commands that it takes itself (--help, --version).
    std::string own;
    for (const Option& option : surface.options) {
        if (!surface.commands.empty() && TakesOption(option, "")) {
            own += (own.empty() ? "" : " | ") + option.longName;
        }
    }
    if (!own.empty()) {
        forms.push_back({own, ""});
    }
    return forms;
}

std::string RenderHelp(const Surface& surface, const std::string& command) {
    std::string out;
    const std::string lead = "usage: ";
    const std::string more(lead.size(), ' ');
    std::vector<Form> forms;
    for (const Form& form : Forms(surface, !command.empty())) {
        if (command.empty() || form.text.compare(0, command.size() + 1, command + " ") == 0 ||
            form.text == command) {
            forms.push_back(command.empty() ? form : Form{form.text, ""});
        }
    }
    const std::string& shown = command.empty() ? surface.mainCommand : command;
    size_t width = 0;
    for (const auto& form : forms) {
        width = std::max(width, form.text.size());
    }
    for (size_t i = 0; i < forms.size(); ++i) {
        std::string line = (i == 0 ? lead : more) + surface.program + " " + forms[i].text;
        if (!forms[i].summary.empty()) {
            line += std::string(width - forms[i].text.size() + 2, ' ') + forms[i].summary;
        }
        out += line + "\n";
    }
    // The options of the commands, or all of a program without commands.
    std::vector<const Option*> listed;
    size_t column = 0;
    for (const Option& option : surface.options) {
        if (surface.commands.empty() ||
            (!TakesOption(option, "") && (shown.empty() || TakesOption(option, shown)))) {
            listed.push_back(&option);
            column = std::max(column, OptionTerm(option).size());
        }
    }
    out += "\n";
    for (const Option* option : listed) {
        std::string summary = PlainInline(option->summary);
        if (!option->choices.empty()) {
            std::string names;
            for (const Choice& choice : option->choices) {
                names += (names.empty() ? "" : ", ") + choice.name +
                         (choice.name == option->byDefault ? " (default)" : "");
            }
            summary += ": " + names;
        }
        std::string term = OptionTerm(*option);
        out += "  " + term + std::string(column - term.size() + 2, ' ') + summary + "\n";
    }
    // The footer follows the options at once, at the margin, so that the whole fits a screen.
    if (!surface.helpFooter.empty()) {
        out += PlainInline(surface.helpFooter) + "\n";
    }
    return out;
}

} // namespace surface
