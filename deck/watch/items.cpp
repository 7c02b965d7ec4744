// The Anki items of a data folder: their names, their NAME.source files and the rule that
// distinct decks get distinct items.
#include "deck/watch/items.h"

#include "deck/base/files.h"
#include "deck/base/strings.h"
#include "deck/deckwriter.h"

#include <algorithm>
#include <sstream>

namespace deck::watch {

namespace {

constexpr char kSource[] = ".source";

// The deck as Anki tells decks apart: letters A to Z without case.
std::string DeckKey(const std::string& deck) {
    return AsciiLower(deck);
}

} // namespace

std::string ItemName(const std::string& deck) {
    std::string name;
    for (size_t i = 0; i < deck.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(deck[i]);
        if (deck.compare(i, 2, "::") == 0) {
            name += '-';
            ++i;
        } else if (c < 0x20 || c == 0x7f ||
                   std::string_view("/\\:*?\"<>|%").find(deck[i]) != std::string_view::npos) {
            name += '_';
        } else {
            name += deck[i];
        }
    }
    return name;
}

std::string NameKey(const std::string& name) {
    std::string key = AsciiLower(name);
    while (!key.empty() && (key.back() == '.' || key.back() == ' ')) {
        key.pop_back();
    }
    return key;
}

std::vector<Item> ReadItems(const std::string& folder) {
    std::vector<Item> items;
    std::vector<FolderEntry> entries;
    ListFolder(folder, &entries);
    for (const FolderEntry& e : entries) {
        const std::string& file = e.name;
        std::string text;
        if (file.size() <= sizeof kSource - 1 || !EndsWithNoCase(file, kSource) ||
            e.info.kind != PathKind::kFile || !ReadWholeFile(JoinPath(folder, file), &text)) {
            continue;
        }
        Item item;
        item.name = file.substr(0, file.size() - (sizeof kSource - 1));
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            const size_t is = line.find('=');
            const std::string key = line.substr(0, is);
            if (is != std::string::npos && key == "deck") {
                item.deck = line.substr(is + 1);
            } else if (is != std::string::npos && key == "profile") {
                item.profile = line.substr(is + 1);
            }
        }
        if (!item.deck.empty() && !item.profile.empty()) {
            items.push_back(item);
        }
    }
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.name < b.name; });
    return items;
}

std::string DeckFile(const std::string& folder, const std::string& name) {
    return folder + kPathSeparator + name + ".txt";
}

std::string NextFile(const std::string& folder, const std::string& name) {
    return folder + kPathSeparator + name + ".next";
}

std::string SourceFile(const std::string& folder, const std::string& name) {
    return folder + kPathSeparator + name + kSource;
}

bool WriteSource(const std::string& folder, const Item& item, std::string* err) {
    DeckWriter writer;
    if (!writer.Open(SourceFile(folder, item.name), "", true, err, /*deckMark=*/false)) {
        return false;
    }
    writer.WriteBytes("deck=" + item.deck + "\nprofile=" + item.profile + "\n");
    writer.KeepWhenUnchanged();
    return writer.Commit(err);
}

bool NameItems(const std::vector<std::string>& named, const std::string& profile,
               const std::vector<Item>& existing, const std::vector<std::string>& others,
               std::vector<Item>* items, std::string* err) {
    items->clear();
    for (const std::string& deck : named) {
        if (deck.find_first_of("\r\n") != std::string::npos) {
            *err = "an Anki deck's name cannot hold a line break";
            return false;
        }
        Item item{ItemName(deck), deck, profile};
        const std::string key = NameKey(item.name);
        bool again = false;
        for (const Item& other : *items) {
            if (NameKey(other.name) != key) {
                continue;
            }
            if (DeckKey(other.deck) != DeckKey(deck)) {
                *err = "the Anki decks \"" + other.deck + "\" and \"" + deck +
                       "\" would both be the item " + other.name + "; name only one of them";
                return false;
            }
            again = true;
        }
        if (again) {
            continue;
        }
        for (const Item& other : existing) {
            if (NameKey(other.name) != key) {
                continue;
            }
            if (DeckKey(other.deck) != DeckKey(deck)) {
                *err = "the Anki deck \"" + deck + "\" would be the item " + item.name +
                       ", which shows the Anki deck \"" + other.deck +
                       "\"; remove that item first (its files " + other.name + ".*)";
                return false;
            }
            item.name = other.name;
        }
        for (const std::string& other : others) {
            if (NameKey(other) == key) {
                *err = "the Anki deck \"" + deck + "\" would be the item " + item.name +
                       ", and there is already an item named " + other;
                return false;
            }
        }
        items->push_back(item);
    }
    return true;
}

} // namespace deck::watch
