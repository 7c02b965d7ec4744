// A deck file as the item reads it: UTF-16LE after an FF FE mark, in blocks of whole units,
// and the error for a file that is no deck.
#pragma once

#include "deck/base/report.h"

#include <stdint.h>

#include <functional>
#include <string>

namespace deck::check {

// Takes the next block of a deck: `units` UTF-16LE units (2 * units bytes) after the mark.
using DeckBlock = std::function<void(const uint8_t* bytes, uint32_t units)>;

// Reads the deck at `path` and hands its units to `block`, block by block. False with an error
// in report when the file cannot be opened or read, is a folder, is 4 GiB or more, or does not
// begin with FF FE (the error says what the file looks like and, where import can make a deck
// of it, the command that does). *oddByte tells whether the file ends in half a unit.
bool ReadDeckFile(const std::string& path, Report& report, const DeckBlock& block, bool* oddByte);

} // namespace deck::check
