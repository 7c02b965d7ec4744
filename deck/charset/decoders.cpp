// The decoders of the single-byte, CJK and Unicode encodings.
#include "deck/charset/decoders.h"

#include <algorithm>

namespace deck::charset {

namespace {

uint16_t Single(const Encoding& e, uint8_t b) {
    return b < 0x80 ? e.low[b] : e.high[b - 0x80];
}

Status DecodeSingleByte(const Encoding& e, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                        uint32_t* outEnd) {
    for (; in < end; ++in) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        uint16_t cp = Single(e, *in);
        if (cp == kNoChar) {
            return Status::kIllegalInput;
        }
        *out++ = cp;
    }
    return Status::kEmptyInput;
}

// The character that base and mark compose to, 0 for none.
uint32_t Composed(const Encoding& e, uint32_t base, uint32_t mark) {
    const Composition* end = e.compositions + e.compositionCount;
    const Composition* c = std::lower_bound(
        e.compositions, end, std::make_pair(base, mark), [](const Composition& a, auto key) {
            return a.base != key.first ? a.base < key.first : a.mark < key.second;
        });
    return c != end && c->base == base && c->mark == mark ? c->composed : 0;
}

bool IsBase(const Encoding& e, uint32_t cp) {
    const Composition* end = e.compositions + e.compositionCount;
    const Composition* c = std::lower_bound(
        e.compositions, end, cp, [](const Composition& a, uint32_t key) { return a.base < key; });
    return c != end && c->base == cp;
}

// CP1255 and CP1258: a character that may take a mark is held back until the next one shows.
// A mark that composes with it replaces both by the composed character, which CP1255 holds
// back again if it takes a further mark; anything else lets the held character out first.
Status DecodeComposing(const Encoding& e, State& s, const uint8_t*& in, const uint8_t* end,
                       uint32_t*& out, uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        uint16_t cp = Single(e, *in);
        if (cp == kNoChar) {
            return Status::kIllegalInput;
        }
        if (s.held != 0) {
            if (uint32_t composed = Composed(e, s.held, cp)) {
                ++in;
                if (e.composeAgain && IsBase(e, composed)) {
                    s.held = composed;
                } else {
                    *out++ = composed;
                    s.held = 0;
                }
                continue;
            }
            *out++ = s.held;
            s.held = 0;
        }
        if (cp >= e.baseFirst && cp <= e.baseLast) {
            s.held = cp;
            ++in;
            continue;
        }
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        *out++ = cp;
        ++in;
    }
    return Status::kEmptyInput;
}

// The code point of a two-byte sequence (lead, trail), 0 for none.
uint32_t TwoByte(Kind kind, uint8_t lead, uint8_t trail) {
    switch (kind) {
    case Kind::kSjis:
        return At(kSjisGrid, lead, trail);
    case Kind::kEucKr:
        return At(kKscGrid, lead, trail);
    case Kind::kUhc:
        return lead >= 0xA1 && trail >= 0xA1 ? At(kKscGrid, lead, trail)
                                             : At(kUhcGrid, lead, trail);
    case Kind::kBig5:
        return At(kBig5Grid, lead, trail);
    case Kind::kEucCn:
        return At(kGb2312Grid, lead, trail);
    case Kind::kGbk: {
        unsigned i = (lead - 0x81u) * 256 + trail;
        return (kGbkCells[i / 8] >> (i % 8) & 1) != 0 ? At(kGb18030Grid, lead, trail) : 0;
    }
    default:
        return 0;
    }
}

// The bytes that begin a two-byte sequence, so that one alone at the end is incomplete
// rather than invalid (glibc's ranges, wider than the rows its tables have).
bool IsLead(Kind kind, uint8_t b) {
    switch (kind) {
    case Kind::kSjis:
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEA);
    case Kind::kEucKr:
        return b >= 0xA1;
    case Kind::kUhc:
        return (b >= 0x81 && b <= 0xC8) || (b >= 0xCA && b <= 0xFD);
    case Kind::kBig5:
        return b >= 0xA1 && b <= 0xF9;
    case Kind::kEucCn:
        return b == 0x8E || b == 0x8F || (b >= 0xA1 && b <= 0xFE);
    case Kind::kGbk:
        return b >= 0x81 && b <= 0xFE;
    default:
        return false;
    }
}

// Shift_JIS, EUC-KR, UHC, Big5, EUC-CN and GBK: single bytes, and lead bytes followed by one.
Status DecodeDoubleByte(const Encoding& e, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                        uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        uint16_t single = Single(e, in[0]);
        if (single != kNoChar) {
            *out++ = single;
            ++in;
            continue;
        }
        if (!IsLead(e.kind, in[0])) {
            return Status::kIllegalInput;
        }
        if (end - in < 2) {
            return Status::kIncompleteInput;
        }
        // glibc's UHC converter rejects A2E8 (U+327E in EUC-KR, missing from CP949) only
        // after it has consumed the two bytes.
        if (e.kind == Kind::kUhc && in[0] == 0xA2 && in[1] == 0xE8) {
            in += 2;
            return Status::kIllegalInput;
        }
        uint32_t cp = TwoByte(e.kind, in[0], in[1]);
        if (cp == 0) {
            return Status::kIllegalInput;
        }
        *out++ = cp;
        in += 2;
    }
    return Status::kEmptyInput;
}

// EUC-JP: JIS X 0208 (A1-FE A1-FE), half-width katakana (8E A1-DF), JIS X 0212 (8F and two).
Status DecodeEucJp(const Encoding& e, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                   uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        uint8_t b = in[0];
        uint16_t single = Single(e, b);
        if (single != kNoChar) {
            *out++ = single;
            ++in;
            continue;
        }
        if (b == 0xFF) {
            return Status::kIllegalInput;
        }
        if (end - in < 2) {
            return Status::kIncompleteInput;
        }
        uint32_t cp;
        size_t length = 2;
        if (b == 0x8F) {
            if (in[1] < kJis0212FirstRow || in[1] > kJis0212LastRow) {
                return Status::kIllegalInput;
            }
            if (end - in < 3) {
                return Status::kIncompleteInput;
            }
            cp = At(kJis0212Grid, in[1], in[2]);
            length = 3;
        } else {
            cp = At(kEucJpGrid, b, in[1]);
        }
        if (cp == 0) {
            return Status::kIllegalInput;
        }
        *out++ = cp;
        in += length;
    }
    return Status::kEmptyInput;
}

// EUC-TW: CNS 11643 plane 1 in two bytes, any plane in four (8E, A0 + plane, and two).
Status DecodeEucTw(const Encoding& e, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                   uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        uint8_t b = in[0];
        uint16_t single = Single(e, b);
        if (single != kNoChar) {
            *out++ = single;
            ++in;
            continue;
        }
        if (b != 0x8E && (b < 0xA1 || b > 0xFE)) {
            return Status::kIllegalInput;
        }
        if (end - in < 2) {
            return Status::kIncompleteInput;
        }
        uint32_t cp;
        size_t length = 2;
        if (b == 0x8E) {
            if (in[1] < 0xA1 || in[1] > 0xB0) {
                return Status::kIllegalInput;
            }
            if (end - in < 4) {
                return Status::kIncompleteInput;
            }
            unsigned plane = in[1] - 0xA0u;
            if (plane == 1) {
                cp = At(kCns1Grid, in[2], in[3]);
            } else if (in[2] >= 0xA1 && in[2] <= 0xFE) {
                cp = At(kCnsPlanesGrid, (plane - 2) * 94 + in[2] - 0xA1, in[3]);
            } else {
                cp = 0;
            }
            length = 4;
        } else {
            cp = At(kCns1Grid, b, in[1]);
        }
        if (cp == 0) {
            return Status::kIllegalInput;
        }
        *out++ = cp;
        in += length;
    }
    return Status::kEmptyInput;
}

// GB18030's four-byte code of this index, 0 for none: the BMP by the runs, U+10000 onwards
// from 90308130 by the index alone.
uint32_t FourByte(uint32_t index) {
    constexpr uint32_t kSupplementary = ((0x90 - 0x81) * 10 * 126) * 10;
    if (index >= kSupplementary) {
        return index - kSupplementary < 0x100000 ? 0x10000 + index - kSupplementary : 0;
    }
    const Run* end = kGb18030Runs + kGb18030RunCount;
    const Run* r = std::upper_bound(kGb18030Runs, end, index,
                                    [](uint32_t key, const Run& run) { return key < run.index; });
    if (r == kGb18030Runs) {
        return 0;
    }
    --r;
    return index - r->index < r->length ? r->code + index - r->index : 0;
}

// GB18030: single bytes, two-byte codes, and four-byte codes (81-FE 30-39 81-FE 30-39).
Status DecodeGb18030(const Encoding& e, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                     uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        uint8_t b = in[0];
        uint16_t single = Single(e, b);
        if (single != kNoChar) {
            *out++ = single;
            ++in;
            continue;
        }
        if (b < 0x81 || b > 0xFE) {
            return Status::kIllegalInput;
        }
        if (end - in < 2) {
            return Status::kIncompleteInput;
        }
        uint32_t cp;
        size_t length = 2;
        if (in[1] >= 0x30 && in[1] <= 0x39) {
            if (end - in < 4) {
                return Status::kIncompleteInput;
            }
            if (in[2] < 0x81 || in[2] > 0xFE || in[3] < 0x30 || in[3] > 0x39) {
                return Status::kIllegalInput;
            }
            cp = FourByte((((b - 0x81u) * 10 + in[1] - 0x30) * 126 + in[2] - 0x81) * 10 + in[3] -
                          0x30);
            length = 4;
        } else {
            cp = At(kGb18030Grid, b, in[1]);
        }
        if (cp == 0) {
            return Status::kIllegalInput;
        }
        *out++ = cp;
        in += length;
    }
    return Status::kEmptyInput;
}

// UTF-8 as glibc reads it: sequences of up to six bytes (code points up to 0x7FFFFFFF), no
// overlong forms and no surrogates; a cut sequence is incomplete while its bytes so far are
// continuation bytes.
Status DecodeUtf8(const uint8_t*& in, const uint8_t* end, uint32_t*& out, uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        uint8_t b = in[0];
        if (b < 0x80) {
            *out++ = b;
            ++in;
            continue;
        }
        if (b < 0xC2 || b > 0xFD) {
            return Status::kIllegalInput;
        }
        size_t length = b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : b < 0xFC ? 5 : 6;
        size_t have = std::min(length, static_cast<size_t>(end - in));
        uint32_t cp = b & (0x7F >> length);
        for (size_t i = 1; i < have; ++i) {
            if ((in[i] & 0xC0) != 0x80) {
                return Status::kIllegalInput;
            }
            cp = cp << 6 | (in[i] & 0x3F);
        }
        if (have < length) {
            return Status::kIncompleteInput;
        }
        static const uint32_t kLeast[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
        if (cp < kLeast[length] || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return Status::kIllegalInput;
        }
        *out++ = cp;
        in += length;
    }
    return Status::kEmptyInput;
}

uint32_t Read16(const uint8_t* p, bool big) {
    return big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
}

uint32_t Read32(const uint8_t* p, bool big) {
    return big ? (uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3])
               : (uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0]);
}

// UTF-16, UTF-32 and UNICODE: a byte-order mark at the start of the input (the first call
// with a whole unit after the start or a reset) is consumed. As in glibc, a big-endian mark
// sets the byte order for good; a little-endian one changes nothing (little-endian is where
// it starts).
void ReadMark(State& s, const uint8_t*& in, const uint8_t* end, size_t unit) {
    if (s.bomChecked || static_cast<size_t>(end - in) < unit) {
        return;
    }
    s.bomChecked = true;
    uint32_t big = unit == 2 ? Read16(in, true) : Read32(in, true);
    if (big == 0xFEFF) {
        s.bigEndian = true;
        in += unit;
    } else if (big == (unit == 2 ? 0xFFFEu : 0xFFFE0000u)) {
        in += unit;
    }
}

// UTF-16 (surrogate pairs) and UCS-2 (no surrogates at all).
Status DecodeUtf16(bool big, bool pairs, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
                   uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        if (end - in < 2) {
            return Status::kIncompleteInput;
        }
        uint32_t u = Read16(in, big);
        if (u < 0xD800 || u > 0xDFFF) {
            *out++ = u;
            in += 2;
            continue;
        }
        if (!pairs || u >= 0xDC00) {
            return Status::kIllegalInput;
        }
        if (end - in < 4) {
            return Status::kIncompleteInput;
        }
        uint32_t low = Read16(in + 2, big);
        if (low < 0xDC00 || low > 0xDFFF) {
            return Status::kIllegalInput;
        }
        *out++ = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        in += 4;
    }
    return Status::kEmptyInput;
}

// UTF-32 (up to U+10FFFF, no surrogates) and UCS-4 (up to 0x7FFFFFFF).
Status DecodeUtf32(bool big, uint32_t most, bool surrogates, const uint8_t*& in, const uint8_t* end,
                   uint32_t*& out, uint32_t* outEnd) {
    while (in < end) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        if (end - in < 4) {
            return Status::kIncompleteInput;
        }
        uint32_t u = Read32(in, big);
        if (u > most || (!surrogates && u >= 0xD800 && u <= 0xDFFF)) {
            return Status::kIllegalInput;
        }
        *out++ = u;
        in += 4;
    }
    return Status::kEmptyInput;
}

} // namespace

Status Decode(const Encoding& e, State& s, const uint8_t*& in, const uint8_t* end, uint32_t*& out,
              uint32_t* outEnd) {
    switch (e.kind) {
    case Kind::kSingleByte:
        return DecodeSingleByte(e, in, end, out, outEnd);
    case Kind::kComposing:
        return DecodeComposing(e, s, in, end, out, outEnd);
    case Kind::kUtf8:
        return DecodeUtf8(in, end, out, outEnd);
    case Kind::kUtf16:
        ReadMark(s, in, end, 2);
        return DecodeUtf16(s.bigEndian, true, in, end, out, outEnd);
    case Kind::kUtf16Le:
        return DecodeUtf16(false, true, in, end, out, outEnd);
    case Kind::kUtf16Be:
        return DecodeUtf16(true, true, in, end, out, outEnd);
    case Kind::kUnicode:
        ReadMark(s, in, end, 2);
        return DecodeUtf16(s.bigEndian, false, in, end, out, outEnd);
    case Kind::kUcs2:
        return DecodeUtf16(false, false, in, end, out, outEnd);
    case Kind::kUcs2Be:
        return DecodeUtf16(true, false, in, end, out, outEnd);
    case Kind::kUtf32:
        ReadMark(s, in, end, 4);
        return DecodeUtf32(s.bigEndian, 0x10FFFF, false, in, end, out, outEnd);
    case Kind::kUtf32Le:
        return DecodeUtf32(false, 0x10FFFF, false, in, end, out, outEnd);
    case Kind::kUtf32Be:
        return DecodeUtf32(true, 0x10FFFF, false, in, end, out, outEnd);
    case Kind::kUcs4:
        return DecodeUtf32(true, 0x7FFFFFFF, true, in, end, out, outEnd);
    case Kind::kUcs4Le:
        return DecodeUtf32(false, 0x7FFFFFFF, true, in, end, out, outEnd);
    case Kind::kEucJp:
        return DecodeEucJp(e, in, end, out, outEnd);
    case Kind::kEucTw:
        return DecodeEucTw(e, in, end, out, outEnd);
    case Kind::kGb18030:
        return DecodeGb18030(e, in, end, out, outEnd);
    case Kind::kIso2022Jp:
        return DecodeIso2022Jp(s, in, end, out, outEnd);
    case Kind::kIso2022Kr:
        return DecodeIso2022Kr(s, in, end, out, outEnd);
    case Kind::kIso2022Cn:
        return DecodeIso2022Cn(s, in, end, out, outEnd);
    default:
        return DecodeDoubleByte(e, in, end, out, outEnd);
    }
}

Status Flush(const Encoding&, State& s, uint32_t*& out, uint32_t* outEnd) {
    if (s.held != 0) {
        if (out == outEnd) {
            return Status::kFullOutput;
        }
        *out++ = s.held;
    }
    bool bigEndian = s.bigEndian;
    s = State();
    s.bigEndian = bigEndian;
    return Status::kEmptyInput;
}

} // namespace deck::charset
