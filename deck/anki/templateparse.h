// Anki's template language read into a tree, once per note type and template: its text, its
// comments, its fields with their filters and its sections, each name looked up in the note type
// then. The reading follows rslib/src/template.rs: "{{" pairs with the first "}}" after it, an
// HTML comment is kept whole (a "{{" inside it is not read), and "{{=<% %>=}}" at the start
// switches to Anki's old "<%Field%>" form. Only the anki part's renderer (template.cpp) uses it.
#pragma once

#include "deck/anki/schema.h"

#include <string>
#include <string_view>
#include <vector>

namespace deck::anki {

// Where a name in a template points: a field of the note (0 and up) or one of these.
enum TemplateKey : int {
    kUnknown = -1,
    kFrontSide = -2,
    kTags = -3,
    kType = -4,
    kDeck = -5,
    kSubdeck = -6,
    kCardFlag = -7,
    kCard = -8,
    kClozeNumber = -9, // c1, c2, ...: {{#c2}} is shown on cloze card 2
};

struct TemplateNode {
    enum Kind { kText, kComment, kField, kSection } kind = kText;
    std::string text;                 // the text or comment; the name of a field or section
    std::vector<std::string> filters; // the one nearest the field first
    bool negated = false;             // {{^Name}}
    int key = kUnknown;
    std::vector<TemplateNode> children;

    static TemplateNode Of(Kind kind, std::string text) {
        TemplateNode node;
        node.kind = kind;
        node.text = std::move(text);
        return node;
    }
};

// What `name` points to in a template of `type`: the index of its field, or a TemplateKey.
int TemplateKeyOf(const NoteType& type, const std::string& name);

// "{{#Name}}" or "{{^Name}}", as a message about a section names it.
std::string SectionTag(const TemplateNode& node);

// Reads a template into *nodes. False with *err set when a section is not closed in order or
// sections nest deeper than kMaxSectionDepth (deck/base/limits.h): deeper ones are refused
// rather than followed down the call stack.
bool ParseTemplate(const NoteType& type, std::string_view text, std::vector<TemplateNode>* nodes,
                   std::string* err);

} // namespace deck::anki
