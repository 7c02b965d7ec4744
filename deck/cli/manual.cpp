// tollamy-deck's manual beside its commands and options: what it is, the rules of the text
// formats and of Anki's files, examples, the environment and the exit status.
#include "deck/cli/options.h"

namespace deck::cli {

namespace {

const char kDescription[] =
    "The Tollamy item reads only decks in UTF-16 little-endian with the byte-order mark, one "
    "card per line: the question, a TAB, the answer. `tollamy-deck` brings other cards into "
    "that form (Anki's text exports, packages and collections, CSV, TSV and other text), tells "
    "what the item will make of a deck, and writes a deck's cards out for Anki.\n\n"
    "Diagnostics go to standard error as `FILE:LINE: error|warning: text`, with `tollamy-deck: "
    "error:` for those about the command line. A command that fails writes nothing.";

const char kTextFiles[] =
    "CSV and Anki's text files are read by RFC 4180: quoted fields may hold separators, doubled "
    "quotes and line breaks (LF, CR LF or a lone CR). Where a file breaks the RFC, Anki's and "
    "Python's rules hold: text after a closing quote, up to the next separator, belongs to the "
    "same field (`ojalá;\"I wish\", hopefully` gives `I wish, hopefully`), and a quote inside a "
    "field that does not begin with one is an ordinary character. A quoted field that runs on "
    "over a line that could itself be a record (one that holds the separator, as many times as "
    "its record has separators or more) gets `FILE:LINE: warning: a quoted field runs on to "
    "line M (K lines); check the quotes`, where *LINE* is the line its quote opened on.\n\n"
    "A line that begins with `#` outside a quoted field is a comment, anywhere in the file (as "
    "in Anki), and the closing line counts them. Without `#separator:` the separator is "
    "detected as Anki detects it, the first of Tab, Pipe, Semicolon, Colon, Comma and Space "
    "found in the first 8 KiB, with one change: a candidate found on every line of that sample "
    "comes first, so that one colon in a comma file does not win.\n\n"
    "A UTF-16 file named `.csv`, `.tsv` or `.tab`, or beginning with Anki's header lines, is "
    "read in that format; any other UTF-16 file is taken for a deck.";

const char kAnki[] =
    "An Anki package (`.apkg`, \"Export\", \"Anki Deck Package\"), a backup of a whole "
    "collection (`.colpkg`) or a collection itself (any SQLite file with Anki's `col`, `notes` "
    "and `cards` tables, in the older schema or the newer one) is read with no Anki installed, "
    "known by its content whatever its name. Of the collections in a package the newest is "
    "read: `collection.anki21b` (compressed with Zstandard), else `collection.anki21`, else "
    "`collection.anki2`.\n\n"
    "Without `--due` each note gives one card, in the order the notes were made: its first "
    "card (its lowest card number, `c1` of a cloze note), as Anki shows that card; a note "
    "without cards, such as a cloze note without a gap, gives none. With `--due` every due "
    "card is shown by its own template and number (see `--due`).\n\n"
    "A card is rendered from its note type's front and back templates as Anki renders them: "
    "`{{Field}}`; `{{#Field}}...{{/Field}}` and `{{^Field}}...{{/Field}}` (a field that holds "
    "only white space and `<br>` or `<div>` tags is empty); the filters `text`, `cloze`, "
    "`cloze-only`, `type`, `hint`, `furigana`, `kana`, `kanji` and `tts` (an unknown filter "
    "passes the text on); and `{{FrontSide}}`, `{{Tags}}`, `{{Deck}}`, `{{Subdeck}}`, "
    "`{{Card}}`, `{{Type}}` and `{{CardFlag}}`. The question is the front; the answer is what "
    "the back adds to it: the back after Anki's answer line `<hr id=answer>`, or, without "
    "one, the back with `{{FrontSide}}` taken as nothing. Where the template has a box to "
    "type the answer in, the back shows the right answer in its place, as Anki does when "
    "nothing was typed.\n\n"
    "Each side becomes the text a person sees on Anki's screen, on one line. Left out: "
    "scripts, styles, comments, buttons and form controls, sound and video, and any element "
    "that its own `style` hides (`display: none`, `visibility: hidden`) with all it holds; a "
    "`hint` shows as its link, named after the field. Sound references (`[sound:...]`) go. "
    "Ruby shows as base(reading): `私[わたし]` through `furigana` is \"私(わたし)\". Maths "
    "shows as its source without the markers of `[latex]...[/latex]`, `[$]...[/$]`, "
    "`[$$]...[/$$]`, `\\(...\\)` and `\\[...\\]`. Blocks and line breaks separate the "
    "side's parts with \" · \", and runs of white space are one space. A side longer than the "
    "item's 511 UTF-16 units is cut at a word and ends in \"…\"; the closing line counts the "
    "sides cut (\"12 answers cut to 511 units\").\n\n"
    "A card whose front shows no text (only pictures or sounds, or an Image Occlusion mask) "
    "is left out, and so is a card whose front Anki finds blank; an answer with no text says "
    "\"(picture)\", \"(sound)\" or \"(picture and sound)\". A template that Anki cannot "
    "render (a section never closed or closed out of order, a field the note type lacks) "
    "leaves its cards out, with one warning that names the note type, the template and the "
    "side. The closing line counts the notes read, those without cards and those with too "
    "few fields for `--question` or `--answer`, and the cards left out, in words: \"33 "
    "cards show only pictures or sounds and are left out\". `--question` and `--answer` take "
    "the note's fields by number in place of the template's sides.\n\n"
    "A package comes from strangers. Only its collection is unpacked, into a private folder "
    "under `TMPDIR` (mode 0700) that is removed before the tool exits, also on failure and "
    "when SIGINT, SIGTERM or SIGHUP ends it, as every temporary file of the tool is. The "
    "collection is held to 1 GiB uncompressed: a package that states more, or whose data "
    "inflates to more, is refused before anything is written, as is one that states more than "
    "its compressed bytes can give (a zip bomb) or whose data inflates to more than it "
    "states, and one with two entries of one name. SQLite opens the copy "
    "read-only, in defensive mode, without triggers, views or extensions, and runs only the "
    "tool's own queries. A file that cannot be read says why (`cannot read: Permission "
    "denied`), an empty one that it is empty, and a FIFO, a device or a socket at once that "
    "it is not a regular file. A damaged part of a collection (its decks, "
    "note types, templates or configuration) is named: where the command can still do its "
    "work honestly, a warning says what was assumed (a configuration that cannot be read: "
    "the day starts at 4 a.m.); where it cannot (no note type to show a card with, no deck "
    "names to list or pick), one error line and status 1, and nothing is written.\n\n"
    "A collection is never opened in place: it and of its `-wal` file what SQLite would use "
    "(the frames up to its last valid commit; nothing of a `-wal` that SQLite would ignore) "
    "are copied into a private folder under `TMPDIR` under a shared lock, and the copy is "
    "read; nothing is left beside the collection, and its bytes and time stamps stay as they "
    "were. The two together are held to the package's 1 GiB, before anything is copied. "
    "While Anki runs it holds its collection locked; then the newest backup of the profile "
    "that reads is read (by time stamp: `backups/*.colpkg`, or `backups/backup-*.apkg` as "
    "older Anki versions named them), with a warning that names it and its time and each "
    "newer one passed over and why, or, without one, the tool fails and says to close Anki or "
    "to import a backup.";

const char kExamples[] =
    "From Anki's export \"Notes in Plain Text\" to the item:\n\n"
    "    $ tollamy-deck import anki-export.txt -o french.txt\n"
    "    imported 5 cards from anki-export.txt (UTF-8, anki) to french.txt; 0 warnings\n"
    "    $ tollamy-deck check french.txt\n"
    "    5 cards, 0 warnings, 0 errors\n"
    "    $ tollamy --deck french.txt\n\n"
    "One deck of a package, and a spreadsheet's CSV with a row of titles:\n\n"
    "    $ tollamy-deck import French.apkg --deck French -o french.txt\n"
    "    $ tollamy-deck import words.csv --header --question 2 --answer 1 -o words.txt\n\n"
    "Today's reviews of an Anki profile, with two new cards:\n\n"
    "    $ tollamy-deck profiles\n"
    "    User 1\n"
    "    $ tollamy-deck decks --anki-profile \"User 1\"\n"
    "    $ tollamy-deck import --anki-profile \"User 1\" --deck French --due --new 2 -o "
    "French.txt\n\n"
    "A deck's cards back to Anki, or to a pager:\n\n"
    "    $ tollamy-deck export french.txt -o french.tsv\n"
    "    $ tollamy-deck export french.txt -o - | less";

} // namespace

void DeclareManual(surface::Surface& s) {
    s.purpose = "import, check and export Tollamy decks";
    s.description = kDescription;
    s.mainCommand = "import";
    s.helpFooter = "Exits 0 done, 1 failed (nothing written), 2 bad arguments. More: COMMAND "
                   "--help, man tollamy-deck";
    s.sections.push_back({"CSV and text files", kTextFiles, {}});
    s.sections.push_back({"Anki packages and collections", kAnki, {}});
    s.sections.push_back(
        {"Limits",
         "What one Anki input may hold, each limit far above anything real (the largest of the "
         "published decks have a field of 32 KiB, a template of 16 KiB, a deck name of 204 "
         "bytes, 6 cloze gaps in a field, decks 6 levels deep, HTML 16 elements deep, sections "
         "3 deep). Past one, memory and time would follow what the input claims; the warning "
         "or error names the limit. A card that is left out is counted in the closing line.",
         {{"A field: 64 MiB", "A note with a larger field is left out with a warning that names "
                              "the note, the field and the limit."},
          {"A note: 128 MiB", "A note whose fields together are larger (or any larger value in "
                              "the collection) is an error: SQLite reads no further row."},
          {"A template: 16 MiB", "A front or back that is larger leaves its cards out, with one "
                                 "warning for its note type and template."},
          {"A card's side: 64 MiB", "A side that its template renders larger (a field named "
                                    "many times) leaves the card out with a warning."},
          {"A name: 16 KiB", "A deck's, note type's, field's or template's name that is longer "
                             "is cut there, with a warning."},
          {"Deck levels: 100", "A deck nested deeper (`A::B::...`) counts its cards in its "
                               "ancestor at level 100, with a warning."},
          {"Cloze gaps: 10000 in a field", "A note with more is left out with a warning."},
          {"HTML nesting: 1000 elements", "A card whose HTML opens elements deeper inside each "
                                          "other is left out with a warning."},
          {"Template sections: 100 deep", "A template whose sections nest deeper leaves its "
                                          "cards out, with a warning for its note type."}}});
    s.sections.push_back({"Examples", kExamples, {}});
    s.sections.push_back(
        {"Environment",
         "",
         {{"`ANKI_BASE`", "Anki's folder; without it `$XDG_DATA_HOME/Anki2` (by default "
                          "`~/.local/share/Anki2`) when it exists, else the Flatpak's "
                          "`~/.var/app/net.ankiweb.Anki/data/Anki2`."},
          {"`TOLLAMY_NOW`",
           "A time in Unix seconds that replaces the clock for `--due` and `decks`: what is due "
           "then."},
          {"`TZ`", "The time zone in which the collection's day starts."},
          {"`TOLLAMY_WATCH`",
           "How `watch` sees Anki's files change: `inotify` (the default) or `poll`, which "
           "looks at their time stamps every 5 seconds."},
          {"`TMPDIR`",
           "Where the private copies of packages and collections are made (default `/tmp`)."}}});
    s.sections.push_back(
        {"Exit status",
         "0 on success; 1 when the input has errors or a file cannot be read or written (a "
         "full disk, a file over the size limit of `ulimit -f`), or when memory runs out "
         "(`INPUT: error: too large to read`), and then nothing is written; 2 for bad "
         "arguments, among them an option that does not apply to the command or to the "
         "input's format (such as `--question` on a deck, or `--field-sep` with csv). When "
         "the reader of standard output stops before the end (`tollamy-deck export deck.txt "
         "-o - | head`), the tool ends as SIGPIPE ends `cat` (status 141 in the shell; 1 on "
         "Windows), with nothing left in `TMPDIR`.",
         {}});
    s.sections.push_back({"See also", "[`tollamy`(1)](tollamy.md), `iconv`(1)", {}});
}

surface::Surface DeckSurface(Arguments& into) {
    surface::Surface s;
    s.program = "tollamy-deck";
    s.version = TOLLAMY_VERSION;
    s.date = TOLLAMY_MANUAL_DATE;
    s.source = "deck/cli/commands.cpp, deck/cli/options.cpp and deck/cli/manual.cpp";
    DeclareCommands(s);
    DeclareOptions(s, into);
    DeclareManual(s);
    return s;
}

} // namespace deck::cli
