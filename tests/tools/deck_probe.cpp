// deck_probe DECK [CARDS]: what Tollamy.dll's card store makes of DECK. Prints "count N" (the
// count in the index that GetCardCount builds), then "card I QUESTION ANSWER" for the first
// CARDS cards (default 50), each text as the hex of its UTF-16 units ("-" when empty), as
// LoadCard reads them. The deck tool's tests compare this with `check` and `export`.
#include "cardstore/cardstore.h"

#include <stdio.h>
#include <wchar.h>

namespace {

CardStore store;

void PrintHex(const WCHAR* text) {
    if (text[0] == 0) {
        printf(" -");
        return;
    }
    printf(" ");
    for (const WCHAR* p = text; *p != 0; ++p) {
        printf("%04x", static_cast<unsigned>(*p));
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: deck_probe DECK [CARDS]\n");
        return 2;
    }
    long cards = argc > 2 ? wcstol(argv[2], nullptr, 10) : 50;
    store.SetPaths(argv[1]);
    LONG count = store.GetCardCount();
    printf("count %ld\n", static_cast<long>(count));
    for (LONG i = 0; i < count && i < cards; ++i) {
        Card& card = store.LoadCard(i);
        printf("card %ld", static_cast<long>(i));
        PrintHex(card.question);
        PrintHex(card.answer);
        printf("\n");
    }
    return count < 0 ? 1 : 0;
}
