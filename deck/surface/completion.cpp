// A surface as a bash completion: commands, each command's options, the choices of an option
// such as --format, Anki's profiles, and file names where a file is wanted.
#include "deck/surface/surface.h"

namespace surface {

namespace {

std::string Join(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) {
        out += (out.empty() ? "" : " ") + w;
    }
    return out;
}

// The long names of the options that `command` takes ("" for the program itself); the short
// ones are shorter to type than to choose.
std::string OptionWords(const Surface& s, const std::string& command) {
    std::vector<std::string> words;
    for (const Option& option : s.options) {
        if (s.commands.empty() || TakesOption(option, command)) {
            words.push_back(option.longName);
        }
    }
    return Join(words);
}

// The case patterns of the options whose value is of `kind`.
std::string ValuePattern(const Surface& s, Value kind) {
    std::vector<std::string> names;
    for (const Option& option : s.options) {
        if (option.kind == kind) {
            if (!option.shortName.empty()) {
                names.push_back(option.shortName);
            }
            names.push_back(option.longName);
        }
    }
    std::string out;
    for (const std::string& n : names) {
        out += (out.empty() ? "" : " | ") + n;
    }
    return out;
}

std::string FunctionName(const std::string& program) {
    std::string name = "_" + program;
    for (char& c : name) {
        if (c == '-') {
            c = '_';
        }
    }
    return name;
}

} // namespace

std::string RenderCompletion(const Surface& s) {
    const std::string f = FunctionName(s.program);
    std::string out;
    out += "# bash completion for " + s.program + "\n";
    out += "# Made by tollamy-surface from " + s.source + "; do not edit.\n\n";
    out += f + "_files() {\n"
               "    compopt -o filenames 2>/dev/null\n"
               "    mapfile -t COMPREPLY < <(compgen -f -- \"$1\")\n"
               "}\n\n";
    out += f + "_profiles() {\n"
               "    local p\n"
               "    while IFS= read -r p; do\n"
               "        [[ $p == \"$1\"* ]] && COMPREPLY+=(\"$(printf '%q' \"$p\")\")\n"
               "    done < <(tollamy-deck profiles 2>/dev/null)\n"
               "}\n\n";
    out += f + "() {\n";
    out += "    local cur=${COMP_WORDS[COMP_CWORD]} prev=\"\" command=\"\" i\n";
    out += "    COMPREPLY=()\n";
    out += "    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n";
    out += "    # bash splits --option=value at the =.\n";
    out += "    if [[ $cur == = ]]; then\n"
           "        cur=\"\"\n"
           "    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
           "        prev=${COMP_WORDS[COMP_CWORD - 2]}\n"
           "    fi\n";
    std::vector<std::string> commands;
    for (const Command& command : s.commands) {
        commands.push_back(command.name);
    }
    if (!commands.empty()) {
        std::string alternatives;
        for (const std::string& c : commands) {
            alternatives += (alternatives.empty() ? "" : " | ") + c;
        }
        out += "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
               "        case ${COMP_WORDS[i]} in\n"
               "        " +
               alternatives +
               ")\n"
               "            command=${COMP_WORDS[i]}\n"
               "            break\n"
               "            ;;\n"
               "        esac\n"
               "    done\n";
    }
    // The value of the option before the cursor.
    out += "    case $prev in\n";
    for (const Option& option : s.options) {
        if (option.kind == Value::Choice) {
            std::vector<std::string> names;
            for (const Choice& choice : option.choices) {
                names.push_back(choice.name);
            }
            out += "    " + (option.shortName.empty() ? "" : option.shortName + " | ") +
                   option.longName + ")\n        mapfile -t COMPREPLY < <(compgen -W '" +
                   Join(names) + "' -- \"$cur\")\n        return\n        ;;\n";
        }
    }
    std::string files = ValuePattern(s, Value::File);
    if (!files.empty()) {
        out += "    " + files + ")\n        " + f + "_files \"$cur\"\n        return\n        ;;\n";
    }
    std::string profiles = ValuePattern(s, Value::Profile);
    if (!profiles.empty()) {
        out += "    " + profiles + ")\n        " + f +
               "_profiles \"$cur\"\n        return\n        ;;\n";
    }
    std::vector<std::string> typed;
    for (Value kind : {Value::Text, Value::Column, Value::Count, Value::Minutes}) {
        std::string p = ValuePattern(s, kind);
        if (!p.empty()) {
            typed.push_back(p);
        }
    }
    if (!typed.empty()) {
        std::string p;
        for (const std::string& t : typed) {
            p += (p.empty() ? "" : " | ") + t;
        }
        out += "    " + p + ")\n        return\n        ;;\n";
    }
    out += "    esac\n";
    if (commands.empty()) {
        out += "    if [[ $cur == -* ]]; then\n"
               "        mapfile -t COMPREPLY < <(compgen -W '" +
               OptionWords(s, "") +
               "' -- \"$cur\")\n"
               "    fi\n";
    } else {
        out += "    case $command in\n";
        out += "    \"\")\n        mapfile -t COMPREPLY < <(compgen -W '" + Join(commands) + " " +
               OptionWords(s, "") + "' -- \"$cur\")\n        ;;\n";
        for (const Command& command : s.commands) {
            bool takesFiles = false;
            for (const std::string& form : command.synopsis) {
                takesFiles = takesFiles || !form.empty();
            }
            out += "    " + command.name + ")\n";
            out += "        if [[ $cur == -* ]]; then\n"
                   "            mapfile -t COMPREPLY < <(compgen -W '" +
                   OptionWords(s, command.name) + "' -- \"$cur\")\n";
            if (takesFiles) {
                out += "        else\n            " + f + "_files \"$cur\"\n";
            }
            out += "        fi\n        ;;\n";
        }
        out += "    esac\n";
    }
    out += "}\ncomplete -F " + f + " " + s.program + "\n";
    return out;
}

} // namespace surface
