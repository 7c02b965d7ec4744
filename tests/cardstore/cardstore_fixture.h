// The fixture of the card-store tests: a store on deck.txt in a private folder. It remembers
// the bytes of every deck it wrote and checks, after the test, that the store never changed
// them; after every store call it checks that each file in the folder opens exclusively, so
// that no handle was left open on any path.
#pragma once

#include <gtest/gtest.h>
#include <map>

#include "cardstore/cardstore.h"
#include "cardstore_support.h"

class CardStoreTest : public ::testing::Test {
protected:
    CardStoreTest()
        : deckPath(folder.File(L"deck.txt")), indexPath(folder.File(L"deck.idx")),
          tempPath(folder.File(L"deck.tmp")) {
        store.SetPaths(deckPath.c_str());
    }

    void TearDown() override {
        for (const auto& deck : decks_) {
            Bytes now;
            if (ReadBytes(deck.first, &now)) {
                EXPECT_TRUE(now == deck.second) << "the store changed the deck's bytes";
            }
        }
    }

    void WriteDeck(const Bytes& bytes, const std::wstring& path = L"") {
        std::wstring p = path.empty() ? deckPath : path;
        ASSERT_TRUE(WriteBytes(p, bytes));
        decks_[p] = bytes;
    }
    void WriteDeck(const std::wstring& text) { WriteDeck(Deck(text)); }

    void ExpectFilesFree() {
        for (const std::wstring& name : folder.Entries()) {
            std::wstring path = folder.File(name.c_str());
            if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
                continue;
            }
            EXPECT_TRUE(OpensExclusively(path)) << "left open: " << testing::PrintToString(name);
        }
    }

    // The store's operations, each followed by the check that no file stayed open.
    LONG Count() {
        LONG n = store.GetCardCount();
        ExpectFilesFree();
        return n;
    }
    LONG Offset(LONG n) {
        LONG offset = store.GetCardOffset(n);
        ExpectFilesFree();
        return offset;
    }
    int Build() {
        int built = store.BuildIndex();
        ExpectFilesFree();
        return built;
    }
    Card& Load(LONG n) {
        Card& card = store.LoadCard(n);
        ExpectFilesFree();
        return card;
    }

    std::wstring Question() const { return store.card.question; }
    std::wstring Answer() const { return store.card.answer; }

    TempFolder folder;
    std::wstring deckPath;
    std::wstring indexPath;
    std::wstring tempPath;
    CardStore store;

private:
    std::map<std::wstring, Bytes> decks_;
};

inline bool operator==(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}
