// The sides of one Anki card, as Anki shows that card rather than its note: the reverse card
// of a "Basic (and reversed card)" note shows the note's sides exchanged, and cloze card N
// hides only gap N. The sides are still Anki's HTML; CardSink turns them into card text.
#pragma once

#include "deck/anki/schema.h"

#include <string>
#include <vector>

namespace deck::anki {

struct CardSides {
    std::string question;
    std::string answer;
};

// Which fields make a card: 1-based field numbers, 0 for the template's own choice.
struct FieldChoice {
    int question = 0; // --question
    int answer = 0;   // --answer
};

// The sides of card `ord` of a note of `type` (null when the note type is unknown) with these
// fields. Cloze notes: the cloze field (the template's {{cloze:...}}, else the first) with gap
// ord+1 hidden, and as the answer the text with every gap filled, then the Back Extra (the
// second field). Other notes: the first two fields or those chosen, exchanged on a reverse
// template. False when the note has fewer fields than that; *needed is then the field asked for.
bool RenderCard(const NoteType* type, const std::vector<std::string>& fields, int64_t ord,
                const FieldChoice& choice, CardSides* sides, int* needed);

// Cloze card `number`: gap `number` shows as "[hint]" or "[...]", the other gaps as their text;
// nested gaps follow the same rule inside a shown gap. The answer shows every gap's text.
void RenderCloze(const std::string& text, int number, std::string* question, std::string* answer);

// True when template `ord` of a standard note type asks with the note's second field and
// answers with its first: the reverse card of "Basic (and reversed card)" and its kin.
bool IsReverseTemplate(const NoteType& type, int64_t ord);

} // namespace deck::anki
