// Anki's template language: each card renders the tree of its template (templateparse.*, read
// once per note type and template) with its note's fields, as rslib/src/template.rs does.
#include "deck/anki/template.h"

#include "deck/cloze.h"
#include "deck/anki/templatefilters.h"
#include "deck/anki/templateparse.h"
#include "deck/base/limits.h"
#include "deck/base/strings.h"
#include "deck/cardtext.h"

#include <string_view>

namespace deck::anki {

struct TemplateRenderer::Parsed {
    bool ok = false;
    TemplateError error;
    std::vector<TemplateNode> front, back;
};

namespace {

// One card's values for the names of a template.
struct Values {
    Values(const CardInput& facts, const CardTemplate& template_form)
        : card(facts), form(template_form), tags(Trim(facts.tags)),
          deck(facts.deck.empty() ? "(Deck)" : facts.deck),
          flag("flag" + std::to_string(facts.flags & 7)),
          cloze_number("c" + std::to_string(facts.ord + 1)) {
        size_t last = deck.rfind("::");
        subdeck = last == std::string::npos ? deck : deck.substr(last + 2);
    }

    const CardInput& card;
    const CardTemplate& form;
    bool question = true;
    std::vector<size_t>* front_at = nullptr; // on the back: where each {{FrontSide}} stands
    std::string tags, deck, subdeck, flag, cloze_number;

    // The value of a name, or null when the note type has no such field.
    const std::string* Value(const TemplateNode& node) const {
        static const std::string kEmpty, kOne = "1";
        const std::vector<std::string>& fields = *card.fields;
        switch (node.key) {
        case kUnknown:
        case kFrontSide:
            return nullptr;
        case kTags:
            return &tags;
        case kType:
            return &card.type->name;
        case kDeck:
            return &deck;
        case kSubdeck:
            return &subdeck;
        case kCardFlag:
            return &flag;
        case kCard:
            return &form.name;
        case kClozeNumber:
            return node.text == cloze_number ? &kOne : nullptr;
        default:
            return static_cast<size_t>(node.key) < fields.size() ? &fields[node.key] : &kEmpty;
        }
    }
    bool NotEmpty(const TemplateNode& node) const {
        const std::string* value = Value(node);
        return value != nullptr && (node.key < 0 ? !value->empty() : !FieldIsEmpty(*value));
    }
};

// What RenderNodes finds wrong in `nodes`, without rendering them: a hidden section fails as
// a shown one would.
bool CheckNodes(const std::vector<TemplateNode>& nodes, const Values& values, std::string* err) {
    for (const TemplateNode& node : nodes) {
        if (node.kind == TemplateNode::kSection) {
            if (node.key == kUnknown || node.key == kFrontSide) {
                *err = SectionTag(node) + " names no field of the note type";
                return false;
            }
            if (!CheckNodes(node.children, values, err)) {
                return false;
            }
        } else if (node.kind == TemplateNode::kField && node.key != kFrontSide &&
                   !(node.text.empty() && !node.filters.empty()) && values.Value(node) == nullptr) {
            *err = "{{" + node.text + "}} names no field of the note type";
            return false;
        }
    }
    return true;
}

// The words for a side over kMaxSideBytes.
std::string SideOverLimit(bool back) {
    return std::string(back ? "its back" : "its front") + " renders to more than " +
           SizeText(kMaxSideBytes) + ", the limit of a card's side";
}

// Appends `text` to *out unless that makes the side larger than kMaxSideBytes.
bool Append(std::string* out, std::string_view text, const Values& values, std::string* err,
            bool* over) {
    if (out->size() + text.size() > kMaxSideBytes) {
        *err = SideOverLimit(!values.question);
        *over = true;
        return false;
    }
    out->append(text);
    return true;
}

bool RenderNodes(const std::vector<TemplateNode>& nodes, const Values& values, std::string* out,
                 std::string* err, bool* over) {
    for (const TemplateNode& node : nodes) {
        switch (node.kind) {
        case TemplateNode::kText:
            if (!Append(out, node.text, values, err, over)) {
                return false;
            }
            break;
        case TemplateNode::kComment:
            if (!Append(out, "<!--" + node.text + "-->", values, err, over)) {
                return false;
            }
            break;
        case TemplateNode::kSection: {
            if (node.key == kUnknown || node.key == kFrontSide) {
                *err = SectionTag(node) + " names no field of the note type";
                return false;
            }
            // A hidden section is checked all the same, for its errors.
            const bool shown = values.NotEmpty(node) != node.negated;
            if (!(shown ? RenderNodes(node.children, values, out, err, over)
                        : CheckNodes(node.children, values, err))) {
                return false;
            }
            break;
        }
        case TemplateNode::kField: {
            if (node.key == kFrontSide) {
                if (values.front_at != nullptr) {
                    values.front_at->push_back(out->size());
                }
                break;
            }
            if (node.text.empty() && !node.filters.empty()) {
                break;
            }
            const std::string* value = values.Value(node);
            if (value == nullptr) {
                *err = "{{" + node.text + "}} names no field of the note type";
                return false;
            }
            if (!(node.filters.empty()
                      ? Append(out, *value, values, err, over)
                      : Append(out,
                               ApplyFilters(*value, node.filters, node.text,
                                            static_cast<int>(values.card.ord) + 1, values.question),
                               values, err, over))) {
                return false;
            }
            break;
        }
        }
    }
    return true;
}

// True when the front shows no field with text, by Anki's rule for a blank front: text in the
// template counts for nothing, and a {{^Field}} section only when its field is empty.
bool FrontIsBlank(const std::vector<TemplateNode>& nodes, const Values& values) {
    for (const TemplateNode& node : nodes) {
        if (node.kind == TemplateNode::kField && node.key != kFrontSide && values.NotEmpty(node)) {
            return false;
        }
        if (node.kind == TemplateNode::kSection && values.NotEmpty(node) != node.negated &&
            !FrontIsBlank(node.children, values)) {
            return false;
        }
    }
    return true;
}

// The typed answer of [[type:Name]] or [[type:cloze:Name]], as Anki shows it when nothing was
// typed: the right answer as text.
std::string TypedAnswer(const std::string& box, const CardInput& card) {
    std::string name = box;
    bool cloze = false;
    if (name.compare(0, 6, "cloze:") == 0) {
        name.erase(0, 6);
        cloze = true;
    } else if (name.compare(0, 3, "nc:") == 0) {
        name.erase(0, 3);
    }
    int key = TemplateKeyOf(*card.type, name);
    if (key < 0 || static_cast<size_t>(key) >= card.fields->size()) {
        return std::string();
    }
    const std::string& field = (*card.fields)[key];
    std::string answer = cloze ? ClozeAnswer(field, static_cast<int>(card.ord) + 1) : field;
    return "<code id=typeans>" + EscapeHtml(CleanWhiteSpace(HtmlToText(answer))) + "</code>";
}

// Each [[type:...]] of `html` replaced: by its typed answer, or by nothing. `typed_only`
// collects the typed answers alone.
// *over is set when the result would be larger than kMaxSideBytes; it is cut short then.
std::string ResolveTyping(const std::string& html, const CardInput* card, bool* over,
                          std::string* typed_only = nullptr) {
    std::string out;
    size_t from = 0;
    for (size_t at = html.find("[[type:"); at != std::string::npos;
         at = html.find("[[type:", from)) {
        size_t end = html.find("]]", at + 7);
        if (end == std::string::npos) {
            break;
        }
        out.append(html, from, at - from);
        if (card != nullptr) {
            std::string typed = TypedAnswer(html.substr(at + 7, end - at - 7), *card);
            if (out.size() + typed.size() + (typed_only ? typed_only->size() : 0) > kMaxSideBytes) {
                *over = true;
                return out;
            }
            out += typed;
            if (typed_only != nullptr) {
                *typed_only += typed;
            }
        }
        from = end + 2;
    }
    out.append(html, from, std::string::npos);
    return out;
}

// `back` with `front` at each of the places `at` (ascending) into *out; false when that would
// be larger than kMaxSideBytes.
bool Compose(const std::string& back, const std::vector<size_t>& at, const std::string& front,
             std::string* out) {
    out->clear();
    if (!at.empty() && front.size() > (kMaxSideBytes - back.size()) / at.size()) {
        return false;
    }
    size_t from = 0;
    for (size_t place : at) {
        out->append(back, from, place - from);
        *out += front;
        from = place;
    }
    out->append(back, from, std::string::npos);
    return true;
}

} // namespace

TemplateRenderer::TemplateRenderer() = default;
TemplateRenderer::~TemplateRenderer() = default;

bool TemplateRenderer::Render(const CardInput& card, RenderedCard* out, TemplateError* error) {
    const NoteType& type = *card.type;
    const size_t index = TemplateIndex(type, card.ord);
    if (card.ord < 0 || index >= type.templates.size()) {
        *error = {false, "the note type has no template for card " + std::to_string(card.ord + 1)};
        return false;
    }
    const CardTemplate& form = type.templates[index];
    std::unique_ptr<Parsed>& parsed = parsed_[{&type, index}];
    if (!parsed) {
        parsed = std::make_unique<Parsed>();
        std::string why;
        for (const std::string* side : {&form.question, &form.answer}) {
            if (side->size() > kMaxTemplateBytes) {
                parsed->error = {side == &form.answer,
                                 "it is " + AboutSize(side->size()) + ", over the limit of " +
                                     SizeText(kMaxTemplateBytes) + " for a template"};
                break;
            }
        }
        if (!parsed->error.what.empty()) {
            // too large to be read
        } else if (!ParseTemplate(type, form.question, &parsed->front, &why)) {
            parsed->error = {false, why};
        } else if (!ParseTemplate(type, form.answer, &parsed->back, &why)) {
            parsed->error = {true, why};
        } else {
            parsed->ok = true;
        }
    }
    if (!parsed->ok) {
        *error = parsed->error;
        return false;
    }
    out->blank = false;
    out->question.clear();
    out->answer.clear();
    out->back_alone.clear();
    Values values(card, form);
    std::string why;
    bool over = false;
    if (!RenderNodes(parsed->front, values, &out->question, &why, &over)) {
        *error = {false, why, over};
        return false;
    }
    bool blank = false;
    if (type.cloze) {
        blank = true;
        for (const std::string& field : *card.fields) {
            blank &= RevealCloze(field, static_cast<int>(card.ord) + 1, true).empty();
        }
    } else {
        blank = FrontIsBlank(parsed->front, values);
    }
    if (blank) {
        out->blank = true; // Anki shows its message without looking at the back
        return true;
    }
    // The back once, with {{FrontSide}} as nothing and its places noted; then the back as Anki
    // shows it, with the front in those places, and the back alone, with only the front's
    // typed answers there. Each [[type:...]] becomes its typed answer on the back, and nothing
    // on the front.
    values.question = false;
    std::vector<size_t> front_at;
    values.front_at = &front_at;
    back_.clear();
    if (!RenderNodes(parsed->back, values, &back_, &why, &over)) {
        *error = {true, why, over};
        return false;
    }
    std::string typed;
    const bool boxes = out->question.find("[[type:") != std::string::npos;
    if (boxes) {
        ResolveTyping(out->question, &card, &over, &typed);
    }
    over = over || !Compose(back_, front_at, out->question, &out->answer) ||
           !Compose(back_, front_at, typed, &out->back_alone);
    for (std::string* side : {&out->answer, &out->back_alone}) {
        if (!over && side->find("[[type:") != std::string::npos) {
            *side = ResolveTyping(*side, &card, &over);
        }
    }
    if (over) {
        *error = {true, SideOverLimit(true), true};
        return false;
    }
    if (boxes) {
        out->question = ResolveTyping(out->question, nullptr, &over);
    }
    return true;
}

void TemplateRenderer::ReleaseRoom(size_t kept) {
    if (back_.capacity() > kept) {
        std::string().swap(back_);
    }
}

bool FieldIsEmpty(const std::string& html) {
    const size_t n = html.size();
    for (size_t p = 0; p < n;) {
        char c = html[p];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            ++p;
            continue;
        }
        if (c != '<') {
            return false;
        }
        size_t q = p + 1 + (p + 1 < n && html[p + 1] == '/');
        if (HasAtNoCase(html, q, "br")) {
            q += 2;
        } else if (HasAtNoCase(html, q, "div")) {
            q += 3;
        } else {
            return false;
        }
        q += q < n && html[q] == ' ';
        q += q < n && html[q] == '/';
        if (q >= n || html[q] != '>') {
            return false;
        }
        p = q + 1;
    }
    return true;
}

} // namespace deck::anki
