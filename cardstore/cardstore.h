// The card store: the data file of cards, its index file and the card on display.
#pragma once

#include <windows.h>

#define CARD_TEXT_UNITS 512 // per side, NUL included: at most 511 units of text
#define STORE_PATH_UNITS 260
// The index build reads the data file, after its byte-order mark, in blocks of this many bytes,
// and copies the offsets from the temp file in blocks of the same size; memory stays fixed
// whatever the size of the deck.
#define SCAN_BLOCK_BYTES (128 * 1024)

// The card on display. Both texts are always NUL-terminated.
class Card {
public:
    Card();
    virtual ~Card();

    WCHAR question[CARD_TEXT_UNITS];
    WCHAR answer[CARD_TEXT_UNITS];
};

// Reaches the cards of one data file through its index file. No file stays open between
// calls; every failure that the user should see is written into card as "error" and a message.
class CardStore {
public:
    CardStore();
    virtual ~CardStore();

    // Takes the data-file path and derives the index-file path from it.
    void SetPaths(const WCHAR* dataFilePath);
    // The number of cards, or -1. Rebuilds a missing, short or stale index once.
    LONG GetCardCount();
    // The byte offset of card n in the data file, or -1.
    LONG GetCardOffset(LONG n);
    // Loads card n into card and returns it.
    Card& LoadCard(LONG n);
    // Scans the data file and writes the index file. 1 when written, 0 on failure.
    int BuildIndex();

    WCHAR dataPath[STORE_PATH_UNITS];
    WCHAR indexPath[STORE_PATH_UNITS];
    Card card;
};
