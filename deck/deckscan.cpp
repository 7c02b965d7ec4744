// check and export: one pass over a UTF-16 deck, with the item's own card rules.
#include "deck/deckscan.h"

#include "cardstore/cardrules.h"
#include "deck/closingline.h"
#include "deck/input.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <uchardet/uchardet.h>
#include <unistd.h>

#include <vector>

namespace deck {

namespace {

using cardrules::kCr;
using cardrules::kFieldUnits;
using cardrules::kLf;
using cardrules::kTab;

constexpr size_t kBlockBytes = 1 << 20;
constexpr uint64_t kMaxDeckBytes = 1ull << 32;

struct OffsetList {
    std::vector<uint32_t> offsets;
    void Add(uint32_t offset) { offsets.push_back(offset); }
};

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHigh(uint16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(uint16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// The name of a fixed copy of `deck`: "cards.txt" -> "cards-utf16.txt".
std::string FixedName(const std::string& deck) {
    size_t slash = deck.rfind('/');
    size_t dot = deck.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1)) {
        return deck + "-utf16.txt";
    }
    return deck.substr(0, dot) + "-utf16" + deck.substr(dot);
}

// Shell quoting for a command the user may paste.
std::string Quoted(const std::string& s) {
    if (s.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./+") ==
        std::string::npos) {
        return s;
    }
    std::string out = "'";
    for (char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// What a deck without FF FE looks like, for the error message; *fixable when import can help.
std::string LooksLike(const uint8_t* bytes, size_t size, bool* fixable) {
    *fixable = true;
    if (size == 0) {
        *fixable = false;
        return "the file is empty";
    }
    if (size == 1) {
        *fixable = false;
        return "the file holds a single byte";
    }
    if (size >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
        return "it looks like UTF-8 with a byte-order mark";
    }
    if (memcmp(bytes, "\xFE\xFF", 2) == 0) {
        return "it looks like UTF-16 big-endian (FE FF)";
    }
    if (const char* kind = NotTextKind(bytes, size)) {
        *fixable = false;
        return std::string("it is not text; it looks like ") + kind;
    }
    bool invalid = false;
    if (ValidUtf8Prefix(bytes, size, &invalid) + 4 > size && !invalid) {
        bool ascii = true;
        for (size_t i = 0; i < size && ascii; ++i) {
            ascii = bytes[i] < 0x80;
        }
        return ascii ? "it looks like ASCII (UTF-8)" : "it looks like UTF-8";
    }
    uchardet_t detector = uchardet_new();
    uchardet_handle_data(detector, reinterpret_cast<const char*>(bytes), size);
    uchardet_data_end(detector);
    std::string guess = uchardet_get_charset(detector);
    uchardet_delete(detector);
    return guess.empty() ? "its encoding is unknown" : "it looks like " + guess;
}

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

// One pass over a deck. Cards start where the item's scanner says; each card's line is looked
// at unit by unit for what the item will make of it, and with an export the card's fields are
// read by the item's field reader.
class DeckScan {
public:
    DeckScan(Report& report, bool check, DeckWriter* exportTo)
        : report_(report), check_(check), export_(exportTo), scanner_(starts_),
          fields_(question_, answer_) {}

    // False when the deck cannot be read as a deck at all (an error is reported).
    bool Run(const std::string& path) {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            report_.Error(0, std::string("cannot be opened: ") + strerror(errno));
            return false;
        }
        struct Closer {
            int fd;
            ~Closer() { close(fd); }
        } closer{fd};
        struct stat st {};
        if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            report_.Error(0, "is a folder, not a file");
            return false;
        }
        if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) >= kMaxDeckBytes) {
            report_.Error(0, "is 4 GiB or more; the item's 32-bit card offsets cannot reach "
                             "beyond 4 GiB: split the deck");
            return false;
        }
        // Blocks no larger than the file: small files cost small buffers.
        size_t blockBytes = S_ISREG(st.st_mode) && st.st_size < static_cast<off_t>(kBlockBytes)
                                ? static_cast<size_t>(st.st_size) + 16
                                : kBlockBytes;
        std::vector<uint8_t> block(blockBytes + 2);
        ssize_t got = ReadFull(fd, block.data(), blockBytes);
        if (got < 0) {
            report_.Error(0, std::string("cannot be read: ") + strerror(errno));
            return false;
        }
        if (got < 2 || block[0] != 0xFF || block[1] != 0xFE) {
            bool fixable = false;
            std::string like = LooksLike(block.data(), static_cast<size_t>(got), &fixable);
            std::string text = "not a deck: no FF FE byte-order mark (UTF-16LE); " + like;
            if (fixable) {
                text += "; fix it with: tollamy-deck import " + Quoted(path) + " -o " +
                        Quoted(FixedName(path));
            }
            report_.Error(1, text);
            return false;
        }
        StartCard();
        uint64_t total = static_cast<uint64_t>(got);
        size_t have = static_cast<size_t>(got) - 2; // bytes after the mark
        memmove(block.data(), block.data() + 2, have);
        for (;;) {
            size_t units = have / 2;
            if (total > kMaxDeckBytes) {
                report_.Error(0, "is 4 GiB or more; the item's 32-bit card offsets cannot reach "
                                 "beyond 4 GiB: split the deck");
                return false;
            }
            Block(block.data(), static_cast<uint32_t>(units));
            size_t kept = have % 2;
            if (kept != 0) {
                block[0] = block[2 * units];
            }
            got = ReadFull(fd, block.data() + kept, blockBytes);
            if (got < 0) {
                report_.Error(0, std::string("cannot be read: ") + strerror(errno));
                return false;
            }
            if (got == 0) {
                FinishCard();
                if (kept != 0 && check_) {
                    report_.Warning(line_, "a trailing odd byte at the end of the file "
                                           "(the item ignores it)");
                }
                return true;
            }
            total += static_cast<uint64_t>(got);
            have = kept + static_cast<size_t>(got);
        }
    }

    long Cards() const { return cards_; }

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
                                    " units: the item shows only the first 511");
            }
            if (answerUnits_ > kFieldUnits) {
                Warn(cardLine_, "answer of " + std::to_string(answerUnits_) +
                                    " units: the item shows only the first 511");
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
        if (export_ != nullptr) {
            if (!fieldsDone_) {
                fields_.End();
            }
            bool replaced = false;
            std::string line = Field(question_, true, &replaced);
            line += '\t';
            line += Field(answer_, false, &replaced);
            line += '\n';
            if (replaced) {
                report_.Warning(cardLine_, "an unpaired surrogate in card " +
                                               std::to_string(cards_) + " became U+FFFD");
            }
            export_->WriteBytes(line);
        }
    }

    // Something about the card ends in a warning (the texts are only made then).
    bool Warned() const {
        return (questionUnits_ == 0 && answerUnits_ == 0) || !hasTab_ ||
               questionUnits_ > kFieldUnits || answerUnits_ > kFieldUnits || extraColumns_ != 0 ||
               nul_ || unpaired_ || loneCrs_ != 0;
    }

    // A field for Anki's CSV reader: quoted when it holds a quote or could read as a comment.
    static std::string Field(const uint16_t* units, bool first, bool* replaced) {
        std::string text = ShownText(units, replaced);
        if (text.find('"') == std::string::npos && !(first && !text.empty() && text[0] == '#')) {
            return text;
        }
        std::string out = "\"";
        for (char c : text) {
            out += c;
            if (c == '"') {
                out += '"';
            }
        }
        return out + "\"";
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
        if (IsLow(u)) {
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
        prevHigh_ = IsHigh(u);
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
            if (export_ != nullptr && !fieldsDone_) {
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

    Report& report_;
    bool check_;
    DeckWriter* export_;
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

std::string ShownText(const uint16_t* units, bool* replaced) {
    std::string out;
    for (size_t i = 0; units[i] != 0; ++i) {
        uint32_t c = units[i];
        if (IsHigh(units[i]) && IsLow(units[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (IsHigh(units[i]) || IsLow(units[i])) {
            c = 0xFFFD;
            *replaced = true;
        }
        AppendUtf8(out, c);
    }
    return out;
}

int RunCheck(const CheckOptions& options, FILE* out, FILE* err, bool quiet) {
    Report report(options.deck, err);
    report.SetStrict(options.strict);
    report.SetQuiet(quiet);
    DeckScan scan(report, true, nullptr);
    bool read = scan.Run(options.deck);
    long cards = read ? scan.Cards() : 0;
    if (out != nullptr) {
        fprintf(out, "%s, %s, %s\n", Counted(cards, "card").c_str(),
                Counted(report.Warnings(), "warning").c_str(),
                Counted(report.Errors(), "error").c_str());
    }
    return report.Errors() == 0 ? 0 : 1;
}

int RunExport(const ExportOptions& options, FILE* err, bool quiet) {
    Report report(options.deck, err);
    report.SetQuiet(quiet);
    if (options.output.empty()) {
        report.ErrorAbout("tollamy-deck", "export needs -o OUTPUT");
        return 2;
    }
    // Refuse a missing or unusable deck before the output is touched.
    int fd = open(options.deck.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        report.Error(0, std::string("cannot be opened: ") + strerror(errno));
        return 1;
    }
    close(fd);
    DeckWriter writer;
    if (!writer.Open(options.output, options.deck, options.force, report, false)) {
        return 1;
    }
    writer.WriteBytes("#separator:tab\n#html:false\n");
    DeckScan scan(report, false, &writer);
    if (!scan.Run(options.deck) || report.Errors() != 0 || !writer.Commit(report)) {
        return 1;
    }
    if (err != nullptr) {
        fprintf(err, "exported %s from %s to %s; %s\n", Counted(scan.Cards(), "card").c_str(),
                options.deck.c_str(), options.output.c_str(),
                Counted(report.Warnings(), "warning").c_str());
    }
    return 0;
}

} // namespace deck
