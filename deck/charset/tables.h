// The converter's tables, made at build time from glibc's charmaps by maketables.py (into the
// build folder's tables.cpp): each encoding's bytes, the two-byte grids of the CJK encodings,
// the compositions of CP1255 and CP1258, and the names that glibc's iconv_open accepts.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace deck::charset {

// A byte table's mark for a byte that is no character by itself.
constexpr uint16_t kNoChar = 0xFFFF;

// The decoder of an encoding (decoders.cpp, iso2022.cpp).
enum class Kind : uint8_t {
    kSingleByte,
    kComposing,
    kUtf8,
    kUtf16,
    kUtf16Le,
    kUtf16Be,
    kUtf32,
    kUtf32Le,
    kUtf32Be,
    kUcs2,
    kUcs2Be,
    kUnicode,
    kUcs4,
    kUcs4Le,
    kSjis,
    kEucJp,
    kIso2022Jp,
    kEucKr,
    kUhc,
    kIso2022Kr,
    kBig5,
    kEucTw,
    kEucCn,
    kGbk,
    kGb18030,
    kIso2022Cn,
};

// Rows of cells, each row stored from its first to its last mapped column. A cell holds a code
// point's low 16 bits, 0 for none; a set bit in plane2 (when there is one) puts it in plane 2.
struct Grid {
    uint16_t firstRow;
    uint16_t rowCount;
    const uint16_t* offset; // per row: its first cell in cells
    const uint8_t* first;   // per row: its first column (first > last: an empty row)
    const uint8_t* last;
    const uint16_t* cells;
    const uint8_t* plane2;
};

// The code point at (row, column), 0 for none.
inline uint32_t At(const Grid& grid, unsigned row, unsigned column) {
    unsigned r = row - grid.firstRow;
    if (row < grid.firstRow || r >= grid.rowCount || column < grid.first[r] ||
        column > grid.last[r]) {
        return 0;
    }
    unsigned i = grid.offset[r] + column - grid.first[r];
    uint32_t cp = grid.cells[i];
    if (grid.plane2 != nullptr && (grid.plane2[i / 8] >> (i % 8) & 1) != 0) {
        cp |= 0x20000;
    }
    return cp;
}

// A composing encoding's base followed by a combining mark, and the character they make.
struct Composition {
    uint16_t base;
    uint16_t mark;
    uint16_t composed;
};

// Consecutive four-byte GB18030 codes (by their index from 81308130) for consecutive code
// points.
struct Run {
    uint32_t index;
    uint32_t code;
    uint32_t length;
};

struct Encoding {
    Kind kind;
    // The single bytes 00-7F and 80-FF (kNoChar where a byte is no character by itself).
    const uint16_t* low;
    const uint16_t* high;
    // kComposing: the compositions, sorted by base and mark; the characters held back, in
    // case a mark follows (baseFirst..baseLast); whether a composed character composes again.
    const Composition* compositions;
    uint16_t compositionCount;
    uint16_t baseFirst;
    uint16_t baseLast;
    bool composeAgain;
};

// A name as glibc's iconv_open looks it up ("ISO-8859-1//", "ISO-10646/UTF8/") and its
// encoding in kEncodings.
struct Alias {
    const char* name;
    uint16_t encoding;
};

extern const Encoding kEncodings[];
extern const size_t kEncodingCount;
extern const Alias kAliases[]; // sorted by name (strcmp)
extern const size_t kAliasCount;

extern const uint16_t kJisRomanLow[128]; // JIS X 0201 Roman (ISO-2022-JP's ESC ( J)

extern const Grid kSjisGrid;    // lead 81-EA, trail 40-FC
extern const Grid kEucJpGrid;   // JIS X 0208 (A1-FE A1-FE) and katakana (8E A1-DF)
extern const Grid kJis0212Grid; // JIS X 0212 by EUC-JP's second and third byte after 8F
extern const uint8_t kJis0212FirstRow, kJis0212LastRow;
extern const Grid kKscGrid;       // KS X 1001 (A1-FE A1-FE)
extern const Grid kUhcGrid;       // UHC's codes outside KS X 1001's
extern const Grid kBig5Grid;      // lead A1-F9, trail 40-FE
extern const Grid kGb2312Grid;    // GB 2312 (A1-FE A1-FE)
extern const Grid kGb18030Grid;   // GB18030's two-byte codes, lead 81-FE, trail 40-FE
extern const uint8_t kGbkCells[]; // a bit per cell (lead - 0x81) * 256 + trail: GBK has it
extern const Grid kCns1Grid;      // CNS 11643 plane 1 (A1-FE A1-FE)
extern const Grid kCnsPlanesGrid; // planes 2-16: row (plane - 2) * 94 + byte - 0xA1
extern const Run kGb18030Runs[];  // sorted by index
extern const size_t kGb18030RunCount;

} // namespace deck::charset
