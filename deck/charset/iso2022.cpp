// The ISO-2022 decoders: ISO-2022-JP (RFC 1468), ISO-2022-KR (RFC 1557) and ISO-2022-CN
// (RFC 1922), with glibc's rules for escape sequences it does not know (an escape character
// like any other in ASCII) and for one that the end of the input cuts (incomplete).
#include "deck/charset/decoders.h"

namespace deck::charset {

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kSo = 0x0E;
constexpr uint8_t kSi = 0x0F;

// The sets of State::set and State::designated.
enum : uint8_t { kAscii = 0, kJisRoman, kJis0208, kKsc, kGb2312, kCns1 };

bool IsGraphic(uint8_t b) {
    return b >= 0x21 && b <= 0x7E;
}

// A 94x94 set's character for the bytes a, b (each 21-7E), 0 for none.
uint32_t Pair(const Grid& grid, uint8_t a, uint8_t b) {
    return IsGraphic(a) && IsGraphic(b) ? At(grid, a | 0x80, b | 0x80) : 0;
}

// Whether the bytes from in are the escape sequence seq, a prefix of it that the end of the
// input cuts, or neither.
enum class Match { kYes, kCut, kNo };

Match Matches(const uint8_t* in, const uint8_t* end, const char* seq) {
    for (size_t i = 0; seq[i] != '\0'; ++i) {
        if (in + i == end) {
            return Match::kCut;
        }
        if (in[i] != static_cast<uint8_t>(seq[i])) {
            return Match::kNo;
        }
    }
    return Match::kYes;
}

} // namespace

// ESC ( B ASCII, ESC ( J JIS X 0201 Roman, ESC $ @ and ESC $ B JIS X 0208. glibc looks at an
// escape only when three bytes are there, and leaves any other as characters.
Status DecodeIso2022Jp(State& s, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                       uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        uint8_t b = in[0];
        if (b == kEsc) {
            if (end - in < 3) {
                return Status::kIncompleteInput;
            }
            uint8_t set = in[1] == '(' && in[2] == 'B'                     ? kAscii
                          : in[1] == '(' && in[2] == 'J'                   ? kJisRoman
                          : in[1] == '$' && (in[2] == '@' || in[2] == 'B') ? kJis0208
                                                                           : 0xFF;
            if (set != 0xFF) {
                s.set = set;
                in += 3;
                continue;
            }
        }
        if (b >= 0x80) {
            return Status::kIllegalInput;
        }
        if (s.set != kJis0208 || b < 0x21 || b == 0x7F) {
            *out++ = s.set == kJisRoman ? kJisRomanLow[b] : b;
            ++in;
            continue;
        }
        if (end - in < 2) {
            return Status::kIncompleteInput;
        }
        uint32_t cp = Pair(kEucJpGrid, b, in[1]);
        if (cp == 0) {
            return Status::kIllegalInput;
        }
        *out++ = cp;
        in += 2;
    }
    return Status::kEmptyInput;
}

// SO and SI switch between ASCII and KS X 1001; the header ESC $ ) C may come anywhere and is
// skipped. After SO every byte below 80 but the controls SO, SI and a known escape begins a
// pair.
Status DecodeIso2022Kr(State& s, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                       uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        uint8_t b = in[0];
        if (b == kEsc) {
            Match m = Matches(in, end, "\x1B$)C");
            if (m == Match::kCut) {
                return Status::kIncompleteInput;
            }
            if (m == Match::kYes) {
                in += 4;
                continue;
            }
        }
        if (b == kSo || b == kSi) {
            s.set = b == kSo ? kKsc : kAscii;
            ++in;
            continue;
        }
        if (b >= 0x80) {
            return Status::kIllegalInput;
        }
        if (s.set != kKsc) {
            *out++ = b;
            ++in;
            continue;
        }
        if (end - in < 2) {
            return Status::kIncompleteInput;
        }
        uint32_t cp = Pair(kKscGrid, b, in[1]);
        if (cp == 0) {
            return Status::kIllegalInput;
        }
        *out++ = cp;
        in += 2;
    }
    return Status::kEmptyInput;
}

// ESC $ ) A and ESC $ ) G designate GB 2312 or CNS 11643 plane 1 to G1, which SO takes up
// (GB 2312 when nothing is designated) and SI leaves; ESC N takes the next pair from plane 2
// (ESC $ * H designates it, the only set G2 can have). After SO only pairs of 21-7E, SO, SI
// and known escapes may come.
Status DecodeIso2022Cn(State& s, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                       uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        uint8_t b = in[0];
        bool shifted = s.set != kAscii;
        if (b == kEsc) {
            static const char* const kEscapes[] = {"\x1B$)A", "\x1B$)G", "\x1B$*H", "\x1BN"};
            size_t which = 0;
            Match m = Match::kNo;
            for (; which < 4; ++which) {
                m = Matches(in, end, kEscapes[which]);
                if (m != Match::kNo) {
                    break;
                }
            }
            if (m == Match::kCut) {
                return Status::kIncompleteInput;
            }
            if (m == Match::kYes && which < 3) {
                if (which < 2) {
                    s.designated = which == 0 ? kGb2312 : kCns1;
                }
                in += 4;
                continue;
            }
            if (m == Match::kYes) {
                if (end - in < 4) {
                    return Status::kIncompleteInput;
                }
                uint32_t cp = IsGraphic(in[2]) && IsGraphic(in[3])
                                  ? At(kCnsPlanesGrid, in[2] - 0x21, in[3] | 0x80)
                                  : 0;
                if (cp == 0) {
                    return Status::kIllegalInput;
                }
                *out++ = cp;
                in += 4;
                continue;
            }
        }
        if (b == kSo || b == kSi) {
            s.set = b == kSi ? kAscii : s.designated == kCns1 ? kCns1 : kGb2312;
            ++in;
            continue;
        }
        if (!shifted) {
            // glibc's ISO-2022-CN takes DEL for no character.
            if (b >= 0x7F) {
                return Status::kIllegalInput;
            }
            *out++ = b;
            ++in;
            continue;
        }
        // A first byte outside the rows of the set is invalid at once.
        const Grid& grid = s.set == kCns1 ? kCns1Grid : kGb2312Grid;
        if (!IsGraphic(b) || (b | 0x80) < grid.firstRow ||
            (b | 0x80) >= grid.firstRow + grid.rowCount) {
            return Status::kIllegalInput;
        }
        if (end - in < 2) {
            return Status::kIncompleteInput;
        }
        uint32_t cp = Pair(grid, b, in[1]);
        if (cp == 0) {
            return Status::kIllegalInput;
        }
        *out++ = cp;
        in += 2;
    }
    return Status::kEmptyInput;
}

} // namespace deck::charset
