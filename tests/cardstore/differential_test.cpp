// Randomized decks checked against the format model and against the unit-per-read reference.
// The seed is fixed (TOLLAMY_CARDSTORE_SEED overrides it) and printed with the deck number
// on the first failure.
#include "cardstore_fixture.h"
#include "cardstore_model.h"
#include "cardstore_reference.h"

#include <stdlib.h>

namespace {

uint32_t Seed(uint32_t fallback) {
    const char* s = getenv("TOLLAMY_CARDSTORE_SEED");
    return s != nullptr ? static_cast<uint32_t>(strtoul(s, nullptr, 0)) : fallback;
}

// Builds decks from random pieces: text, TAB runs, line ends and, for hostile decks, NUL
// units, lone surrogates, marks in the middle, huge lines and decks of one unit repeated.
class DeckMaker {
public:
    explicit DeckMaker(uint32_t seed) : rng(seed) {}

    int Pick(int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); }
    bool Chance(int percent) { return Pick(100) < percent; }

    Bytes Normal() {
        std::wstring units;
        int lines = Pick(12);
        for (int l = 0; l < lines; ++l) {
            AddField(&units, false);
            if (Chance(80)) {
                units.append(1 + Pick(Chance(10) ? 40 : 3), L'\t');
                AddField(&units, false);
                if (Chance(10)) {
                    units += L'\t';
                    AddField(&units, false);
                }
            }
            AddLineEnd(&units);
        }
        return Finish(units, 8, 15);
    }

    Bytes Hostile(bool huge) {
        std::wstring units;
        switch (Pick(8)) {
        case 0:
            units.assign(Pick(3000), L'\t'); // only TABs
            break;
        case 1:
            units.assign(Pick(3000), L'\r'); // only CRs
            break;
        case 2:
            units.assign(Pick(50), L'\n'); // only LFs
            break;
        case 3:
            for (int i = Pick(600); i > 0; --i) { // any units at all
                units += static_cast<wchar_t>(rng() & 0xFFFF);
            }
            break;
        default: {
            int lines = Pick(10);
            for (int l = 0; l < lines; ++l) {
                AddField(&units, true);
                if (Chance(70)) {
                    units.append(1 + Pick(Chance(5) ? 5000 : 3), L'\t');
                    AddField(&units, true);
                }
                AddLineEnd(&units);
            }
        }
        }
        if (huge) {
            size_t at = units.empty() ? 0 : static_cast<size_t>(Pick(int(units.size())));
            std::wstring line(100000, L'h');
            for (int i = 0; i < 50; ++i) {
                line[Pick(100000)] = Special(true);
            }
            units.insert(at, line);
        }
        return Finish(units, 4, 50);
    }

    std::mt19937 rng;

private:
    wchar_t Special(bool hostile) {
        static const wchar_t normal[] = {L'a',   L'Z',  L' ',  L'7', 0x00E4,
                                         0x65E5, L'\t', L'\r', L'\n'};
        static const wchar_t bad[] = {0x0000, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFEFF,
                                      0xFFFE, 0xFFFF, 0x0A0D, 0x0D0A, 0x0900};
        if (hostile && Chance(50)) {
            return bad[Pick(sizeof(bad) / sizeof(bad[0]))];
        }
        return normal[Pick(sizeof(normal) / sizeof(normal[0]))];
    }

    void AddField(std::wstring* units, bool hostile) {
        int length = Chance(12) ? 500 + Pick(25) : Pick(12); // around 511 now and then
        for (int i = 0; i < length; ++i) {
            wchar_t u;
            if (hostile && Chance(15)) {
                u = Special(true);
                if (u == L'\t' || u == L'\r' || u == L'\n') {
                    u = 0;
                }
            } else {
                u = static_cast<wchar_t>(L'a' + Pick(26));
            }
            *units += u;
        }
    }

    void AddLineEnd(std::wstring* units) {
        switch (Pick(6)) {
        case 0:
        case 1:
            *units += L"\r\n";
            break;
        case 2:
            *units += L'\n';
            break;
        case 3:
            *units += Chance(50) ? L"\r\n\r\n" : L"\n\n"; // an empty line
            break;
        case 4:
            *units += L'\r';
            break;
        default:
            break; // runs on into the next line
        }
    }

    // The mark (sometimes missing or wrong), the units, sometimes a trailing odd byte.
    Bytes Finish(const std::wstring& units, int wrongMarkPercent, int oddPercent) {
        Bytes deck;
        if (Chance(wrongMarkPercent)) {
            static const Bytes wrong[] = {{}, {0xFF}, {0xFE, 0xFF}, {0xEF, 0xBB, 0xBF}, {0xFE}};
            deck = wrong[Pick(5)];
        } else {
            deck = {0xFF, 0xFE};
        }
        Bytes body = Utf16(units);
        deck.insert(deck.end(), body.begin(), body.end());
        if (Chance(oddPercent)) {
            deck.push_back(static_cast<uint8_t>(rng()));
        }
        return deck;
    }
};

class RandomDecks : public CardStoreTest {
protected:
    // Builds the index of `deck` and checks it and up to `maxCards` loaded cards against the
    // model. False after the first mismatch.
    bool CheckAgainstModel(const Bytes& deck, std::mt19937& rng, int maxCards) {
        WriteBytes(deckPath, deck);
        DeleteFileW(indexPath.c_str());
        int built = store.BuildIndex();
        if (!model::HasMark(deck)) {
            EXPECT_EQ(0, built);
            EXPECT_EQ(L"data file is not UTF-16 encodeing.", Answer());
            EXPECT_FALSE(Exists(indexPath));
            return !HasFailure();
        }
        EXPECT_EQ(1, built);
        IndexFields index;
        EXPECT_TRUE(ReadIndex(indexPath, &index));
        EXPECT_TRUE(index.whole);
        EXPECT_TRUE(index.stamp == LastWriteTime(deckPath));
        std::vector<uint32_t> offsets = model::Offsets(deck);
        EXPECT_EQ(offsets, index.offsets);
        EXPECT_FALSE(Exists(tempPath));
        if (HasFailure()) {
            return false;
        }
        int n = static_cast<int>(offsets.size());
        for (int k = 0; k < std::min(n, maxCards); ++k) {
            int card = n <= maxCards ? k : k == 0 ? 0 : k == 1 ? n - 1 : int(rng() % n);
            store.LoadCard(card);
            model::Card expected = model::Fields(deck, offsets[card]);
            EXPECT_EQ(expected.question, Question()) << "card " << card;
            EXPECT_EQ(expected.answer, Answer()) << "card " << card;
            if (HasFailure()) {
                return false;
            }
        }
        Bytes after;
        EXPECT_TRUE(ReadBytes(deckPath, &after) && after == deck);
        return !HasFailure();
    }

    // Builds and loads with the store while every read comes back in pieces, and checks the
    // results against the reference reading the same file one unit per ReadFile call.
    bool CheckAgainstReference(const Bytes& deck, std::mt19937& rng, DWORD maxPiece) {
        WriteBytes(deckPath, deck);
        DeleteFileW(indexPath.c_str());
        std::vector<uint32_t> expected;
        bool marked = reference::ScanOffsets(deckPath.c_str(), &expected);
        IndexFields index;
        {
            FaultyFileOps inPieces;
            inPieces.pieces = &rng;
            inPieces.maxPiece = maxPiece;
            EXPECT_EQ(marked ? 1 : 0, store.BuildIndex());
            if (!marked || HasFailure()) {
                return !HasFailure();
            }
            EXPECT_TRUE(ReadIndex(indexPath, &index));
            EXPECT_EQ(expected, index.offsets);
            for (size_t card = 0; card < expected.size() && !HasFailure(); ++card) {
                store.LoadCard(static_cast<LONG>(card));
                std::wstring q, a;
                reference::ReadCard(deckPath.c_str(), expected[card], &q, &a);
                EXPECT_EQ(q, Question()) << "card " << card;
                EXPECT_EQ(a, Answer()) << "card " << card;
            }
        }
        return !HasFailure();
    }
};

TEST_F(RandomDecks, IndexAndCardsMatchTheModel) {
    const uint32_t seed = Seed(20261208);
    DeckMaker maker(seed);
    for (int i = 0; i < 2000; ++i) {
        Bytes deck = maker.Normal();
        ASSERT_TRUE(CheckAgainstModel(deck, maker.rng, 12)) << "seed " << seed << " deck " << i;
    }
    ExpectFilesFree();
}

TEST_F(RandomDecks, BlockScanMatchesUnitReadsWithReadsInPieces) {
    const uint32_t seed = Seed(9);
    DeckMaker maker(seed);
    const DWORD pieces[] = {1, 2, 3, 4, 5, 7, 9, 64, 4096};
    for (int i = 0; i < 2000; ++i) {
        Bytes deck = maker.Chance(50) ? maker.Normal() : maker.Hostile(false);
        DWORD maxPiece = pieces[maker.Pick(sizeof(pieces) / sizeof(pieces[0]))];
        ASSERT_TRUE(CheckAgainstReference(deck, maker.rng, maxPiece))
            << "seed " << seed << " deck " << i << " pieces of up to " << maxPiece;
    }
    ExpectFilesFree();
}

TEST_F(RandomDecks, BlockScanMatchesUnitReadsAtTheScanBlockBoundary) {
    // The scan reads SCAN_BLOCK_BYTES blocks after the 2-byte mark, so unit blockUnits - 1 is
    // the last of the first block and unit blockUnits the first of the second.
    const size_t blockUnits = SCAN_BLOCK_BYTES / sizeof(wchar_t);
    const size_t last = blockUnits - 1;
    const uint32_t boundaryOffset = 2 + SCAN_BLOCK_BYTES;
    const std::wstring patterns[] = {L"\n",   L"\n\n", L"\r\n", L"\t",  L"\t\t",
                                     L"\n\t", L"\r",   L"x\n",  L"\nx", L"\n\r\n"};
    std::mt19937 rng(Seed(64));
    for (const std::wstring& pattern : patterns) {
        for (size_t shift = 0; shift < pattern.size(); ++shift) {
            std::wstring units;
            while (units.size() < 2 * blockUnits + 100) {
                units += std::wstring(1 + rng() % 40, L'q') + L"\t" +
                         std::wstring(rng() % 40, L'a') + L"\r\n";
            }
            units.replace(last - shift, pattern.size(), pattern);
            for (int odd = 0; odd < 2; ++odd) {
                Bytes deck = Deck(units);
                if (odd) {
                    deck.push_back(0x0A);
                }
                WriteBytes(deckPath, deck);
                DeleteFileW(indexPath.c_str());
                std::vector<uint32_t> expected;
                ASSERT_TRUE(reference::ScanOffsets(deckPath.c_str(), &expected));
                ASSERT_EQ(1, store.BuildIndex());
                IndexFields index;
                ASSERT_TRUE(ReadIndex(indexPath, &index));
                ASSERT_EQ(expected, index.offsets) << testing::PrintToString(pattern) << shift;
                ASSERT_EQ(model::Offsets(deck), index.offsets);
                // The cards around the boundary load like the reference reads them.
                for (size_t card = 0; card < expected.size(); ++card) {
                    if (expected[card] + 2048 < boundaryOffset ||
                        expected[card] > boundaryOffset + 2048) {
                        continue;
                    }
                    store.LoadCard(static_cast<LONG>(card));
                    std::wstring q, a;
                    reference::ReadCard(deckPath.c_str(), expected[card], &q, &a);
                    ASSERT_EQ(q, Question());
                    ASSERT_EQ(a, Answer());
                }
            }
        }
    }
    ExpectFilesFree();
}

// Long: 10,000 decks. Its own suite so that it can run with the soak tests.
class HostileDecks : public RandomDecks {};

TEST_F(HostileDecks, NoneCrashesAndAllMatchTheModel) {
    const uint32_t seed = Seed(10);
    DeckMaker maker(seed);
    for (int i = 0; i < 10000; ++i) {
        Bytes deck = maker.Hostile(i % 2000 == 1999); // five decks with a 100,000-unit line
        ASSERT_TRUE(CheckAgainstModel(deck, maker.rng, 4)) << "seed " << seed << " deck " << i;
    }
    ExpectFilesFree();
}

} // namespace
