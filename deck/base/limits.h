// The limits on what one input may hold, each far above anything real: the largest of the
// published decks and collections are a field of 32 KiB, a template of 16 KiB, a deck name of
// 204 bytes, 6 cloze gaps in a field, decks 6 levels deep, HTML 16 elements and template
// sections 3 deep. Past a limit, memory and time would grow with what the input claims rather
// than with what a person could have written; the messages name the limit, and the manual
// lists them (import's "Limits").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace deck {

// One field of a note: a note with a larger one is skipped with a warning.
constexpr size_t kMaxFieldBytes = size_t{64} << 20;
// A note's fields together, as SQLite hands them over: a larger value refuses the collection,
// since SQLite reads no further row past it.
constexpr size_t kMaxNoteBytes = size_t{128} << 20;
// One side of a card template: its cards are left out, with a warning for the note type.
constexpr size_t kMaxTemplateBytes = size_t{16} << 20;
// A card's side as its template renders it (a template that names a field many times): the
// card is left out with a warning.
constexpr size_t kMaxSideBytes = kMaxFieldBytes;
// A deck's, note type's, field's or template's name: a longer one is cut there with a warning.
constexpr size_t kMaxNameBytes = size_t{16} << 10;
// The levels of a deck name (A::B::C is 3): a deeper deck is counted in its ancestor at this
// level, with a warning.
constexpr size_t kMaxDeckDepth = 100;
// Cloze gaps in one field: a note with more is skipped with a warning.
constexpr size_t kMaxClozeGaps = 10000;
// Elements open inside each other in a card's HTML: a deeper card is left out with a warning.
constexpr size_t kMaxHtmlDepth = 1000;
// Sections inside each other in a template: its cards are left out, with a warning for the
// note type.
constexpr size_t kMaxSectionDepth = 100;

// A limit as messages state it: "64 MiB", "16 KiB", "1 GiB", or "N bytes".
std::string SizeText(uint64_t bytes);
// A measured size, one decimal where it is not whole: "70.3 MiB", "1.0 MiB", "900 bytes".
std::string AboutSize(uint64_t bytes);

} // namespace deck
