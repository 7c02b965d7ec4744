// A small model of the deck format, written from its description alone and working on the
// deck's bytes in memory: which byte offsets start cards, and what each card's fields hold.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

namespace model {

struct Card {
    std::wstring question;
    std::wstring answer;
};

inline bool HasMark(const std::vector<uint8_t>& deck) {
    return deck.size() >= 2 && deck[0] == 0xFF && deck[1] == 0xFE;
}

inline unsigned Unit(const std::vector<uint8_t>& deck, size_t byte) {
    return deck[byte] | deck[byte + 1] << 8;
}

// Card offsets: card 0 at byte 2; the unit after an LF starts the next card and is not
// itself looked at as a line end; an LF that is the file's last whole unit starts nothing.
inline std::vector<uint32_t> Offsets(const std::vector<uint8_t>& deck) {
    std::vector<uint32_t> offsets{2};
    size_t units = (deck.size() - 2) / 2;
    for (size_t i = 0; i < units; ++i) {
        if (Unit(deck, 2 + 2 * i) == 0x0A && i + 1 < units) {
            offsets.push_back(static_cast<uint32_t>(2 + 2 * (i + 1)));
            ++i;
        }
    }
    return offsets;
}

// The fields of the card at `offset`. A field ends at TAB, CR, LF or the end of the file and
// keeps at most 511 units; a longer question is cut there and its tail passed over, then the
// TAB run, then the answer. The card shows a field up to its first NUL unit.
inline Card Fields(const std::vector<uint8_t>& deck, uint32_t offset) {
    size_t end = 2 + (deck.size() - 2) / 2 * 2; // a trailing odd byte is not a unit
    size_t at = offset;
    auto ends = [&](size_t p) {
        if (p >= end) {
            return true;
        }
        unsigned u = Unit(deck, p);
        return u == 0x09 || u == 0x0D || u == 0x0A;
    };
    std::wstring q, a;
    for (; !ends(at); at += 2) {
        if (q.size() < 511) {
            q.push_back(static_cast<wchar_t>(Unit(deck, at)));
        }
    }
    while (at < end && Unit(deck, at) == 0x09) {
        at += 2;
    }
    for (; !ends(at) && a.size() < 511; at += 2) {
        a.push_back(static_cast<wchar_t>(Unit(deck, at)));
    }
    Card card;
    card.question = q.substr(0, q.find(L'\0'));
    card.answer = a.substr(0, a.find(L'\0'));
    return card;
}

} // namespace model
