// tollamy-deck's command line.
#include "deck/cli.h"

#include "deck/anki_decks.h"
#include "deck/anki_due.h"
#include "deck/anki_profile.h"
#include "deck/anki_source.h"
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
    "       scripts/deck decks INPUT        scripts/deck profiles\n"
    "\n"
    "import   writes a deck the item reads: UTF-16LE with FF FE, CR LF, question TAB answer\n"
    "  --format F        auto (default), anki, csv, tsv, text or apkg (an Anki package)\n"
    "  --deck NAME       Anki: only the cards in this deck and its subdecks\n"
    "  --due             Anki: only today's due cards, as Anki shows them; --new N adds N new\n"
    "  --anki-profile P  Anki: read profile P's collection instead of INPUT (also for decks)\n"
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
    "decks    lists the decks of an Anki input: notes, cards, due today, new\n"
    "profiles lists Anki's profiles (in $ANKI_BASE, else ~/.local/share/Anki2)\n"
    "\n"
    "Exit status: 0 done, 1 failed (nothing written), 2 bad arguments or inapplicable options.\n";

int Usage(FILE* err, const std::string& text) {
    fprintf(err, "tollamy-deck: error: %s\n", text.c_str());
    fprintf(err, "Try 'scripts/deck --help'.\n");
    return 2;
}

bool ParseNumber(const char* text, long most, long* number) {
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || *end != 0 || v < 1 || v > most) {
        return false;
    }
    *number = v;
    return true;
}

bool ParseColumn(const char* text, int* column) {
    long v = 0;
    if (!ParseNumber(text, 1000, &v)) {
        return false;
    }
    *column = static_cast<int>(v);
    return true;
}

// `profiles`: Anki's profiles, one per line; status 1 when there is none.
int RunProfiles(FILE* out, FILE* err) {
    const std::string base = AnkiBaseFolder();
    std::vector<std::string> profiles = AnkiProfiles(base);
    if (profiles.empty()) {
        fprintf(err,
                "tollamy-deck: error: no Anki profile in %s (set ANKI_BASE to Anki's folder)\n",
                base.c_str());
        return 1;
    }
    for (const std::string& name : profiles) {
        fprintf(out, "%s\n", name.c_str());
    }
    return 0;
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
    if (command != "import" && command != "check" && command != "export" && command != "decks" &&
        command != "profiles") {
        return Usage(err, "unknown command '" + command +
                              "' (import, check, export, decks or profiles)");
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
        } else if (a == "--anki-profile" && (command == "import" || command == "decks")) {
            ok = value(&import.ankiProfile) && !import.ankiProfile.empty();
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
        } else if (a == "--due") {
            import.due = true;
        } else if (a == "--new") {
            ok = value(&number) && ParseNumber(number.c_str(), 1000000, &import.newCards);
        } else {
            return Usage(err, "unknown option '" + a + "' for import");
        }
        if (!ok) {
            return Usage(err, "option " + a + " needs a value" +
                                  (a == "--question" || a == "--answer"
                                       ? std::string(" (a column number from 1)")
                                   : a == "--new" ? std::string(" (a number of cards from 1)")
                                                  : std::string()));
        }
    }
    if (command == "profiles") {
        return files.empty() ? RunProfiles(out, err) : Usage(err, "profiles takes no file");
    }
    if (!import.ankiProfile.empty()) {
        // The profile's collection is the input.
        if (!files.empty()) {
            return Usage(err, "give " + command + " INPUT or --anki-profile NAME, not both");
        }
        files.push_back("");
    }
    if (files.size() != 1) {
        return Usage(
            err, command + " takes one " +
                     (command == "import" || command == "decks" ? std::string("INPUT") : "DECK") +
                     " file");
    }
    if (command == "decks") {
        if (!import.output.empty() || import.force) {
            return Usage(err, "decks writes nothing: -o and --force do not apply");
        }
        return RunDecks({files[0], import.ankiProfile}, out, err);
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
    if (import.newCards != 0 && !import.due) {
        return Usage(err, "--new N adds new cards to the due ones: give --due as well");
    }
    if (import.due) {
        // A missing file is the import's error; a file of another kind is a wrong option.
        FILE* probe = import.ankiProfile.empty() ? fopen(import.input.c_str(), "rb") : nullptr;
        if (probe != nullptr) {
            fclose(probe);
        }
        if ((probe != nullptr && !LooksLikeAnki(import.input)) ||
            (import.format != "auto" && import.format != "apkg")) {
            return Usage(err, "--due reads Anki collections and packages only");
        }
        return RunDueImport(import, err);
    }
    return RunImport(import, err);
}

} // namespace deck
