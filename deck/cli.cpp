// tollamy-deck's command line.
#include "deck/cli.h"

#include "deck/deckscan.h"
#include "deck/import.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace deck {

namespace {

const char kHelp[] =
    "usage: scripts/deck import INPUT -o OUTPUT [options]\n"
    "       scripts/deck check DECK [--strict]\n"
    "       scripts/deck export DECK -o OUTPUT [--force]\n"
    "\n"
    "import   writes a deck the item reads: UTF-16LE with FF FE, CR LF, question TAB answer\n"
    "  --format F        auto (default), anki, csv, tsv, text or apkg (an Anki package)\n"
    "  --deck NAME       apkg: only the notes in this Anki deck and its subdecks\n"
    "                    (a note gives one card: its cloze gaps, else its fields 1 and 2)\n"
    "  --encoding NAME   the input's encoding (default: byte-order mark, UTF-8, or a guess)\n"
    "  --field-sep S     text format: between question and answer (Tab, Comma, ... or S)\n"
    "  --card-sep S      text format: between cards (Newline, Semicolon, ... or S)\n"
    "  --question N      the question's column (1-based); --answer M the answer's\n"
    "  --header          skips the first record (a row of column titles)\n"
    "  --swap            exchanges question and answer\n"
    "  --force           replaces an existing OUTPUT\n"
    "check    tells what the item will make of DECK: FILE:LINE: warning|error: text,\n"
    "         then \"N cards, W warnings, E errors\"; --strict makes warnings errors\n"
    "export   writes DECK's cards as UTF-8 TSV for Anki (#separator:tab, #html:false)\n"
    "\n"
    "Exit status: 0 done, 1 failed (nothing written), 2 bad arguments (also an option that\n"
    "does not apply to the input's format).\n";

int Usage(FILE* err, const std::string& text) {
    fprintf(err, "tollamy-deck: error: %s\n", text.c_str());
    fprintf(err, "Try 'scripts/deck --help'.\n");
    return 2;
}

bool ParseColumn(const char* text, int* column) {
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || *end != 0 || v < 1 || v > 1000) {
        return false;
    }
    *column = static_cast<int>(v);
    return true;
}

} // namespace

int RunCommandLine(int argc, char** argv, FILE* out, FILE* err) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            fputs(kHelp, out);
            return 0;
        }
    }
    if (args.empty()) {
        fputs(kHelp, err);
        return 2;
    }
    std::string command = args[0];
    if (command != "import" && command != "check" && command != "export") {
        return Usage(err, "unknown command '" + command + "' (import, check or export)");
    }
    ImportOptions import;
    bool strict = false;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* to) {
            if (i + 1 >= args.size()) {
                return false;
            }
            *to = args[++i];
            return true;
        };
        bool ok = true;
        std::string number;
        if (a == "-o" || a == "--output") {
            ok = value(&import.output);
        } else if (a == "--force") {
            import.force = true;
        } else if (a == "--strict" && command == "check") {
            strict = true;
        } else if (command != "import" || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            if (!a.empty() && a[0] == '-' && a != "-") {
                return Usage(err, "unknown option '" + a + "' for " + command);
            }
            files.push_back(a);
            continue;
        } else if (a == "--format") {
            ok = value(&import.format);
        } else if (a == "--encoding") {
            ok = value(&import.encoding);
        } else if (a == "--field-sep") {
            ok = value(&import.fieldSeparator) && !import.fieldSeparator.empty();
        } else if (a == "--card-sep") {
            ok = value(&import.cardSeparator) && !import.cardSeparator.empty();
        } else if (a == "--question") {
            ok = value(&number) && ParseColumn(number.c_str(), &import.question);
        } else if (a == "--answer") {
            ok = value(&number) && ParseColumn(number.c_str(), &import.answer);
        } else if (a == "--deck") {
            ok = value(&import.ankiDeck) && !import.ankiDeck.empty();
        } else if (a == "--swap") {
            import.swap = true;
        } else if (a == "--header") {
            import.header = true;
        } else {
            return Usage(err, "unknown option '" + a + "' for import");
        }
        if (!ok) {
            return Usage(err, "option " + a + " needs a value" +
                                  (a == "--question" || a == "--answer"
                                       ? std::string(" (a column number from 1)")
                                       : std::string()));
        }
    }
    if (files.size() != 1) {
        return Usage(err, command + " takes one " +
                              (command == "import" ? std::string("INPUT") : "DECK") + " file");
    }
    if (command == "check") {
        if (!import.output.empty() || import.force) {
            return Usage(err, "check writes nothing: -o and --force do not apply");
        }
        CheckOptions check;
        check.deck = files[0];
        check.strict = strict;
        return RunCheck(check, out, err);
    }
    if (import.output.empty()) {
        return Usage(err, command + " needs -o OUTPUT");
    }
    if (command == "export") {
        ExportOptions exp;
        exp.deck = files[0];
        exp.output = import.output;
        exp.force = import.force;
        return RunExport(exp, err);
    }
    import.input = files[0];
    if (import.question != 0 && import.question == import.answer) {
        return Usage(err, "--question and --answer name the same column");
    }
    return RunImport(import, err);
}

} // namespace deck
