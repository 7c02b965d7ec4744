// The Anki items of a data folder: each is NAME.txt (the deck the item reads), NAME.next
// (what the last good import said of the next change) and NAME.source (the Anki deck and the
// profile it is imported from), where NAME is the item's name on the Today screen.
#pragma once

#include <string>
#include <vector>

namespace deck::watch {

struct Item {
    std::string name;    // French-Verbs
    std::string deck;    // French::Verbs
    std::string profile; // User 1
};

// The item name of an Anki deck: "::" as "-", and the characters that Windows does not allow
// in a file name, "%" and the control characters as "_". Items named so at earlier starts keep
// their names.
std::string ItemName(const std::string& deck);

// The key under which Windows takes two names for one: letters A to Z without case, and
// without the dots and spaces at the end, which its file names drop.
std::string NameKey(const std::string& name);

// The items of `folder`, by name: each NAME.source that names a deck and a profile.
std::vector<Item> ReadItems(const std::string& folder);

// Writes NAME.source into `folder` in one step (a temporary file renamed into place). False
// with *err set.
bool WriteSource(const std::string& folder, const Item& item, std::string* err);

// The files of an item.
std::string DeckFile(const std::string& folder, const std::string& name);
std::string NextFile(const std::string& folder, const std::string& name);
std::string SourceFile(const std::string& folder, const std::string& name);

// The items that the Anki decks `named` become, in the order given, beside the items of the
// folder, `existing`, and the screen's other items, `others` (the item "Tollamy" among them).
// One deck, also written in another case of A to Z as Anki allows, is one item, which keeps the
// name it has. False with *err set, naming both decks, for the first that cannot be one: two
// distinct decks that make one item name, or a deck that would take another's item.
bool NameItems(const std::vector<std::string>& named, const std::string& profile,
               const std::vector<Item>& existing, const std::vector<std::string>& others,
               std::vector<Item>* items, std::string* err);

} // namespace deck::watch
