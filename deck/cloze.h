// Anki's cloze gaps, {{c1::text}} and {{c1::text::hint}}, nested or not, as rslib/src/cloze.rs
// shows them: the one reading of gaps for every input, the text imports' fields and the
// packages' and collections' cloze cards alike.
#pragma once

#include <string>

namespace deck {

// The card number of RevealCloze for a text import's row, which is one card whatever numbers
// its gaps have: every gap is asked at once (a gap inside an asked gap goes with it).
constexpr int kEveryGap = 0;

// The side of cloze card `number` (1 for c1): on the question gap `number` shows as "[hint]"
// or "[...]" and on the answer as its text; every other gap shows its text, and nested gaps
// follow the same rule inside a shown gap. Empty when the text holds no gap `number` (with
// kEveryGap: no gap at all): Anki shows nothing then.
std::string RevealCloze(const std::string& text, int number, bool question);

// The text of gap `number`, as the typed answer of {{type:cloze:Field}} expects it: the texts
// of several such gaps joined by ", " (one, when they are all the same); empty without one.
std::string ClozeAnswer(const std::string& text, int number);

// The number of gap openings ("{{c2::") in `text`, counting no further than `stop` + 1: a
// field's gaps are held to a limit before it is read into gaps.
size_t ClozeGaps(const std::string& text, size_t stop);

} // namespace deck
