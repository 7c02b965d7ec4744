// The readers of text inputs: each finds the records of its format and hands them to the
// CardSink.
#pragma once

#include "deck/cards.h"
#include "deck/text/input.h"

#include <string>

namespace deck::text {

// Records of CSV (and of Anki's text files) through the CSV reader, with `separator` between
// fields; returns the comment lines it skipped.
long ReadCsv(TextInput& in, CardSink& sink, Report& report, const TextFlags& flags, char separator);

// Records split at a separator text, without quoting (TSV, Quizlet's custom separators); blank
// records are skipped.
void ReadSeparated(TextInput& in, CardSink& sink, const TextFlags& flags,
                   const std::string& fieldSeparator, const std::string& cardSeparator);

// A UTF-16 deck: the item's line with TABs, but every LF, CR LF or lone CR ends a line, so
// that lines the item would hide or join become cards of their own.
void ReadDeck(TextInput& in, CardSink& sink);

} // namespace deck::text
