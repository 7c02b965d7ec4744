// `tollamy-deck decks INPUT` (or --anki-profile NAME): the decks of an Anki package, backup or
// collection, one per line in aligned columns: the full name (Parent::Child), its notes, its
// cards, how many are due today (as import --due counts them) and how many are new. A deck's
// counts take in its subdecks, as Anki's deck list does; cards in filtered decks count for their
// home decks, and the filtered decks themselves are not listed. Below the table, a line for each
// reason why the item cannot show some due cards (only pictures or sounds on the front, nothing
// on it, or a template Anki cannot render): they still count as due, as Anki counts them, and
// the line names their decks.
#pragma once

#include <stdio.h>

#include <string>

namespace deck::anki {

// Lists the decks of `input` (a profile's collection, when the command line names one) on out.
// Returns the exit status: 0 listed, 1 the input cannot be read, 2 bad options.
int RunDecks(const std::string& input, FILE* out, FILE* err);

} // namespace deck::anki
