// Anki's card templates: a card's front and back rendered from its note type's templates, as
// Anki's renderer does (rslib/src/template.rs, template_filters.rs, notetype/render.rs).
//
//   {{Field}}                 the field's HTML as it is stored
//   {{#Field}}...{{/Field}}   shown when the field is not empty ({{^Field}}: when it is); a
//                             field holding only white space, <br> and <div> tags is empty
//   {{f2:f1:Field}}           filters, the one nearest the field first: text, cloze,
//                             cloze-only, type, hint, furigana, kana, kanji, tts; an unknown
//                             filter passes the text on
//   {{FrontSide}} {{Tags}} {{Deck}} {{Subdeck}} {{Card}} {{Type}} {{CardFlag}}, and {{#c2}}
//                             on cloze card 2
//
// A section that is never closed or closed out of order, and a field the note type does not
// have, make a template that Anki cannot render: it shows an error instead of the card.
#pragma once

#include "deck/anki/schema.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace deck::anki {

// One card to show, as every part hands it on (by reference, built once per card): what it is
// rendered with.
struct CardInput {
    const NoteType* type = nullptr; // null when the collection lacks the note's type
    const std::vector<std::string>* fields = nullptr; // the note's, in the type's field order
    int64_t ord = 0;  // cards.ord: the template's number, or for a cloze card its gap's minus 1
    std::string tags; // the note's tags, as the notes table keeps them (" a b ")
    std::string deck; // the card's home deck, Parent::Child
    int flags = 0;    // cards.flags: the flag's number in its lowest three bits
};

// A card as Anki's renderer leaves it, in HTML.
struct RenderedCard {
    // Anki finds nothing to show: the front uses no field that has text (a standard note type),
    // or the note holds no gap of the card's number (a cloze note type). Anki shows a message
    // about the blank front instead of the card; the sides below are empty.
    bool blank = false;
    std::string question; // the front; {{type:Field}} is the box to type in, left out here
    // The back with the front in place of {{FrontSide}}; each {{type:Field}}, on the back or
    // in its front, is the right answer in <code id=typeans>, as Anki shows it when nothing
    // was typed.
    std::string answer;
    // The back alone: {{FrontSide}} as only the front's typed answers, what a back without
    // Anki's answer line shows of its own.
    std::string back_alone;
};

// Which side of a template failed, and why, in words for the user: "{{#Hint}} is never closed".
struct TemplateError {
    bool back = false;
    std::string what;
    // The card's side renders to more than kMaxSideBytes (deck/base/limits.h): the fault of
    // its note's fields as much as of its template.
    bool over_limit = false;
};

// Renders cards, keeping each template it has parsed.
class TemplateRenderer {
public:
    TemplateRenderer();
    ~TemplateRenderer();
    TemplateRenderer(const TemplateRenderer&) = delete;
    TemplateRenderer& operator=(const TemplateRenderer&) = delete;

    // Renders `card` into *out (whose strings keep their room from card to card). False when
    // its note type has no template for the card, the template cannot be rendered or is over
    // kMaxTemplateBytes, or a side would be over kMaxSideBytes, with *error set.
    bool Render(const CardInput& card, RenderedCard* out, TemplateError* error);

    // Frees the room of its scratch when it is larger than `kept` bytes.
    void ReleaseRoom(size_t kept);

    struct Parsed;

private:
    std::map<std::pair<const NoteType*, size_t>, std::unique_ptr<Parsed>> parsed_;
    std::string back_; // the back being rendered, with {{FrontSide}} as nothing
};

// True when a field counts as empty for {{#Field}}: only white space and <br>, <div> or
// </div> tags.
bool FieldIsEmpty(const std::string& html);

} // namespace deck::anki
