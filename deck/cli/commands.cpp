// tollamy-deck's commands: their forms, their --help lines and their text in the manual.
#include "deck/cli/options.h"

namespace deck::cli {

void DeclareCommands(surface::Surface& s) {
    s.commands.push_back(
        {"import",
         {"INPUT -o OUTPUT [options]",
          "(INPUT | --anki-profile NAME) --due [--new N] [--deck NAME] -o OUTPUT"},
         "writes a deck the item reads, from INPUT",
         "Writes *OUTPUT* as a deck that the item reads as it stands: UTF-16LE with the "
         "byte-order mark FF FE, CR LF line ends, one card per line, the question, a TAB, the "
         "answer. *INPUT* may be an Anki text export (with its `#separator:` and other header "
         "lines), CSV, TSV or text with other separators, in UTF-8, UTF-16 or an encoding that "
         "the tool guesses, a deck, or an Anki package, backup or collection (see \"Anki "
         "packages and collections\"). *INPUT* is never written.\n\n"
         "HTML in fields (`#html:true`, or, without that line, a tag or an entity in the first "
         "8 KiB) is turned into text: tags are removed, `<br>`, `<div>`, `<p>` and other blocks "
         "become a space, entities are decoded, and images, `[sound:...]` references, scripts "
         "and styles are dropped. A cloze deletion such as `{{c1::Paris::city}}` shows "
         "\"[city]\" (or \"[...]\" without a hint) in the question and \"Paris\" in the "
         "answer.\n\n"
         "Card text: TAB, CR, LF and other control characters become spaces, runs of white "
         "space (also no-break spaces) collapse to one, and the ends are trimmed. A row whose "
         "question and answer are both empty is skipped with a warning (blank lines are skipped "
         "silently). A field over 511 UTF-16 units is kept whole, with a warning that the item "
         "will cut it.\n\n"
         "An option that the input's format has no use for is an error (status 2), never "
         "ignored: `--question`, `--answer` or `--header` on a deck, `--field-sep` or "
         "`--card-sep` with any format but `text`, `--deck` or `--due` on anything but an Anki "
         "input.\n\n"
         "A file that is not text (an image, a program, a ZIP archive that is no Anki package) "
         "is refused with status 1. Memory stays bounded whatever the size of the input (about "
         "7 MiB for a million cards): a line over 4 MiB is cut there with a warning, and a "
         "quoted field that runs on past 4 MiB (a missing closing quote) is an error.\n\n"
         "One closing line on standard error tells what was done: `imported N cards from INPUT "
         "(ENCODING, FORMAT) to OUTPUT; C comment lines skipped; W warnings` (the comment count "
         "only when there were any), then the `--header` suggestion if any. *FORMAT* is the "
         "format really used: `text (Anki's rules)` for a text file without Anki's header."});
    s.commands.push_back(
        {"check",
         {"DECK [--strict]"},
         "tells what the item will make of DECK",
         "Reads *DECK* with exactly the item's card rules (the card store in Tollamy.dll "
         "compiles the same code) and prints diagnostics on standard error as `DECK:LINE: "
         "error|warning: text`, then `N cards, W warnings, E errors` on standard output, where "
         "*N* is the count that the item's index will hold.\n\n"
         "- Errors: no FF FE byte-order mark (with the encoding the file looks like, and the "
         "`tollamy-deck import` command that fixes it), a file of 4 GiB or more, a missing or "
         "unreadable file.\n"
         "- Warnings: a line hidden behind an empty bare-LF line (naming the card that swallows "
         "it), CR-only line ends, a field that the item cuts at 511 units, a line without a TAB "
         "(an empty answer), extra TAB-separated columns, an empty card, a NUL unit (the text "
         "after it is not shown), an unpaired surrogate, a trailing odd byte.\n\n"
         "The status is 0 without errors and 1 with errors."});
    s.commands.push_back(
        {"export",
         {"DECK -o OUTPUT [--force]"},
         "writes DECK's cards as UTF-8 TSV for Anki",
         "Writes the cards of *DECK*, exactly the question and the answer that the item shows "
         "for each, as UTF-8 TSV for Anki (\"File\", \"Import\"): `#separator:tab`, "
         "`#html:false`, then one card per line (a field with a quote, or a question that "
         "begins with `#`, is quoted). `import` of that file gives back the same deck, byte "
         "for byte, for a deck that `import` wrote. `-o -` writes to standard output."});
    s.commands.push_back(
        {"decks",
         {"(INPUT | --anki-profile NAME)"},
         "lists an Anki input's decks, with counts",
         "Lists the decks of an Anki input, one per line in aligned columns: the full name, "
         "then its notes, its cards, how many are due today (as `--due` counts them) and how "
         "many are new, each with its subdecks. Below the table a line tells how many due cards "
         "the item cannot show and in which decks they are: \"2 due cards show only pictures "
         "or sounds: the item leaves them out (Maths 1, Maths::Shapes 1)\"; they still count "
         "as due, as Anki counts them."});
    s.commands.push_back(
        {"watch",
         {"FOLDER [--anki DECK]...", "FOLDER --once [--anki DECK]... [options]"},
         "keeps the Anki items in FOLDER current",
         "Keeps the due cards of the Anki items in *FOLDER* current. An item is a deck "
         "*NAME*`.txt`, with *NAME*`.source` beside it, which names its Anki deck and profile "
         "(`deck=French`, `profile=User 1`), and *NAME*`.next`, which its last good import "
         "wrote (see `--next-change`). `tollamy --anki` starts it beside the Today screen, and "
         "it ends with the launcher. Each item is imported again as `import --due` imports "
         "it:\n\n"
         "- at the next change of its due cards: the rollover, or a learning card coming within "
         "the learn-ahead limit;\n"
         "- within 10 seconds of Anki writing the profile's `collection.anki2` or its log "
         "`collection.anki2-wal`, or a file in its `backups/` folder (a change waits for 2 "
         "quiet seconds, 8 at most, so that a burst of writes gives one import);\n"
         "- at least every `--refresh` minutes, as a safety net;\n"
         "- after a failure, 1 minute later, then 2, 4 and 8, then every 10 minutes, and at the "
         "rollover;\n"
         "- at once, every item, when the clock is set back.\n\n"
         "A deck that did not change is left as it is, with its time stamp; a changed one is "
         "written in one step and its closing line printed. A failed import keeps the last "
         "deck and says why; once the deck is an earlier day's, the item is switched off "
         "(`--switch`), and on again by the next import that works. An item added to *FOLDER* "
         "meanwhile (a new *NAME*`.source`) is kept current from then on, and one whose "
         "*NAME*`.source` goes is dropped.\n\n"
         "The folders are watched with the system's notification (inotify). Where that cannot "
         "be had, where the system's limit of watches is reached, or when the watch fails "
         "later, it says so once and looks at the files' time stamps every 5 seconds instead "
         "(`TOLLAMY_WATCH=poll` asks for that). Between events it sleeps, waking once a minute "
         "at the most often besides its schedule, so that the time after a suspend is seen. "
         "It ends when SIGTERM, SIGINT or SIGHUP comes, or when the program that started it "
         "ends, by SIGKILL too. One `watch` keeps a folder: a second one fails with status "
         "1."});
    s.commands.push_back({"profiles",
                          {""},
                          "lists Anki's profiles",
                          "Lists Anki's profiles, one per line: the folders under Anki's folder "
                          "(see `ANKI_BASE`) that hold a `collection.anki2`. The status is 1 "
                          "when there is none."});
}

} // namespace deck::cli
