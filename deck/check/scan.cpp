// One pass over a UTF-16 deck, unit by unit: cards start where the item's scanner says, each
// card's line is looked at for what the item will make of it, and the card's fields are read
// by the item's field reader.
#include "deck/check/scan.h"

#include "cardstore/cardrules.h"
#include "deck/check/deckfile.h"
#include "deck/base/utf.h"

#include <vector>

namespace deck::check {

namespace {

using cardrules::kCr;
using cardrules::kFieldUnits;
using cardrules::kLf;
using cardrules::kTab;

struct OffsetList {
    std::vector<uint32_t> offsets;
    void Add(uint32_t offset) { offsets.push_back(offset); }
};

// The first unit from i on, before limit, that is not plain text: a control unit (TAB, CR,
// LF, NUL, ...) or a surrogate. Most units of a deck are plain, so this goes 8 at a time.
uint32_t PlainRunEnd(const uint8_t* bytes, uint32_t i, uint32_t limit) {
#if defined(__SSE2__)
    const __m128i controlTop = _mm_set1_epi16(0x1F);
    const __m128i surrogateMask = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= limit; i += 8) {
        __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
        // u <= 0x1F exactly when the saturating u - 0x1F is 0.
        __m128i control = _mm_cmpeq_epi16(_mm_subs_epu16(u, controlTop), zero);
        __m128i sur = _mm_cmpeq_epi16(_mm_and_si128(u, surrogateMask), surrogate);
        int mask = _mm_movemask_epi8(_mm_or_si128(control, sur));
        if (mask != 0) {
            return i + static_cast<uint32_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
        }
    }
#endif
    for (; i < limit; ++i) {
        uint16_t v = cardrules::UnitAt(bytes, i);
        if (v < 0x20 || (v & 0xF800) == 0xD800) {
            break;
        }
    }
    return i;
}

class DeckPass {
public:
    DeckPass(Report& report, bool check, const ShownCard& shown)
        : report_(report), check_(check), shown_(shown), scanner_(starts_),
          fields_(question_, answer_) {
        StartCard();
    }

    long Cards() const { return cards_; }
    long Line() const { return line_; }

    // The units of the next block: cards start where the item's scanner says.
    void Block(const uint8_t* bytes, uint32_t units) {
        uint32_t position = scanner_.Position();
        starts_.offsets.clear();
        scanner_.Scan(bytes, units);
        const std::vector<uint32_t>& starts = starts_.offsets;
        size_t next = 0;
        uint32_t i = 0;
        while (i < units) {
            if (next < starts.size() && (starts[next] - position) / 2 == i) {
                FinishCard();
                StartCard();
                ++next;
            }
            // [i, limit): units of one card.
            uint32_t limit = next < starts.size() ? (starts[next] - position) / 2 : units;
            if (shown_ && !fieldsDone_) {
                // The item's own field reader, up to the card's end.
                uint32_t k = i;
                while (k < limit && fields_.Feed(cardrules::UnitAt(bytes, k))) {
                    ++k;
                }
                fieldsDone_ = k < limit;
            }
            while (i < limit) {
                uint16_t u = cardrules::UnitAt(bytes, i);
                if (lineStart_) {
                    // A line that does not start a card: it lies inside the card before it.
                    lineStart_ = false;
                    hidden_ = true;
                    hiddenText_ = false;
                    hiddenLine_ = line_;
                }
                if (crPending_) {
                    crPending_ = false;
                    if (u != kLf) {
                        ++loneCrs_;
                    }
                }
                uint32_t j = PlainRunEnd(bytes, i, limit);
                if (j > i) {
                    Plain(j - i);
                    i = j;
                } else {
                    Special(u);
                    ++i;
                }
            }
        }
    }

    // The end of the deck: its last card ends.
    void End() { FinishCard(); }

private:
    enum class Phase { kQuestion, kSeparator, kAnswer, kExtra, kRest };

    void StartCard() {
        ++cards_;
        cardLine_ = line_;
        phase_ = Phase::kQuestion;
        questionUnits_ = answerUnits_ = 0;
        extraColumns_ = 0;
        newColumn_ = false;
        hasTab_ = nul_ = unpaired_ = false;
        loneCrs_ = 0;
        lineStart_ = false; // this unit starts a card, so its line is not hidden
        fields_ = cardrules::CardFieldReader(question_, answer_);
        fieldsDone_ = false;
    }

    void Warn(long line, const std::string& text) {
        if (check_) {
            report_.Warning(line, text);
        }
    }

    void EndHidden() {
        if (hidden_ && hiddenText_) {
            Warn(hiddenLine_, "line " + std::to_string(hiddenLine_) +
                                  " is hidden: after the empty line " +
                                  std::to_string(hiddenLine_ - 1) +
                                  " (a bare LF line end) the item reads it as part of card " +
                                  std::to_string(cards_) +
                                  ", which shows empty; tollamy-deck import re-writes the deck "
                                  "with CR LF line ends");
        }
        hidden_ = false;
    }

    void FinishCard() {
        if (crPending_) {
            ++loneCrs_;
            crPending_ = false;
        }
        if (prevHigh_) {
            unpaired_ = true;
            prevHigh_ = false;
        }
        EndHidden();
        if (check_) {
            const std::string card = Warned() ? "card " + std::to_string(cards_) : std::string();
            if (questionUnits_ == 0 && answerUnits_ == 0) {
                Warn(cardLine_, card + " is empty");
            } else if (!hasTab_) {
                Warn(cardLine_, "no TAB: " + card + " has an empty answer");
            }
            if (questionUnits_ > kFieldUnits) {
                Warn(cardLine_, "question of " + std::to_string(questionUnits_) +
                                    " units: the item shows only the first " +
                                    std::to_string(kFieldUnits));
            }
            if (answerUnits_ > kFieldUnits) {
                Warn(cardLine_, "answer of " + std::to_string(answerUnits_) +
                                    " units: the item shows only the first " +
                                    std::to_string(kFieldUnits));
            }
            if (extraColumns_ != 0) {
                Warn(cardLine_, std::to_string(extraColumns_) +
                                    (extraColumns_ == 1 ? " extra TAB-separated column is"
                                                        : " extra TAB-separated columns are") +
                                    " ignored");
            }
            if (nul_) {
                Warn(cardLine_, "a NUL unit in " + card + ": the text after it is not shown");
            }
            if (unpaired_) {
                Warn(cardLine_, "an unpaired surrogate in " + card);
            }
            if (loneCrs_ != 0) {
                Warn(cardLine_, card + " has " + std::to_string(loneCrs_) + " CR-only line end" +
                                    (loneCrs_ == 1 ? "" : "s") +
                                    ": the item ends lines at LF only, so the text after the "
                                    "first CR is not shown; tollamy-deck import re-writes the "
                                    "deck with CR LF line ends");
            }
        }
        if (shown_) {
            if (!fieldsDone_) {
                fields_.End();
            }
            shown_(question_, answer_, cards_, cardLine_);
        }
    }

    // Something about the card ends in a warning (the texts are only made then).
    bool Warned() const {
        return (questionUnits_ == 0 && answerUnits_ == 0) || !hasTab_ ||
               questionUnits_ > kFieldUnits || answerUnits_ > kFieldUnits || extraColumns_ != 0 ||
               nul_ || unpaired_ || loneCrs_ != 0;
    }

    // n plain units (not TAB, CR, LF, NUL, other controls or surrogates).
    void Plain(uint32_t n) {
        if (prevHigh_) {
            unpaired_ = true;
            prevHigh_ = false;
        }
        Text(n);
    }

    // n units of text in the current phase.
    void Text(uint32_t n) {
        switch (phase_) {
        case Phase::kQuestion:
            questionUnits_ += n;
            break;
        case Phase::kSeparator:
            phase_ = Phase::kAnswer;
            answerUnits_ = n;
            break;
        case Phase::kAnswer:
            answerUnits_ += n;
            break;
        case Phase::kExtra:
            if (newColumn_) {
                ++extraColumns_;
                newColumn_ = false;
            }
            break;
        case Phase::kRest:
            if (hidden_) {
                hiddenText_ = true;
            }
            break;
        }
    }

    void Special(uint16_t u) {
        if (IsLowSurrogate(u)) {
            if (!prevHigh_) {
                unpaired_ = true;
            }
            prevHigh_ = false;
            Text(1);
            return;
        }
        if (prevHigh_) {
            unpaired_ = true;
        }
        prevHigh_ = IsHighSurrogate(u);
        if (prevHigh_) {
            Text(1);
            return;
        }
        if (u == kTab) {
            switch (phase_) {
            case Phase::kQuestion:
                phase_ = Phase::kSeparator;
                hasTab_ = true;
                break;
            case Phase::kAnswer:
                phase_ = Phase::kExtra;
                newColumn_ = true;
                break;
            case Phase::kExtra:
                newColumn_ = true;
                break;
            case Phase::kRest:
                Text(1);
                break;
            case Phase::kSeparator:
                break;
            }
        } else if (u == kCr) {
            phase_ = Phase::kRest;
            crPending_ = true;
        } else if (u == kLf) {
            phase_ = Phase::kRest;
            EndHidden();
            ++line_;
            lineStart_ = true;
        } else {
            // A NUL within the shown part of a field ends the text the item shows.
            bool shown = phase_ == Phase::kSeparator ||
                         (phase_ == Phase::kQuestion && questionUnits_ < kFieldUnits) ||
                         (phase_ == Phase::kAnswer && answerUnits_ < kFieldUnits);
            if (u == 0 && shown) {
                nul_ = true;
            }
            Text(1);
        }
    }

    Report& report_;
    bool check_;
    const ShownCard& shown_;
    OffsetList starts_;
    cardrules::CardScanner<OffsetList> scanner_;
    uint16_t question_[kFieldUnits + 1];
    uint16_t answer_[kFieldUnits + 1];
    cardrules::CardFieldReader fields_;
    bool fieldsDone_ = false;

    long cards_ = 0;
    long line_ = 1;
    long cardLine_ = 1;
    Phase phase_ = Phase::kQuestion;
    size_t questionUnits_ = 0, answerUnits_ = 0;
    long extraColumns_ = 0;
    bool newColumn_ = false;
    bool hasTab_ = false, nul_ = false, unpaired_ = false;
    long loneCrs_ = 0;
    bool crPending_ = false;
    bool prevHigh_ = false;
    bool lineStart_ = false;
    bool hidden_ = false, hiddenText_ = false;
    long hiddenLine_ = 0;
};

} // namespace

bool ScanDeck(const std::string& path, Report& report, bool check, const ShownCard& shown,
              long* cards) {
    DeckPass pass(report, check, shown);
    bool oddByte = false;
    bool read = ReadDeckFile(
        path, report, [&pass](const uint8_t* bytes, uint32_t units) { pass.Block(bytes, units); },
        &oddByte);
    if (read) {
        pass.End();
        if (oddByte && check) {
            report.Warning(pass.Line(), "a trailing odd byte at the end of the file "
                                        "(the item ignores it)");
        }
    }
    *cards = read ? pass.Cards() : 0;
    return read;
}

} // namespace deck::check
