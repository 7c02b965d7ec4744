// The card rules of a data file, shared by the card store in Tollamy.dll and by tollamy-deck.
// Plain C++ over UTF-16LE bytes and 16-bit units, with nothing of the platform in it, in the C++
// that both take: the handheld's GCC 4.4 (-std=gnu++0x) and the deck tool's C++17.
//
// Card numbering: card 0 begins at byte offset 2, right after the byte-order mark. The unit
// right after an LF starts the next card and is not itself tested as a line end (so with bare
// LF endings an empty line starts a card that holds the line after it); an LF that is the last
// unit of the file starts nothing. A trailing odd byte is ignored.
//
// Fields: a field ends at TAB, CR, LF or the end of the file and keeps at most 511 units. The
// question is read first; an over-long question is cut at 511 units and its tail skipped up to
// its TAB, CR or LF. A run of TABs separates the question from the answer. The answer is cut at
// 511 units, and a further TAB, a CR or an LF ends it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cardrules {

const uint16_t kTab = 0x0009;
const uint16_t kLf = 0x000A;
const uint16_t kCr = 0x000D;
const size_t kFieldUnits = 511;      // text units a field keeps
const uint32_t kFirstCardOffset = 2; // right after the byte-order mark

inline uint16_t UnitAt(const uint8_t* bytes, size_t unit) {
    return static_cast<uint16_t>(bytes[2 * unit] | bytes[2 * unit + 1] << 8);
}

inline bool EndsField(uint16_t unit) {
    return unit == kTab || unit == kCr || unit == kLf;
}

// The card-numbering rule over a stream of units delivered in pieces, even when an LF ends one
// piece and the unit after it begins the next. Sink has `void Add(uint32_t offset)` and is
// given the byte offset of every card after card 0 (whose offset is always 2).
template <class Sink> class CardScanner {
public:
    explicit CardScanner(Sink& out) : out_(out), position_(kFirstCardOffset), afterLf_(false) {}
    CardScanner(const CardScanner&) = delete;
    CardScanner& operator=(const CardScanner&) = delete;

    // `units` code units at `bytes`, the first of them at byte offset Position().
    void Scan(const uint8_t* bytes, uint32_t units) {
        uint32_t i = 0;
#if defined(__SSE2__)
        // 32 units at a time; lines are long against that, so many windows hold no LF.
        const __m128i lf = _mm_set1_epi16(static_cast<short>(kLf));
        for (; i + 32 <= units; i += 32) {
            const __m128i* p = reinterpret_cast<const __m128i*>(bytes + 2 * static_cast<size_t>(i));
            __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(p), lf);
            __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(p + 1), lf);
            __m128i c = _mm_cmpeq_epi16(_mm_loadu_si128(p + 2), lf);
            __m128i d = _mm_cmpeq_epi16(_mm_loadu_si128(p + 3), lf);
            // Bit k is set when unit k of the window is an LF.
            unsigned lfs = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b))) |
                           static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(c, d))) << 16;
            if (lfs == 0 && !afterLf_) {
                continue;
            }
            // Bit k of starts: unit k starts a card (bit 32: the next window's first unit).
            unsigned long long starts = afterLf_ ? 1 : 0;
            if (afterLf_) {
                lfs &= ~1u; // unit 0 starts a card and is not tested
            }
            if ((lfs & (lfs << 1)) == 0) {
                // No LF right after another: every LF starts the next unit.
                starts |= static_cast<unsigned long long>(lfs) << 1;
            } else {
                // An LF right after an LF starts a card and ends no line: take them in order.
                while (lfs != 0) {
                    unsigned k = static_cast<unsigned>(__builtin_ctz(lfs));
                    starts |= 1ull << (k + 1);
                    lfs &= k + 2 >= 32 ? 0u : ~0u << (k + 2);
                }
            }
            afterLf_ = (starts >> 32) != 0;
            unsigned cards = static_cast<unsigned>(starts);
            uint32_t window = position_ + 2 * i;
            while (cards != 0) {
                out_.Add(window + 2 * static_cast<uint32_t>(__builtin_ctz(cards)));
                cards &= cards - 1;
            }
        }
#endif
        for (; i < units; ++i) {
            if (afterLf_) {
                out_.Add(position_ + 2 * i);
                afterLf_ = false;
            } else if (UnitAt(bytes, i) == kLf) {
                afterLf_ = true;
            }
        }
        position_ += 2 * units;
    }

    // The byte offset of the next unit to scan.
    uint32_t Position() const {
        return position_;
    }

private:
    Sink& out_;
    uint32_t position_;
    bool afterLf_; // the next unit starts a card
};

// Reads one card's question and answer from its units, given one at a time from the card's
// first unit on. Feed returns false once both fields are complete; End finishes them at the
// end of the file. Both texts are NUL-terminated, at most 511 units each.
class CardFieldReader {
public:
    CardFieldReader(uint16_t* question, uint16_t* answer)
        : question_(question), answer_(answer), questionLength_(0), answerLength_(0),
          state_(kQuestion) {
        question_[0] = 0;
        answer_[0] = 0;
    }

    // The next unit of the card; false when the card is complete (the unit is not used).
    bool Feed(uint16_t unit);
    // The end of the file: completes whatever field is open.
    void End();
    bool Done() const { return state_ == kDone; }

private:
    // A plain enum: GCC 4.4.0 compares two enum class values wrongly.
    enum State { kQuestion, kQuestionTail, kSeparator, kAnswer, kDone };
    void FinishQuestion(uint16_t unit);
    bool FeedAnswer(uint16_t unit);

    uint16_t* question_;
    uint16_t* answer_;
    size_t questionLength_;
    size_t answerLength_;
    State state_;
};

} // namespace cardrules
