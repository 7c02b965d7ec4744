// A command-line program's surface, declared once: its commands, its options and the prose of
// its manual. --help, the man page, the Markdown reference and the bash completion are all
// rendered from one Surface (surface.cpp, man.cpp, markdown.cpp, completion.cpp), and
// tollamy-deck's parser is bound from it (cli/parse.cpp). Prose is written in the small markup
// of markup.h.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace surface {

// What an option's value is: how it is checked and how the completion offers it.
enum class Value {
    None,    // a flag: no value
    Text,    // any text but the empty one
    Column,  // a column number, 1 to 1000
    Count,   // a number of cards, 1 to 1000000
    Minutes, // a number of minutes, 0 to 1440 (a day)
    Choice,  // one of the option's choices
    File,    // a file name
    Profile, // the name of an Anki profile (the completion asks `tollamy-deck profiles`)
};

struct Choice {
    std::string name;
    std::string text; // the manual's line for it
};

struct Option {
    std::string shortName; // "-o", or empty
    std::string longName;  // "--output"
    std::string value;     // "OUTPUT"; empty for a flag
    Value kind = Value::None;
    // The commands that take it: "" the program itself, before any command; "*" every
    // command. A surface without commands puts none here.
    std::vector<std::string> commands;
    std::string summary; // --help: what follows the name, on one line
    std::string text;    // the manual
    std::vector<Choice> choices;
    std::string byDefault; // the choice taken without the option
    bool repeat = false;   // may be given more than once, each value counting
    // The message for a command that does not take it, with %s for the command; empty: the
    // option is unknown there.
    std::string elsewhere;
    // Where the parser puts each value given ("" for a flag); empty for a surface that is
    // only rendered.
    std::function<void(const std::string& value)> store;
};

struct Command {
    std::string name;
    // What follows the program and the command, one form per line; --help shows the first.
    std::vector<std::string> synopsis;
    std::string summary; // --help: one line
    std::string text;    // the manual
};

// A term and its text, as in ENVIRONMENT or FILES.
struct Entry {
    std::string term; // markup
    std::string text;
};

// A section of the manual after the options ("Exit status", "See also").
struct Section {
    std::string title;
    std::string text;
    std::vector<Entry> entries;
};

struct Surface {
    std::string program; // "tollamy-deck"
    std::string version; // "0.10.0"
    std::string date;    // the manual's date, YYYY-MM-DD
    std::string purpose; // the manual's NAME line: "import, check and export Tollamy decks"
    // The synopsis of a program without commands (after the program's name).
    std::vector<std::string> synopsis;
    std::string description;
    std::vector<Command> commands;
    std::vector<Option> options;
    std::vector<Section> sections;
    // The command whose options the program's --help lists beside the program's own; the
    // others' are listed by COMMAND --help. Empty: every option.
    std::string mainCommand;
    std::string helpFooter; // --help's last line
    std::string source;     // the files it is declared in, named in the generated files
};

// The names of an option as --help and the manual show them: "-o, --output".
std::string OptionNames(const Option& option);
// "-o, --output OUTPUT".
std::string OptionTerm(const Option& option);
const Option* FindOption(const Surface& surface, const std::string& name);
bool TakesOption(const Option& option, const std::string& command);
// The commands that take an option, "import, export"; empty for an option of the program
// itself, which every command takes.
std::string OptionCommands(const Option& option);

// The synopsis: each form after the program's name, with its command's summary. `all`: every
// form of each command, else the first.
struct Form {
    std::string text;
    std::string summary;
};
std::vector<Form> Forms(const Surface& surface, bool all);

// Renderers, each a complete file. --help of `command` ("": the program's) lists every form of
// that command and its options.
std::string RenderHelp(const Surface& surface, const std::string& command = "");
std::string RenderMan(const Surface& surface);
std::string RenderMarkdown(const Surface& surface);
std::string RenderCompletion(const Surface& surface);

// Reads a surface from the line format that scripts/launcher-options.sh prints (read.cpp).
// False with a message naming the line when the text is not that format.
bool ReadSurface(const std::string& text, Surface* surface, std::string* error);

} // namespace surface
