// An Anki card as the item shows it: its front as the question, and what its back adds to the
// front as the answer, each as the text a person sees on Anki's screen, in one line.
//
// The answer is the back after Anki's answer line (<hr id=answer>), or, for a back without
// one, the whole back with {{FrontSide}} taken as nothing; in either case with the right
// answers that Anki puts in place of the front's typing boxes. Blocks and line breaks show as
// " · ", maths as its source ([latex]…[/latex], [$]…[/$], [$$]…[/$$], \(…\) and \[…\] without
// their markers), sound references go. A side longer than the item shows is cut at a word and
// ends in "…". A question with no text is left out; an answer with no text says "(picture)" or
// "(sound)", so that the learner knows to look in Anki.
#pragma once

#include "deck/anki/schema.h"
#include "deck/anki/template.h"
#include "deck/base/report.h"
#include "deck/html/text.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace deck::anki {

// Fields chosen on the command line, 1-based (0: the card's template). A chosen field takes
// the place of the template's side.
struct FieldChoice {
    int question = 0; // --question
    int answer = 0;   // --answer
};

enum class Shown {
    kCard,         // written
    kOnlyMedia,    // its front shows only pictures or sounds: left out
    kBlank,        // its front shows nothing (Anki's blank front): left out
    kCannotRender, // its template cannot be rendered: left out
    kTooFewFields, // a field chosen on the command line is beyond the note's: left out
    kOverLimit,    // a field, its gaps, its side or its HTML's nesting is over a limit of
                   // deck/base/limits.h: left out, with CardRenderer::OverLimit() saying which
};

// What happened to the cards, for the closing line.
struct CardTally {
    long cards = 0; // written
    long only_media = 0, blank = 0, cannot_render = 0, too_few_fields = 0, over_limit = 0;
    long questions_cut = 0, answers_cut = 0;
};

class CardRenderer {
public:
    explicit CardRenderer(const FieldChoice& choice) : choice_(choice) {}

    // The card's question and answer into *question and *answer (valid UTF-8, one line, at
    // most the item's 511 UTF-16 units each), and what became of it, counted in Tally().
    Shown Render(const CardInput& card, std::string* question, std::string* answer);

    const CardTally& Tally() const { return tally_; }
    // After Shown::kOverLimit: which limit the card is over, in words for the user ("its field
    // \"Front\" is 70.0 MiB, over the limit of 64 MiB for a field").
    const std::string& OverLimit() const { return over_limit_; }

    // One warning for each template that could not be rendered, naming the note type, the
    // template and the side, with the cards it left out; one for each note type that the
    // collection lacks.
    void ReportProblems(Report& report) const;

    // Adds what `other` counted to this one's tally and problems (renderers of several threads).
    void Merge(const CardRenderer& other);

private:
    Shown RenderCard(const CardInput& card, std::string* question, std::string* answer);
    bool WithinLimits(const CardInput& card);
    Shown Template(const CardInput& card, std::string* question, std::string* answer);
    bool Chosen(const CardInput& card, int field, bool question, std::string* side);
    // SeenText of a side; false with over_limit_ set when its HTML nests too deep.
    bool Seen(std::string_view html, std::string* out, const html::Styling& styling,
              const char* side);

    FieldChoice choice_;
    TemplateRenderer templates_;
    RenderedCard html_;
    CardTally tally_;
    // (note type, template) -> the message and the cards it left out
    std::map<std::pair<std::string, std::string>, std::pair<std::string, long>> failed_;
    long missing_types_ = 0;
    std::string over_limit_;
    std::string seen_, part_, body_; // scratch
};

// The closing line's words for the cards left out, each part after "; ", nothing when none
// was: "; 33 due cards show only pictures or sounds and are left out". `cards` is the noun:
// "card", "due card" or "new card".
std::string LeftOutText(const CardTally& tally, const std::string& cards);
// The same for the sides cut to fit the item: "; 2 questions and 12 answers cut to 511 units".
std::string CutText(const CardTally& tally);

} // namespace deck::anki
