// The shared card rules against a plain reading of them: the card starts found by
// CardScanner (fed in pieces of random sizes, so LFs fall on piece and window edges) and the
// fields that CardFieldReader reads from each start. The seed is fixed;
// TOLLAMY_DECK_SEED overrides it.
#include "cardstore/cardrules.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using Units = std::vector<uint16_t>;

uint32_t Seed() {
    const char* s = getenv("TOLLAMY_DECK_SEED");
    return s != nullptr ? static_cast<uint32_t>(strtoul(s, nullptr, 0)) : 20261209u;
}

// Card offsets by the rule's words: card 0 at 2; the unit after an LF starts a card and is
// not tested; an LF at the very end starts nothing.
std::vector<uint32_t> PlainStarts(const Units& units) {
    std::vector<uint32_t> starts{2};
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i] == 0x0A && i + 1 < units.size()) {
            starts.push_back(static_cast<uint32_t>(2 + 2 * (i + 1)));
            ++i; // the unit after the LF is not tested
        }
    }
    return starts;
}

bool Ends(uint16_t u) {
    return u == 9 || u == 10 || u == 13;
}

// The fields read from unit `at` on, as LoadCard describes them.
void PlainFields(const Units& units, size_t at, Units* question, Units* answer) {
    question->clear();
    answer->clear();
    size_t i = at;
    while (i < units.size() && !Ends(units[i])) {
        if (question->size() < 511) {
            question->push_back(units[i]);
        }
        ++i;
    }
    while (i < units.size() && units[i] == 9) {
        ++i;
    }
    while (i < units.size() && !Ends(units[i]) && answer->size() < 511) {
        answer->push_back(units[i++]);
    }
}

struct Starts {
    std::vector<uint32_t> offsets{2};
    void Add(uint32_t offset) { offsets.push_back(offset); }
};

std::vector<uint8_t> Bytes(const Units& units) {
    std::vector<uint8_t> bytes;
    for (uint16_t u : units) {
        bytes.push_back(static_cast<uint8_t>(u));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    return bytes;
}

std::vector<uint32_t> ScanInPieces(const Units& units, std::mt19937& rng) {
    std::vector<uint8_t> bytes = Bytes(units);
    Starts starts;
    cardrules::CardScanner<Starts> scanner(starts);
    size_t at = 0;
    while (at < units.size()) {
        size_t n = std::min<size_t>(units.size() - at, 1 + rng() % 80);
        scanner.Scan(bytes.data() + 2 * at, static_cast<uint32_t>(n));
        at += n;
    }
    return starts.offsets;
}

void ReadFields(const Units& units, size_t at, Units* question, Units* answer) {
    uint16_t q[512], a[512];
    cardrules::CardFieldReader reader(q, a);
    while (at < units.size() && reader.Feed(units[at])) {
        ++at;
    }
    if (at == units.size()) {
        reader.End();
    }
    auto length = [](const uint16_t* text) {
        size_t n = 0;
        while (text[n] != 0) {
            ++n;
        }
        return n;
    };
    question->assign(q, q + length(q));
    answer->assign(a, a + length(a));
}

Units RandomDeck(std::mt19937& rng) {
    static const uint16_t kPieces[] = {'a', 'b', 0x3042, 9, 9, 10, 10, 13, 0xD800, 0};
    Units units;
    int kind = static_cast<int>(rng() % 4);
    size_t size = rng() % 300;
    for (size_t i = 0; i < size; ++i) {
        if (kind == 0 && rng() % 40 == 0) {
            units.insert(units.end(), 500 + rng() % 100, 'x'); // fields around 511
        } else {
            units.push_back(kPieces[rng() % (kind == 1 ? 6 : 10)]);
        }
    }
    return units;
}

TEST(CardRules, StartsAndFieldsMatchTheRulesOnRandomDecks) {
    uint32_t seed = Seed();
    std::mt19937 rng(seed);
    for (int deck = 0; deck < 3000; ++deck) {
        Units units = RandomDeck(rng);
        std::vector<uint32_t> expected = PlainStarts(units);
        ASSERT_EQ(expected, ScanInPieces(units, rng)) << "seed " << seed << " deck " << deck;
        for (uint32_t offset : expected) {
            Units q1, a1, q2, a2;
            PlainFields(units, (offset - 2) / 2, &q1, &a1);
            // The texts end at a NUL, as the card shows them.
            q1.resize(std::find(q1.begin(), q1.end(), 0) - q1.begin());
            a1.resize(std::find(a1.begin(), a1.end(), 0) - a1.begin());
            ReadFields(units, (offset - 2) / 2, &q2, &a2);
            ASSERT_EQ(q1, q2) << "seed " << seed << " deck " << deck << " offset " << offset;
            ASSERT_EQ(a1, a2) << "seed " << seed << " deck " << deck << " offset " << offset;
        }
    }
}

TEST(CardRules, KnownDecks) {
    // Q1 TAB A1 LF LF Q2 TAB A2 LF Q3 TAB A3: the empty line hides Q2.
    Units units = {'Q', '1', 9, 'A', '1', 10, 10, 'Q', '2', 9, 'A', '2', 10, 'Q', '3', 9, 'A', '3'};
    std::mt19937 rng(1);
    EXPECT_EQ((std::vector<uint32_t>{2, 14, 28}), ScanInPieces(units, rng));
    // CR LF CR LF: an empty card, and the line after it is a card of its own.
    units = {'Q', '1', 9, 'A', '1', 13, 10, 13, 10, 'Q', '2', 9, 'A', '2'};
    EXPECT_EQ((std::vector<uint32_t>{2, 16, 20}), ScanInPieces(units, rng));
    // A final LF starts nothing; an LF right after the mark starts card 1 at offset 4.
    EXPECT_EQ((std::vector<uint32_t>{2}), ScanInPieces(Units{'a', 10}, rng));
    EXPECT_EQ((std::vector<uint32_t>{2, 4}), ScanInPieces(Units{10, 'a'}, rng));

    Units q, a;
    ReadFields(Units{'Q', 9, 9, 9, 'A', 9, 'B'}, 0, &q, &a);
    EXPECT_EQ((Units{'Q'}), q);
    EXPECT_EQ((Units{'A'}), a);
    // A question of 600 units: cut at 511, its tail skipped, the real answer read.
    Units longQ(600, 'x');
    longQ.push_back(9);
    longQ.push_back('A');
    ReadFields(longQ, 0, &q, &a);
    EXPECT_EQ(511u, q.size());
    EXPECT_EQ((Units{'A'}), a);
    // An answer of 600 units is cut at 511.
    Units longA{'Q', 9};
    longA.insert(longA.end(), 600, 'y');
    ReadFields(longA, 0, &q, &a);
    EXPECT_EQ(511u, a.size());
}

} // namespace
