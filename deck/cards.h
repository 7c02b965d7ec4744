// tollamy-deck: the import pipeline's seams.
//
// Every import, whatever its input format, ends in the same three steps:
//
//   record  a std::vector<std::string> of UTF-8 fields, as a format reader found them
//     -> CardSink::Add   picks the question and answer columns, turns HTML into text, applies
//                        the cloze rule, cleans up white space (the card-text rules of
//                        cardtext.h), skips empty rows, warns about fields the item will cut
//     -> DeckWriter      writes the deck: UTF-16LE with FF FE, CR LF line ends, one card per
//                        line, question TAB answer; into a temporary file in OUTPUT's folder
//                        that Commit renames into place, so nothing is written on failure
//                        (deckwriter.h)
//
// Diagnostics go through a Report (report.h): `FILE:LINE: warning|error: text` on stderr.
// A reader that finds records elsewhere (an Anki package, for example) fills a Record and
// calls CardSink::Add with the flags that fit its source.
#pragma once

#include "deck/deckwriter.h"
#include "deck/base/report.h"

#include <stddef.h>

#include <string>
#include <vector>

namespace deck {

// One row of the input: its fields in UTF-8, in column order.
using Record = std::vector<std::string>;

// Which fields of a record make the card: 1-based columns (0: the first card column, then the
// next), whether the sides are exchanged, and whether the first record is a header row.
struct CardColumns {
    int question = 0;
    int answer = 0;
    bool swap = false;
    bool header = false;
};

// How a record's fields are to be read.
struct TextFlags {
    bool html = false; // fields are HTML: tags removed, entities decoded, media dropped
    bool cloze =
        false; // {{c1::text::hint}} is a cloze: "[hint]" in the question, text in the answer
};

// Turns records into cards and hands them to a DeckWriter.
class CardSink {
public:
    CardSink(const CardColumns& columns, DeckWriter& writer, Report& report)
        : columns_(columns), writer_(writer), report_(report) {}

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

    const CardColumns columns_;
    DeckWriter& writer_;
    Report& report_;
    std::vector<int> excluded_;
    long skipped_ = 0;
    bool first_ = true;
    bool firstTitles_ = false;
    std::string question_, answer_, scratch_;
};

} // namespace deck
