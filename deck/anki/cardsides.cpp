// A card's two sides for the item: the templates' HTML (template.cpp) read as a person sees it
// (html/text.cpp), Anki's own markers turned into what its screen shows, and the result made one
// line that fits the item.
#include "deck/anki/cardsides.h"

#include "deck/cloze.h"
#include "deck/base/limits.h"
#include "deck/base/strings.h"
#include "deck/base/utf.h"
#include "deck/cardtext.h"
#include "deck/closingline.h"
#include "deck/html/stylesheet.h"
#include "deck/html/text.h"
#include "cardstore/cardrules.h"

#include <string.h>

namespace deck::anki {

namespace {

// Replaces each `open`…`close` of `text` by what `inner` makes of its inside; an `open`
// without a `close` after it stays as it is. `fold` compares letters A to Z without case.
template <typename Inner>
void ReplacePairs(std::string* text, const char* open, const char* close, bool fold, Inner inner) {
    const size_t open_size = strlen(open), close_size = strlen(close);
    auto find = [&](const char* what, size_t size, size_t from) {
        if (!fold) {
            return text->find(what, from, size);
        }
        for (size_t at = text->find(what[0], from); at != std::string::npos;
             at = text->find(what[0], at + 1)) {
            if (HasAtNoCase(*text, at, std::string_view(what, size))) {
                return at;
            }
        }
        return std::string::npos;
    };
    std::string out;
    size_t from = 0;
    for (size_t at = find(open, open_size, 0); at != std::string::npos;) {
        size_t end = find(close, close_size, at + open_size);
        if (end == std::string::npos) {
            break; // no closing marker after this one, nor after any later one
        }
        out.append(*text, from, at - from);
        out += inner(text->substr(at + open_size, end - at - open_size));
        from = end + close_size;
        at = find(open, open_size, from);
    }
    if (from > 0) {
        out.append(*text, from, std::string::npos);
        text->swap(out);
    }
}

// Anki's sound references and speech become sound marks; maths shows as its source.
void AnkiMarkers(std::string* text) {
    const std::string sound(1, html::seen::kSound);
    auto as_sound = [&](const std::string&) { return sound; };
    if (text->find('[') != std::string::npos) {
        *text = ReplaceSoundTags(*text, sound);
        ReplacePairs(text, "[anki:tts]", "[/anki:tts]", false, as_sound);
    }
    // Inside maths a line break is only a space.
    auto source = [](std::string inside) {
        for (char& c : inside) {
            c = c == html::seen::kBreak ? ' ' : c;
        }
        return inside;
    };
    if (text->find('[') != std::string::npos) {
        ReplacePairs(text, "[latex]", "[/latex]", true, source);
        ReplacePairs(text, "[$$]", "[/$$]", false, source);
        ReplacePairs(text, "[$]", "[/$]", false, source);
    }
    if (text->find('\\') != std::string::npos) {
        ReplacePairs(text, "\\(", "\\)", false, source);
        ReplacePairs(text, "\\[", "\\]", false, source);
    }
}

struct Side {
    std::string text;
    bool picture = false, sound = false;
};

// The marked text of a side as one line: white space runs become a space, a run with a break
// in it " · "; the marks of pictures and sounds are noted and go.
Side OneLine(const std::string& marked) {
    Side side;
    side.text.reserve(marked.size());
    bool space = false, line = false;
    for (size_t i = 0; i < marked.size(); ++i) {
        const char c = marked[i];
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7F) {
            side.picture |= c == html::seen::kPicture;
            side.sound |= c == html::seen::kSound;
            line |= c == html::seen::kBreak;
            space |= c != html::seen::kTypedOpen && c != html::seen::kTypedClose;
            continue;
        }
        if (u == 0xC2 && i + 1 < marked.size() && marked[i + 1] == '\xA0') {
            ++i; // a no-break space
            space = true;
            continue;
        }
        if (space && !side.text.empty()) {
            side.text += line ? " \xC2\xB7 " : " ";
        }
        space = line = false;
        // The run of characters up to the next white space or mark, at once.
        size_t end = i + 1;
        while (end < marked.size() && static_cast<unsigned char>(marked[end]) > ' ' &&
               marked[end] != '\x7F' && marked[end] != '\xC2') {
            ++end;
        }
        side.text.append(marked, i, end - i);
        i = end - 1;
    }
    return side;
}

// The typed answers in a marked text, each from a typed-answer mark to its end.
std::string TypedParts(const std::string& marked) {
    std::string out;
    for (size_t at = marked.find(html::seen::kTypedOpen); at != std::string::npos;
         at = marked.find(html::seen::kTypedOpen, at + 1)) {
        size_t end = marked.find(html::seen::kTypedClose, at);
        out += html::seen::kBreak + marked.substr(at + 1, end - at - 1) + html::seen::kBreak;
    }
    return out;
}

// Anki shows a card in <body class="card card1"> (the card's number, cards.ord + 1), in which
// the note type's stylesheet hides what its rules say.
html::Styling StylingOf(const CardInput& card, std::string* body) {
    *body = "card card" + std::to_string(card.ord + 1);
    return {card.type != nullptr ? &card.type->sheet : nullptr, *body};
}

} // namespace

bool CardRenderer::WithinLimits(const CardInput& card) {
    const std::vector<std::string>& fields = *card.fields;
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool big = fields[i].size() > kMaxFieldBytes;
        if (!big && ClozeGaps(fields[i], kMaxClozeGaps) <= kMaxClozeGaps) {
            continue;
        }
        const std::string name = card.type != nullptr && i < card.type->field_names.size()
                                     ? "\"" + card.type->field_names[i] + "\""
                                     : std::to_string(i + 1);
        over_limit_ = "its field " + name +
                      (big ? " is " + AboutSize(fields[i].size()) + ", over the limit of " +
                                 SizeText(kMaxFieldBytes) + " for a field"
                           : " holds more than " + std::to_string(kMaxClozeGaps) +
                                 " cloze gaps, the limit for a field");
        return false;
    }
    return true;
}

bool CardRenderer::Seen(std::string_view html, std::string* out, const html::Styling& styling,
                        const char* side) {
    if (html::SeenText(html, out, styling)) {
        return true;
    }
    over_limit_ = std::string("its ") + side + "'s HTML nests more than " +
                  std::to_string(kMaxHtmlDepth) + " elements deep, the limit";
    return false;
}

Shown CardRenderer::Template(const CardInput& card, std::string* question, std::string* answer) {
    TemplateError error;
    if (!templates_.Render(card, &html_, &error)) {
        if (error.over_limit) {
            over_limit_ = error.what;
            return Shown::kOverLimit;
        }
        const size_t index = TemplateIndex(*card.type, card.ord);
        std::string name = index < card.type->templates.size()
                               ? card.type->templates[index].name
                               : "card " + std::to_string(card.ord + 1);
        auto& failed = failed_[{card.type->name, name}];
        failed.first = (error.back ? "its back" : "its front") + std::string(" cannot be ") +
                       "rendered: " + error.what;
        ++failed.second;
        return Shown::kCannotRender;
    }
    question->clear();
    answer->clear();
    if (html_.blank) {
        return Shown::kCard;
    }
    const html::Styling styling = StylingOf(card, &body_);
    seen_.clear();
    if (!Seen(html_.question, question, styling, "front") ||
        !Seen(html_.answer, &seen_, styling, "back")) {
        return Shown::kOverLimit;
    }
    size_t line = seen_.find(html::seen::kAnswer);
    if (line != std::string::npos) {
        *answer = TypedParts(seen_.substr(0, line));
        answer->append(seen_, line + 1, std::string::npos);
    } else if (!Seen(html_.back_alone, answer, styling, "back")) {
        return Shown::kOverLimit;
    }
    return Shown::kCard;
}

bool CardRenderer::Chosen(const CardInput& card, int field, bool question, std::string* side) {
    side->clear();
    if (static_cast<size_t>(field) > card.fields->size()) {
        return true; // the first two fields of a note of a lacking type, which has only one
    }
    const std::string& html = (*card.fields)[static_cast<size_t>(field - 1)];
    part_ = card.type != nullptr && card.type->cloze
                ? RevealCloze(html, static_cast<int>(card.ord) + 1, question)
                : std::string();
    // A field shown alone is still a field of its note type, whose rules hide parts of it.
    return Seen(part_.empty() ? html : part_, side, StylingOf(card, &body_),
                question ? "front" : "back");
}

Shown CardRenderer::Render(const CardInput& card, std::string* question, std::string* answer) {
    const Shown shown = RenderCard(card, question, answer);
    // The scratch of a card of large fields is freed with it, not kept for the next card.
    constexpr size_t kKeptRoom = size_t{1} << 20;
    for (std::string* text : {&html_.question, &html_.answer, &html_.back_alone, &seen_, &part_}) {
        if (text->capacity() > kKeptRoom) {
            std::string().swap(*text);
        }
    }
    templates_.ReleaseRoom(kKeptRoom);
    // The sides are cut to the item's 511 units; the room their HTML took goes, or every card
    // held in a batch would keep its template's size.
    for (std::string* side : {question, answer}) {
        if (side->capacity() > kKeptRoom) {
            side->shrink_to_fit();
        }
    }
    return shown;
}

Shown CardRenderer::RenderCard(const CardInput& card, std::string* question, std::string* answer) {
    FieldChoice choice = choice_;
    if (card.type == nullptr) {
        ++missing_types_;
        choice.question = choice.question != 0 ? choice.question : (choice.answer == 1 ? 2 : 1);
        choice.answer = choice.answer != 0 ? choice.answer : (choice.question == 1 ? 2 : 1);
    }
    const size_t fields = card.fields->size();
    if (static_cast<size_t>(choice_.question) > fields ||
        static_cast<size_t>(choice_.answer) > fields) {
        ++tally_.too_few_fields;
        return Shown::kTooFewFields;
    }
    if (!WithinLimits(card)) {
        ++tally_.over_limit;
        return Shown::kOverLimit;
    }
    if (choice.question == 0 || choice.answer == 0) {
        const Shown shown = Template(card, question, answer);
        if (shown != Shown::kCard) {
            ++(shown == Shown::kOverLimit ? tally_.over_limit : tally_.cannot_render);
            return shown;
        }
    }
    if ((choice.question != 0 && !Chosen(card, choice.question, true, question)) ||
        (choice.answer != 0 && !Chosen(card, choice.answer, false, answer))) {
        ++tally_.over_limit;
        return Shown::kOverLimit;
    }
    AnkiMarkers(question);
    AnkiMarkers(answer);
    Side front = OneLine(*question), back = OneLine(*answer);
    if (front.text.empty()) {
        const bool media = front.picture || front.sound;
        ++(media ? tally_.only_media : tally_.blank);
        return media ? Shown::kOnlyMedia : Shown::kBlank;
    }
    if (back.text.empty() && (back.picture || back.sound)) {
        back.text = back.picture && back.sound ? "(picture and sound)"
                    : back.picture             ? "(picture)"
                                               : "(sound)";
    }
    *question = ValidUtf8(std::move(front.text));
    *answer = ValidUtf8(std::move(back.text));
    // A cloze question keeps its first gap in view, however late in the text it lies.
    const bool windowed = card.type != nullptr && card.type->cloze &&
                          WindowAroundGap(question, answer, cardrules::kFieldUnits);
    tally_.questions_cut += CutAtWord(question, cardrules::kFieldUnits) || windowed;
    tally_.answers_cut += CutAtWord(answer, cardrules::kFieldUnits) || windowed;
    ++tally_.cards;
    return Shown::kCard;
}

void CardRenderer::ReportProblems(Report& report) const {
    for (const auto& [where, failed] : failed_) {
        report.Warning(0, "note type \"" + where.first + "\", template \"" + where.second + "\": " +
                              failed.first + "; " + Counted(failed.second, "card") + " left out");
    }
    if (missing_types_ > 0) {
        report.Warning(0, Counted(missing_types_, "card") + " of note types that the collection " +
                              "lacks show their first two fields");
    }
}

void CardRenderer::Merge(const CardRenderer& other) {
    const CardTally& t = other.tally_;
    tally_.cards += t.cards;
    tally_.only_media += t.only_media;
    tally_.blank += t.blank;
    tally_.cannot_render += t.cannot_render;
    tally_.too_few_fields += t.too_few_fields;
    tally_.over_limit += t.over_limit;
    tally_.questions_cut += t.questions_cut;
    tally_.answers_cut += t.answers_cut;
    for (const auto& [where, failed] : other.failed_) {
        auto& mine = failed_[where];
        if (mine.second == 0) {
            mine.first = failed.first;
        }
        mine.second += failed.second;
    }
    missing_types_ += other.missing_types_;
}

std::string LeftOutText(const CardTally& tally, const std::string& cards) {
    std::string text;
    auto left_out = [&](long count, const char* one, const char* many) {
        if (count > 0) {
            text += "; " + Counted(count, cards) + " " + (count == 1 ? one : many);
        }
    };
    left_out(tally.only_media, "shows only pictures or sounds and is left out",
             "show only pictures or sounds and are left out");
    left_out(tally.blank, "shows nothing on its front and is left out",
             "show nothing on their front and are left out");
    left_out(tally.cannot_render, "is left out: Anki cannot render its template",
             "are left out: Anki cannot render their templates");
    left_out(tally.over_limit, "is left out: it is over a limit (its warning says which)",
             "are left out: they are over a limit (their warnings say which)");
    return text;
}

std::string CutText(const CardTally& tally) {
    std::string text;
    if (tally.questions_cut > 0 || tally.answers_cut > 0) {
        std::string parts;
        if (tally.questions_cut > 0) {
            parts = Counted(tally.questions_cut, "question");
        }
        if (tally.answers_cut > 0) {
            parts += (parts.empty() ? "" : " and ") + Counted(tally.answers_cut, "answer");
        }
        text += "; " + parts + " cut to " + std::to_string(cardrules::kFieldUnits) + " units";
    }
    return text;
}

} // namespace deck::anki
