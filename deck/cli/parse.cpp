// tollamy-deck's parser, bound from the declared surface: CLI11 splits the line into the
// command, its options and its files; the declaration's kinds check the values.
#include "deck/cli/parse.h"

#include <stdlib.h>

namespace deck::cli {

namespace {

using surface::Option;
using surface::Value;

// The name an option goes by in messages: the short one where it has one, as it is typed.
std::string NameOf(const Option& option) {
    return option.shortName.empty() ? option.longName : option.shortName;
}

bool InRange(const std::string& text, long most, long least = 1) {
    char* end = nullptr;
    long v = strtol(text.c_str(), &end, 10);
    return end != text.c_str() && *end == 0 && v >= least && v <= most;
}

// Empty when `value` suits the option, else the message.
std::string CheckValue(const Option& option, const std::string& value) {
    std::string needs = "option " + NameOf(option) + " needs a value";
    switch (option.kind) {
    case Value::None:
        return std::string();
    case Value::Column:
        return InRange(value, 1000) ? std::string() : needs + " (a column number from 1)";
    case Value::Count:
        return InRange(value, 1000000) ? std::string() : needs + " (a number of cards from 1)";
    case Value::Minutes:
        return InRange(value, 1440, 0) ? std::string() : needs + " (minutes from 0 to 1440)";
    case Value::Choice: {
        if (value.empty()) {
            return needs;
        }
        std::string names;
        for (const surface::Choice& choice : option.choices) {
            if (choice.name == value) {
                return std::string();
            }
            names += (names.empty() ? "" : ", ") + choice.name;
        }
        return "unknown " + option.longName.substr(2) + " '" + value + "' (" + names + ")";
    }
    default:
        return value.empty() ? needs : std::string();
    }
}

// The message for a word that `command` does not know ("" before any command).
std::string UnknownWord(const surface::Surface& s, const std::string& command,
                        const std::string& word) {
    if (command.empty() && (word.empty() || word[0] != '-')) {
        std::string names;
        for (size_t i = 0; i < s.commands.size(); ++i) {
            names += (i == 0                       ? ""
                      : i + 1 == s.commands.size() ? " or "
                                                   : ", ") +
                     s.commands[i].name;
        }
        return "unknown command '" + word + "' (" + names + ")";
    }
    const Option* option = surface::FindOption(s, word.substr(0, word.find('=')));
    if (option != nullptr && !option->elsewhere.empty() && !command.empty()) {
        std::string message = option->elsewhere;
        size_t at = message.find("%s");
        return at == std::string::npos ? message : message.replace(at, 2, command);
    }
    return "unknown option '" + word + "'" + (command.empty() ? "" : " for " + command);
}

// The values given for `option`, on the program and on the command.
std::vector<std::string> ValuesOf(const CLI::App& app, const CLI::App* sub, const Option& o) {
    std::vector<std::string> values;
    for (const CLI::App* where : {&app, sub}) {
        if (where == nullptr) {
            continue;
        }
        const CLI::Option* bound = where->get_option_no_throw(o.longName);
        if (bound != nullptr && bound->count() > 0) {
            const std::vector<std::string>& r = bound->results();
            values.insert(values.end(), r.begin(), r.end());
        }
    }
    return values;
}

} // namespace

std::unique_ptr<CLI::App> BindParser(const surface::Surface& s) {
    auto app = std::make_unique<CLI::App>(s.purpose, s.program);
    app->set_help_flag();
    // On Windows CLI11 would take /word for an option; there it is a path (an absolute one
    // under Wine). The subcommands inherit this.
    app->allow_windows_style_options(false);
    app->allow_extras();
    app->require_subcommand(0, 1);
    for (const surface::Command& command : s.commands) {
        CLI::App* sub = app->add_subcommand(command.name, command.summary);
        sub->set_help_flag();
        sub->allow_extras();
        sub->add_option("files")->expected(0, -1)->allow_extra_args();
    }
    for (const Option& o : s.options) {
        const std::string names = o.shortName.empty() ? o.longName : o.shortName + "," + o.longName;
        auto bind = [&](CLI::App* to) {
            CLI::Option* bound = o.kind == Value::None
                                     ? to->add_flag(names, o.summary)
                                     : to->add_option(names, o.summary)->expected(0, 1);
            // Every value is kept; the declaration decides what a second one means.
            bound->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        };
        if (surface::TakesOption(o, "")) {
            bind(app.get());
        }
        for (const surface::Command& command : s.commands) {
            if (surface::TakesOption(o, command.name)) {
                bind(app->get_subcommand(command.name));
            }
        }
    }
    return app;
}

ParsedLine ParseLine(const surface::Surface& s, int argc, char** argv) {
    ParsedLine line;
    std::unique_ptr<CLI::App> app = BindParser(s);
    try {
        app->parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        line.error = e.what();
    }
    CLI::App* sub = nullptr;
    for (CLI::App* parsed : app->get_subcommands()) {
        sub = parsed;
        line.command = parsed->get_name();
    }
    // An option that ends the run at once (--help, --version) counts whatever else is wrong.
    for (const Option& o : s.options) {
        if (o.kind == Value::None && surface::TakesOption(o, "") && o.store &&
            !ValuesOf(*app, sub, o).empty()) {
            o.store("");
        }
    }
    if (!line.error.empty()) {
        return line;
    }
    std::vector<std::string> extras = app->remaining();
    if (!extras.empty()) {
        line.error = UnknownWord(s, "", extras.front());
        return line;
    }
    if (sub != nullptr) {
        for (const std::string& word : sub->remaining()) {
            if (word.size() > 1 && word[0] == '-') {
                line.error = UnknownWord(s, line.command, word);
                return line;
            }
        }
        const CLI::Option* files = sub->get_option_no_throw("files");
        if (files != nullptr) {
            line.files = files->results();
        }
    }
    for (const Option& o : s.options) {
        const std::vector<std::string> values = ValuesOf(*app, sub, o);
        // One value is meant: a second one would silently win over the first.
        if (values.size() > 1 && !o.repeat) {
            line.error = "option " + NameOf(o) + " is given twice; give it once";
            return line;
        }
        for (const std::string& value : values) {
            line.error = CheckValue(o, value);
            if (!line.error.empty()) {
                return line;
            }
        }
    }
    for (const Option& o : s.options) {
        if (o.store) {
            for (const std::string& value : ValuesOf(*app, sub, o)) {
                o.store(value);
            }
        }
    }
    return line;
}

} // namespace deck::cli
