// tollamy-deck: the import pipeline's seams.
//
// Every import, whatever its input format, ends in the same three steps:
//
//   record  a std::vector<std::string> of UTF-8 fields, as a format reader found them
//     -> CardSink::Add   picks the question and answer columns, turns HTML into text, applies
//                        the cloze rule, cleans up white space, skips empty rows, warns about
//                        fields the item will cut
//     -> DeckWriter      writes the deck: UTF-16LE with FF FE, CR LF line ends, one card per
//                        line, question TAB answer; into a temporary file in OUTPUT's folder
//                        that Commit renames into place, so nothing is written on failure
//
// Diagnostics go through a Report: `FILE:LINE: warning|error: text` on stderr.
// A reader that finds records elsewhere (an Anki package, for example) fills a Record and
// calls CardSink::Add with the flags that fit its source.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace deck {

// The item shows at most this many UTF-16 units of a field.
constexpr size_t kShownUnits = 511;

// One row of the input: its fields in UTF-8, in column order.
using Record = std::vector<std::string>;

// What the user asked for on the command line.
struct ImportOptions {
    std::string input;
    std::string output;
    std::string format = "auto"; // auto, anki, csv, tsv, text, deck (and apkg, where built)
    std::string encoding;        // empty: the byte-order mark, valid UTF-8, or the guess
    std::string fieldSeparator;  // text format: between question and answer (default TAB)
    std::string cardSeparator;   // text format: between cards (default a line end)
    int question = 0;            // 1-based column of the question; 0: the first card column
    int answer = 0;              // 1-based column of the answer; 0: the next card column
    bool swap = false;           // exchange question and answer
    bool header = false;         // the first record is a header row: skip it
    bool force = false;          // replace an existing OUTPUT
    std::string ankiDeck;        // apkg: only the notes in this Anki deck (and its subdecks)
    std::string ankiProfile;     // Anki: read this profile's collection instead of INPUT
    bool due = false;            // Anki: only the cards due today, as Anki shows them
    long newCards = 0;           // Anki, with due: also the first N new cards
};

// How a record's fields are to be read.
struct TextFlags {
    bool html = false; // fields are HTML: tags removed, entities decoded, media dropped
    bool cloze =
        false; // {{c1::text::hint}} is a cloze: "[hint]" in the question, text in the answer
};

// Counts and prints diagnostics for one file.
class Report {
public:
    explicit Report(std::string file, FILE* out = stderr) : file_(std::move(file)), out_(out) {}

    // `line` 0 leaves the line number out. With strict, warnings count as errors.
    void Warning(long line, const std::string& text);
    void Error(long line, const std::string& text);
    // A message about another file than the report's own (the output, for example).
    void ErrorAbout(const std::string& file, const std::string& text);

    long Warnings() const { return warnings_; }
    long Errors() const { return errors_; }
    const std::string& File() const { return file_; }
    void SetStrict(bool strict) { strict_ = strict; }
    // Warnings are not printed, only counted (the fuzzer and the benchmark use this).
    void SetQuiet(bool quiet) { quiet_ = quiet; }

private:
    void Print(const std::string& file, long line, const char* kind, const std::string& text);

    std::string file_;
    FILE* out_;
    long warnings_ = 0;
    long errors_ = 0;
    bool strict_ = false;
    bool quiet_ = false;
};

// Writes a deck through a temporary file beside OUTPUT.
class DeckWriter {
public:
    DeckWriter() = default;
    DeckWriter(const DeckWriter&) = delete;
    DeckWriter& operator=(const DeckWriter&) = delete;
    // Removes the temporary file unless Commit succeeded.
    ~DeckWriter();

    // Refuses an OUTPUT that exists (unless force), that is the input itself, or whose folder
    // cannot be written; otherwise creates the temporary file and writes FF FE. False with an
    // error in report. With deckMark false the file starts empty (export writes UTF-8).
    bool Open(const std::string& output, const std::string& input, bool force, Report& report,
              bool deckMark = true);
    // One card: question TAB answer CR LF. The texts are valid UTF-8 without TAB, CR or LF.
    void Write(const std::string& question, const std::string& answer);
    // Bytes as they are (export).
    void WriteBytes(const std::string& bytes);
    // Flushes, syncs and renames the temporary file to OUTPUT. False with an error in report.
    bool Commit(Report& report);
    // Commit leaves an OUTPUT that holds exactly the new bytes as it is, with its time stamp
    // (so that the item keeps its index), and removes the temporary file instead.
    void KeepWhenUnchanged() { keepUnchanged_ = true; }
    bool Unchanged() const { return unchanged_; }

    long Cards() const { return cards_; }

private:
    void Flush();

    std::string output_;
    std::string temp_;
    int fd_ = -1;
    bool failed_ = false;
    bool mark_ = true;
    bool committed_ = false;
    bool keepUnchanged_ = false;
    bool unchanged_ = false;
    long cards_ = 0;
    std::vector<uint8_t> buffer_;
};

// Turns records into cards and hands them to a DeckWriter.
class CardSink {
public:
    CardSink(const ImportOptions& options, DeckWriter& writer, Report& report)
        : options_(options), writer_(writer), report_(report) {}

    // A 1-based column that never holds card text (guid, note type, deck, tags).
    void ExcludeColumn(int column);
    // Converts one record and writes its card, or skips it with a warning when both sides
    // come out empty. `line` names the record in warnings (0: no line). With --header the
    // first record is skipped.
    void Add(const Record& fields, long line, const TextFlags& flags);

    long Cards() const { return writer_.Cards(); }
    long Skipped() const { return skipped_; }
    // Every field of the first record was a common column title (see LooksLikeColumnTitles).
    bool FirstLooksLikeTitles() const { return firstTitles_; }

private:
    bool Excluded(int column) const;

    const ImportOptions& options_;
    DeckWriter& writer_;
    Report& report_;
    std::vector<int> excluded_;
    long skipped_ = 0;
    bool first_ = true;
    bool firstTitles_ = false;
    std::string question_, answer_, scratch_;
};

// The card-text rules, one field at a time (used by CardSink; public for the tests).
// HTML to text: tags removed; <br>, <div>, <p> (and other blocks) become a space; entities
// decoded; images, scripts and styles dropped.
std::string HtmlToText(const std::string& html);
// Drops Anki's media references [sound:...].
std::string DropSoundTags(const std::string& text);
// The question and the answer side of a field with clozes; false when it holds none.
bool ApplyCloze(const std::string& text, std::string* question, std::string* answer);
// TAB, CR, LF and other white space become one space per run; leading and trailing white
// space go.
std::string CleanWhiteSpace(const std::string& text);
// The number of UTF-16 units of valid UTF-8 text.
size_t Utf16Units(const std::string& text);
// True when the text holds something that looks like HTML: a tag or an entity.
bool LooksLikeHtml(const char* text, size_t size);

} // namespace deck
