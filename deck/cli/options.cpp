// tollamy-deck's options, each declared once: its names, its value, the commands that take
// it, its --help line, its text in the manual, its choices and where the parser puts it.
#include "deck/cli/options.h"

#include <stdlib.h>

namespace deck::cli {

namespace {

using surface::Option;
using surface::Value;

// Builds one option of the table below.
class Declare {
public:
    // names: "-o,--output" or "--deck"; value: its name in the manual, "" for a flag.
    Declare(const std::string& names, const char* value, Value kind) {
        size_t comma = names.find(',');
        option_.shortName = comma == std::string::npos ? "" : names.substr(0, comma);
        option_.longName = comma == std::string::npos ? names : names.substr(comma + 1);
        option_.value = value;
        option_.kind = kind;
    }
    Declare& For(std::vector<std::string> commands) {
        option_.commands = std::move(commands);
        return *this;
    }
    Declare& Help(const char* summary) {
        option_.summary = summary;
        return *this;
    }
    Declare& Text(const char* text) {
        option_.text = text;
        return *this;
    }
    Declare& Choice(const char* name, const char* text) {
        option_.choices.push_back({name, text});
        return *this;
    }
    Declare& ByDefault(const char* name) {
        option_.byDefault = name;
        return *this;
    }
    Declare& Elsewhere(const char* message) {
        option_.elsewhere = message;
        return *this;
    }
    Declare& Into(std::string* to) {
        option_.store = [to](const std::string& v) { *to = v; };
        return *this;
    }
    Declare& Into(bool* to) {
        option_.store = [to](const std::string&) { *to = true; };
        return *this;
    }
    // Numbers are checked against their kind before they are stored.
    Declare& Into(int* to) {
        option_.store = [to](const std::string& v) { *to = atoi(v.c_str()); };
        return *this;
    }
    Declare& Into(long* to) {
        option_.store = [to](const std::string& v) { *to = atol(v.c_str()); };
        return *this;
    }
    // Each value given counts.
    Declare& Into(std::vector<std::string>* to) {
        option_.repeat = true;
        option_.store = [to](const std::string& v) { to->push_back(v); };
        return *this;
    }
    void To(surface::Surface& s) { s.options.push_back(std::move(option_)); }

private:
    Option option_;
};

const char kWritesNothing[] = "%s writes nothing: -o and --force do not apply";

} // namespace

void DeclareOptions(surface::Surface& s, Arguments& a) {
    ImportOptions& i = a.import;
    Declare("-o,--output", "OUTPUT", Value::File)
        .For({"import", "export"})
        .Elsewhere(kWritesNothing)
        .Help("import, export: the file to write; - for standard output")
        .Text("The file to write. It is written in full to a temporary file in its folder, "
              "synced, and renamed into place, so that a running item never reads half a "
              "deck and a command that fails leaves *OUTPUT* as it was. A link is followed to "
              "the file it names; a folder, a device or a pipe is never replaced. `-` writes "
              "to standard output instead, once the command has succeeded, and nothing else "
              "goes there. A deck of 4 GiB or more, beyond the item's 32-bit card offsets, "
              "is refused before it is put in place, with the number of cards that fit.")
        .Into(&i.output)
        .To(s);
    Declare("--force", "", Value::None)
        .For({"import", "export"})
        .Elsewhere(kWritesNothing)
        .Help("import, export: replaces an existing OUTPUT")
        .Text("Replaces an existing *OUTPUT*; without it the command refuses to.")
        .Into(&i.force)
        .To(s);
    Declare("--format", "F", Value::Choice)
        .For({"import"})
        .Help("the input's format")
        .Text("The input's format. The encoding and the format are two decisions: a UTF-16 "
              "file (LE or BE, a spreadsheet's \"Unicode text\") named `.csv`, `.tsv` or "
              "`.tab`, or beginning with Anki's `#` header lines, is decoded and read in that "
              "format exactly as its UTF-8 twin.")
        .ByDefault("auto")
        .Choice("auto",
                "An Anki package, backup or collection is known by its content. A file with "
                "Anki's header lines (`#separator:`, `#html:`, `#columns:`, `#tags:`, "
                "`#deck:`, `#notetype:`, `#guid column:`, `#notetype column:`, `#deck column:`, "
                "`#tags column:`) or a first `tags:` line is `anki`; else a name ending in "
                "`.csv` is `csv`, `.tsv` and `.tab` are `tsv`, a file with a UTF-16 byte-order "
                "mark is a `deck`, and any other text is read by Anki's rules for a text file "
                "without a header.")
        .Choice("anki", "Anki's export \"Notes in Plain Text\": its header lines set the "
                        "separator, whether fields are HTML, and which columns are not card "
                        "text (the GUID, note type, deck and tags columns); the question and the "
                        "answer are the first two columns that remain. Records as in `csv`.")
        .Choice("csv", "Records by RFC 4180, with the separator that Anki would detect (see "
                       "\"CSV and text files\").")
        .Choice("tsv", "TAB between fields, one record per line, no quoting.")
        .Choice("text", "Quizlet's export and other text with separators of its own: "
                        "`--field-sep` and `--card-sep`. Nothing is unquoted.")
        .Choice("deck", "A Tollamy deck, written again with CR LF: every LF, CR LF or lone CR "
                        "ends a line, so lines that the item would hide or join become cards of "
                        "their own.")
        .Choice("apkg", "An Anki package, backup or collection, whatever its name (see \"Anki "
                        "packages and collections\").")
        .Into(&i.format)
        .To(s);
    Declare("--encoding", "NAME", Value::Text)
        .For({"import"})
        .Help("the input's encoding (default: byte-order mark, UTF-8, or a guess)")
        .Text("The input's encoding, any name that `iconv --list` knows. Without it a "
              "byte-order mark decides (UTF-8, UTF-16LE, UTF-16BE); without one a file that is "
              "valid UTF-8 from start to end is UTF-8, and anything else is guessed by uchardet "
              "(for example Windows-1252 or Shift_JIS). An invalid sequence becomes U+FFFD, "
              "with a warning naming its line. It does not apply to an Anki package.")
        .Into(&i.encoding)
        .To(s);
    Declare("--field-sep", "S", Value::Text)
        .For({"import"})
        .Help("text format: between question and answer (Tab, Comma, ... or S)")
        .Text("The `text` format's separator between question and answer (default TAB): a name "
              "(Tab, Comma, Semicolon, Space, Pipe, Colon, Newline), `\\t`, `\\n`, or the text "
              "itself, as in `--field-sep , --card-sep ';'`. With `--format auto` it chooses "
              "`text`; with any other format it is an error.")
        .Into(&i.fieldSeparator)
        .To(s);
    Declare("--card-sep", "S", Value::Text)
        .For({"import"})
        .Help("text format: between cards (Newline, Semicolon, ... or S)")
        .Text("The `text` format's separator between cards (default a line end), named as for "
              "`--field-sep`.")
        .Into(&i.cardSeparator)
        .To(s);
    Declare("--question", "N", Value::Column)
        .For({"import"})
        .Help("the question's column, from 1")
        .Text("The question's column, from 1 to 1000: of the file, or of the note type's "
              "fields in an Anki input, where it takes the place of the card's front. Without "
              "it the question is the first column that is card text, or an Anki card's "
              "front. It may not name the answer's column, and it does not apply to a deck.")
        .Into(&i.question)
        .To(s);
    Declare("--answer", "M", Value::Column)
        .For({"import"})
        .Help("the answer's column, from 1")
        .Text("The answer's column, from 1 to 1000, as for `--question`; without it the "
              "column after the question's, or what an Anki card's back adds to its front.")
        .Into(&i.answer)
        .To(s);
    Declare("--header", "", Value::None)
        .For({"import"})
        .Help("skips the first record (a row of column titles)")
        .Text("Skips the first record, a row of column titles (the first note of a package). "
              "It is never skipped on a guess: when every field of the first record is a "
              "common column title (Question, Answer, Front, Back, Term, Definition, Word, "
              "Meaning, Translation, names of languages and so on, in any letter case) the "
              "closing line suggests the option. It does not apply to a deck.")
        .Into(&i.header)
        .To(s);
    Declare("--swap", "", Value::None)
        .For({"import"})
        .Help("exchanges question and answer")
        .Text("Exchanges question and answer.")
        .Into(&i.swap)
        .To(s);
    Declare("--deck", "NAME", Value::Text)
        .For({"import"})
        .Help("Anki: only the cards in this deck and its subdecks")
        .Text("Anki: only the notes that have a card in the deck *NAME* or in one of its "
              "subdecks (`Parent::Child`; the letters A to Z compared without case, as Anki "
              "does). A card that lies in a filtered deck counts for its home deck. A *NAME* "
              "that the input does not hold is an error that lists its decks. It applies to "
              "Anki inputs only.")
        .Into(&i.ankiDeck)
        .To(s);
    Declare("--due", "", Value::None)
        .For({"import"})
        .Help("Anki: only today's due cards, as Anki shows them")
        .Text("Anki: only the cards that Anki shows for review today, in the decks that `--deck` "
              "names or in every deck: review and relearning cards due on or before today, "
              "learning cards due before now plus the collection's learn-ahead limit "
              "(`collapseTime`, 20 minutes without one), never a suspended or buried card. A card "
              "in a filtered deck counts for its home deck, with its home due date. They come in "
              "Anki's order of urgency: learning cards by their time, then the others by their "
              "day. It reads Anki collections and packages only.\n\n"
              "Today is the collection's day number: the days since it was made, where a day "
              "starts at its rollover hour (`rollover`, by default 4:00) in local time (`TZ`). "
              "Anki's own rule is followed, with its older form for collections without "
              "`creationOffset`; no daily limits are applied, and buried cards stay out until "
              "Anki has unburied them.\n\n"
              "Each card shows as Anki shows it, by its own template and card number: the "
              "second card of a note type shows that template's sides, cloze card N hides gap N "
              "as \"[hint]\" or \"[...]\" (see \"Anki packages and collections\"). "
              "`--question` and `--answer` take fields by number instead. A due card whose "
              "front shows only pictures or sounds is left out, and the closing line counts it "
              "(\"33 due cards show only pictures or sounds and are left out\"); `decks` still "
              "counts it as due.\n\n"
              "With nothing due the deck holds one card, \"Nothing due in *DECK*\", whose answer "
              "names the next day with due cards and how many (\"Next: 3 cards tomorrow, Thu "
              "2026-03-12\"); with due cards that are all left out, \"Due in *DECK*: "
              "2 cards the item cannot show\", \"Review them in Anki\"; the closing line names "
              "the card the deck holds instead. An *OUTPUT* that already "
              "holds exactly the new deck is left as it "
              "is, with its time stamp, so that the item keeps its index; the closing line says "
              "\"(unchanged)\".")
        .Into(&i.due)
        .To(s);
    Declare("--new", "N", Value::Count)
        .For({"import"})
        .Help("Anki, with --due: also the first N new cards")
        .Text("With `--due`: also the first *N* new cards, in Anki's order for new cards (deck "
              "by deck, a deck before its subdecks, by position, then by card type: the default "
              "of Anki's deck options).")
        .Into(&i.newCards)
        .To(s);
    Declare("--next-change", "FILE", Value::File)
        .For({"import"})
        .Help("Anki, with --due: writes when the due cards next change to FILE")
        .Text("With `--due`: once *OUTPUT* is written, writes one line to *FILE* (`-` for "
              "standard output) for a program that keeps the deck current, three fields "
              "separated by a space: the Unix time at which the due cards next change without a "
              "review (the next rollover, or the second at which the next learning card comes "
              "within the learn-ahead limit, whichever is sooner), the Unix time of the next "
              "rollover (from then on the deck is an earlier day's), and the path of the input "
              "read (with `--anki-profile`, the profile's `collection.anki2`), as in `1773226801 "
              "1773280800 /home/me/.local/share/Anki2/User 1/collection.anki2`. *FILE* is an "
              "output as *OUTPUT* is: an existing one is replaced only with `--force`, it is "
              "never *OUTPUT* nor the input, and it is left as it was when the import fails.")
        .Into(&i.nextChange)
        .To(s);
    Declare("--anki-profile", "NAME", Value::Profile)
        .For({"import", "decks", "watch"})
        .Help("Anki: reads profile NAME, not INPUT (watch: the --anki decks' profile)")
        .Text("Reads the collection of this Anki profile, *NAME*`/collection.anki2` under "
              "Anki's folder (see `ANKI_BASE`), instead of *INPUT*. An unknown *NAME* fails "
              "with status 1 and lists the profiles found. With `watch`, the profile of the "
              "`--anki` decks; without it the only profile there is, and with several, status 2 "
              "and their list.")
        .Into(&i.ankiProfile)
        .To(s);
    watch::WatchOptions& w = a.watch;
    Declare("--anki", "DECK", Value::Text)
        .For({"watch"})
        .Help("watch: adds the Anki deck DECK as an item (repeatable)")
        .Text("Adds the Anki deck *DECK* (with its subdecks; `Parent::Child`) to *FOLDER*'s "
              "items: its due cards are imported into *FOLDER*`/`*NAME*`.txt`, and "
              "*NAME*`.source` beside it names the deck and the profile. *NAME* is the deck's "
              "name with `::` as `-`, and with `_` for each character that Windows does not "
              "allow in a file name, `%` and the control characters; one deck written in "
              "another case of A to Z is the same item. A deck whose import fails is not "
              "added. Two distinct decks that would make one name (`A/B` and `A_B`), or a deck "
              "that would take the name of another deck's item or of `Tollamy`, are refused "
              "with status 2 before anything is written, with a message that names both. The "
              "option can be given several times.")
        .Into(&w.anki)
        .To(s);
    Declare("--other-item", "NAME", Value::Text)
        .For({"watch"})
        .Help("watch: an item of the screen that no --anki deck may take (repeatable)")
        .Text("Names an item of the screen that is no Anki deck's, such as a `tollamy --deck` "
              "item: an `--anki` deck whose item would have that name is refused. `Tollamy`, "
              "the item itself, is always taken. The option can be given several times.")
        .Into(&w.others)
        .To(s);
    Declare("--refresh", "MINUTES", Value::Minutes)
        .For({"watch"})
        .Help("watch: imports each item again at least every MINUTES (default 10)")
        .Text("Imports each item again at least every *MINUTES* minutes (0 to 1440, default "
              "10) as a safety net beside the watch on Anki's files; `0` turns it off.")
        .Into(&w.refreshMinutes)
        .To(s);
    Declare("--switch", "PROGRAM", Value::File)
        .For({"watch"})
        .Help("watch: runs PROGRAM NAME on|off to show or leave out an item")
        .Text("Runs *PROGRAM* *NAME* `off` when the deck of item *NAME* has become an earlier "
              "day's and cannot be imported again, so that yesterday's cards never pass for "
              "today's, and *PROGRAM* *NAME* `on` after the next import that works (and after "
              "the first import of an item whose state it does not know). *PROGRAM* exits "
              "with 0 when it switched the item, and 1 when the item was so already or has no "
              "entry; the watch says what changed. The launcher's program switches the item's "
              "entry in the Today "
              "items list.")
        .Into(&w.switchProgram)
        .To(s);
    Declare("--once", "", Value::None)
        .For({"watch"})
        .Help("watch: imports each item once, and exits")
        .Text("Imports each item once, the `--anki` decks first, and exits instead of "
              "watching. For each item it prints one line on standard output: `added NAME` (an "
              "`--anki` deck, an item now), `shown NAME` (an item of *FOLDER* imported again) or "
              "`hidden NAME` (its import failed, as the message before says; an `--anki` deck "
              "is not added then). The status is 0 whatever became of the items.")
        .Into(&w.once)
        .To(s);
    Declare("--strict", "", Value::None)
        .For({"check"})
        .Help("check: makes every warning an error")
        .Text("Counts every warning as an error, so that a deck with warnings gives status 1.")
        .Into(&a.strict)
        .To(s);
    Declare("-h,--help", "", Value::None)
        .For({"", "*"})
        .Help("prints this help")
        .Text("Prints the commands and options on one screen, and exits.")
        .Into(&a.help)
        .To(s);
    Declare("--version", "", Value::None)
        .For({""})
        .Help("prints the version")
        .Text("Prints `tollamy-deck` and its version, and exits.")
        .Into(&a.version)
        .To(s);
}

} // namespace deck::cli
