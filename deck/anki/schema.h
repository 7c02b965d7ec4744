// The note types and decks of an Anki collection, in either schema: the older one keeps them as
// JSON in col.models and col.decks, the newer one in the notetypes, fields, templates and decks
// tables (with protobuf configs).
#pragma once

#include "deck/html/stylesheet.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct sqlite3;

namespace deck::anki {

// A card template: its name ("Card 1") and its formats, "{{Front}}" and
// "{{FrontSide}}<hr id=answer>{{Back}}".
struct CardTemplate {
    std::string name;
    std::string question;
    std::string answer;
};

struct NoteType {
    std::string name;
    bool cloze = false;
    std::vector<std::string> field_names; // in field order
    std::vector<CardTemplate> templates;  // in template order (cards.ord)
    std::string css;                      // the stylesheet its cards show with
    html::Stylesheet sheet;               // css's rules that hide, read once for all cards
};

// The template that renders card `ord` (cards.ord) of a note of `type`: a cloze note type
// renders every card with its one template, whose gap `ord` + 1 the card asks; any other type
// has a template for each card. A damaged card's (a negative ord too) lies past the
// templates: check it against their number.
inline size_t TemplateIndex(const NoteType& type, int64_t ord) {
    return type.cloze ? 0 : static_cast<size_t>(ord);
}

struct DeckInfo {
    std::string name;      // Parent::Child
    bool filtered = false; // a filtered deck: its cards belong to their home decks
};

struct Schema {
    std::map<int64_t, NoteType> types;
    std::map<int64_t, DeckInfo> decks;
    // What of the note types and of the decks could not be read, in words for the user
    // ("col.decks is not JSON"); empty where they are sound. A part that is damaged as a
    // whole leaves its map empty; a damaged entry is left out of it, or read with Anki's
    // default where the text says so.
    std::string types_damage;
    std::string decks_damage;
};

// Loads the note types and decks: from the tables when the collection has note types there,
// else from the JSON in col. What is damaged is named in the schema's *_damage texts.
// Returns an SQLite result code.
int LoadSchema(sqlite3* db, Schema* schema);

// What a command needs of a collection, to tell the damage it can work around from the damage
// it cannot.
struct Needs {
    bool deck_names = false; // it lists decks or picks one by its name
    bool note_types = false; // it shows cards
    bool schedule = false;   // it counts days
};

// What of the schema (and of the configuration, whose damage text is `config_damage`) is
// damaged, for a command with these needs: *warnings say what is assumed where the command can
// still do its work honestly; false with *err set where it cannot (no note type to show a card
// with, no deck name to list or pick).
bool CheckSchema(const Schema& schema, const std::string& config_damage, const Needs& needs,
                 std::vector<std::string>* warnings, std::string* err);

// The ids of the deck named `name` (letters A-Z compared without case, as Anki does) and of
// its subdecks.
std::set<int64_t> DeckIds(const Schema& schema, const std::string& name);

// Every deck's name, sorted, for messages: "\"French\", \"Geography::Capitals\"" or "none".
std::string DeckList(const Schema& schema);

// A key that sorts deck names as Anki's deck tree does: a parent before its children, letters
// compared without case. Names that Anki takes for the same deck have the same key.
std::string DeckSortKey(const std::string& name);

// The names of the decks above `name`, nearest first: "A::B" and "A" for "A::B::C".
std::vector<std::string> ParentDecks(const std::string& name);

} // namespace deck::anki
