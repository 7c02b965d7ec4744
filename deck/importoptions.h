// tollamy-deck import: what an import is asked for, whatever its input. Each input has its own
// import (text/import.h, anki/packageimport.h, anki/due.h); the command line chooses it.
#pragma once

#include "deck/cards.h"

#include <string>

namespace deck {

// The options of `import`.
struct ImportOptions {
    std::string input;
    std::string output;
    std::string format = "auto"; // auto, anki, csv, tsv, text, deck or apkg
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
    std::string nextChange;      // Anki, with due: where to write when the due cards change
};

// The columns, the swap and the header row, as the CardSink takes them.
inline CardColumns ColumnsOf(const ImportOptions& options) {
    return {options.question, options.answer, options.swap, options.header};
}

} // namespace deck
