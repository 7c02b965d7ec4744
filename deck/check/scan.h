// One pass over a UTF-16 deck with the item's own card rules: what the item will make of each
// card, and the fields it shows.
#pragma once

#include "deck/base/report.h"

#include <stdint.h>

#include <functional>
#include <string>

namespace deck::check {

// Takes a card's question and answer as the item shows them (NUL-terminated UTF-16, each at
// most 511 units), with the card's number and the line it starts on.
using ShownCard =
    std::function<void(const uint16_t* question, const uint16_t* answer, long card, long line)>;

// Reads the deck at `path` as the item reads it. With `check`, what the item will make of a
// card (an empty card, no TAB, a field it cuts, extra columns, a NUL, an unpaired surrogate,
// CR-only line ends, lines it hides, a trailing odd byte) is reported as a warning; with
// `shown`, each card's fields are handed to it. Sets *cards. False, with *cards 0, when the file
// cannot be read as a deck at all (an error is reported).
bool ScanDeck(const std::string& path, Report& report, bool check, const ShownCard& shown,
              long* cards);

} // namespace deck::check
