#!/usr/bin/env python3
"""Writes the converter's tables (tables.cpp) from glibc's own data on the build machine:
the charmaps of Debian's `locales` package (/usr/share/i18n/charmaps/*.gz) for the
characters, and gconv-modules (libc6) for the names that glibc's iconv_open accepts.
  maketables.py CHARMAP_DIR OUT.cpp GCONV_MODULES_FILE...
Each encoding's tables are checked against what its decoder expects of them (the lead bytes, the
rows that are shared); a charmap that no longer fits stops the build."""
import gzip
import os
import re
import sys
import unicodedata

CHARMAP_DIR, OUT, GCONV_FILES = sys.argv[1], sys.argv[2], sys.argv[3:]


def fail(message):
    sys.exit("maketables.py: " + message)


def load_charmap(name):
    """The CHARMAP section of a charmap: byte sequence -> code point, ranges expanded."""
    path = os.path.join(CHARMAP_DIR, name + ".gz")
    with gzip.open(path, "rt", encoding="latin-1") as f:
        lines = f.read().splitlines()
    # A few charmaps (MAC-CENTRALEUROPE) have no CHARMAP line: all of the file is the map.
    inside = not any(line.startswith("CHARMAP") for line in lines)
    mapping = {}
    for line in lines:
        if line.startswith("CHARMAP"):
            inside = True
            continue
        if line.startswith("END CHARMAP"):
            break
        if not inside or line.startswith("%"):
            continue
        m = re.match(r"<U([0-9A-Fa-f]+)>(?:\.\.<U([0-9A-Fa-f]+)>)?\s+((?:/x[0-9a-fA-F]{2})+)",
                     line)
        if not m:
            continue
        first = int(m.group(1), 16)
        last = int(m.group(2), 16) if m.group(2) else first
        code = bytes(int(x, 16) for x in re.findall(r"/x([0-9a-fA-F]{2})", m.group(3)))
        # A range steps the byte sequence as a number, as localedef reads it.
        number = int.from_bytes(code, "big")
        for k in range(last - first + 1):
            mapping[(number + k).to_bytes(len(code), "big")] = first + k
    if not mapping:
        fail(path + " holds no characters")
    return mapping


# --- Names: gconv-modules' aliases and modules, and the names built into glibc's iconv ---

aliases, modules = {}, set()
for path in GCONV_FILES:
    with open(path, encoding="latin-1") as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if len(words) >= 3 and words[0] == "alias":
                aliases[words[1].upper()] = words[2].upper()
            elif len(words) >= 4 and words[0] == "module" and words[2] == "INTERNAL":
                modules.add(words[1].upper())

# glibc's own converters, which no gconv-modules file lists: their names and aliases as
# libc.so.6 holds them (iconv --list shows them among the others).
BUILTIN = {
    "ISO-10646/UTF8/": ["UTF8//", "UTF-8//", "ISO-IR-193//", "OSF05010001//",
                        "ISO-10646/UTF-8/"],
    "ISO-10646/UCS2/": ["UCS2//", "UCS-2//", "OSF00010100//", "OSF00010101//",
                        "OSF00010102//", "UNICODELITTLE//", "UCS-2LE//"],
    "UNICODEBIG//": ["UCS-2BE//"],
    "ISO-10646/UCS4/": ["UCS4//", "UCS-4//", "UCS-4BE//", "CSUCS4//", "ISO-10646//",
                        "10646-1:1993//", "10646-1:1993/UCS4/", "OSF00010104//",
                        "OSF00010105//", "OSF00010106//"],
    "UCS-4LE//": [],
    "ANSI_X3.4-1968//": ["ANSI_X3.4//", "ISO-IR-6//", "ANSI_X3.4-1986//", "ISO_646.IRV:1991//",
                         "ASCII//", "ISO646-US//", "US-ASCII//", "US//", "IBM367//", "CP367//",
                         "CSASCII//", "OSF00010020//"],
}
for module, names in BUILTIN.items():
    modules.add(module)
    for name in names:
        aliases[name] = module


def module_of(name):
    name = name.upper().rstrip("/")
    key = name + ("/" if "/" in name else "//")
    key = aliases.get(key, key)
    if key not in modules:
        fail("glibc has no converter for " + name + " (gconv-modules: " + " ".join(GCONV_FILES)
             + ")")
    return key


# --- The encodings: glibc's name, the decoder (deck/charset/decoders.h) and its charmap ---

# Single-byte encodings whose glibc converter is a table made from the charmap.
SINGLE = [
    ("ANSI_X3.4-1968", "ANSI_X3.4-1968"),
    ("ISO-8859-1", "ISO-8859-1"), ("ISO-8859-2", "ISO-8859-2"), ("ISO-8859-3", "ISO-8859-3"),
    ("ISO-8859-4", "ISO-8859-4"), ("ISO-8859-5", "ISO-8859-5"), ("ISO-8859-6", "ISO-8859-6"),
    ("ISO-8859-7", "ISO-8859-7"), ("ISO-8859-8", "ISO-8859-8"), ("ISO-8859-9", "ISO-8859-9"),
    ("ISO-8859-10", "ISO-8859-10"), ("ISO-8859-11", "ISO-8859-11"),
    ("ISO-8859-13", "ISO-8859-13"), ("ISO-8859-14", "ISO-8859-14"),
    ("ISO-8859-15", "ISO-8859-15"), ("ISO-8859-16", "ISO-8859-16"),
    ("CP1250", "CP1250"), ("CP1251", "CP1251"), ("CP1252", "CP1252"), ("CP1253", "CP1253"),
    ("CP1254", "CP1254"), ("CP1256", "CP1256"), ("CP1257", "CP1257"),
    ("KOI8-R", "KOI8-R"), ("KOI8-U", "KOI8-U"), ("KOI8-RU", "KOI8-RU"), ("KOI8-T", "KOI8-T"),
    ("IBM437", "IBM437"), ("IBM850", "IBM850"), ("IBM852", "IBM852"), ("IBM855", "IBM855"),
    ("IBM857", "IBM857"), ("IBM858", "IBM858"), ("IBM860", "IBM860"), ("IBM861", "IBM861"),
    ("IBM862", "IBM862"), ("IBM863", "IBM863"), ("IBM864", "IBM864"), ("IBM865", "IBM865"),
    ("IBM866", "IBM866"), ("IBM869", "IBM869"), ("IBM874", "IBM874"), ("CP737", "CP737"),
    ("CP775", "CP775"), ("CP1125", "CP1125"),
    ("MAC-CENTRALEUROPE", "MAC-CENTRALEUROPE"), ("MACINTOSH", "MACINTOSH"),
    # glibc's MAC-CYRILLIC is an alias of its MAC-UK converter, whose table is the MAC-UK
    # charmap (0xA2 is U+0490); the MAC-CYRILLIC charmap has U+00A2 there.
    ("MAC-UK", "MAC-UK"),
    ("TIS-620", "TIS-620"), ("VISCII", "VISCII"), ("PT154", "PT154"), ("RK1048", "RK1048"),
    ("ARMSCII-8", "ARMSCII-8"), ("GEORGIAN-PS", "GEORGIAN-PS"),
    ("GEORGIAN-ACADEMY", "GEORGIAN-ACADEMY"),
]
# Single-byte encodings whose converter composes a base letter and a following combining mark
# into one character, as glibc's CP1255 and CP1258 converters do.
COMPOSING = [("CP1255", "CP1255"), ("CP1258", "CP1258")]
# The decoders that take no table of their own, and the Kind (tables.h) of each.
UNICODE = [
    ("ISO-10646/UTF8/", "kUtf8"), ("UTF-16", "kUtf16"), ("UTF-16LE", "kUtf16Le"),
    ("UTF-16BE", "kUtf16Be"), ("UTF-32", "kUtf32"), ("UTF-32LE", "kUtf32Le"),
    ("UTF-32BE", "kUtf32Be"), ("ISO-10646/UCS2/", "kUcs2"), ("UNICODEBIG", "kUcs2Be"),
    ("UNICODE", "kUnicode"), ("ISO-10646/UCS4/", "kUcs4"), ("UCS-4LE", "kUcs4Le"),
]
# The multi-byte encodings, their Kind and the charmap of their single bytes (the ISO-2022
# decoders read bytes by their own rules).
MULTI = [
    ("SJIS", "kSjis", "SHIFT_JIS"), ("EUC-JP", "kEucJp", "EUC-JP"),
    ("ISO-2022-JP", "kIso2022Jp", "ANSI_X3.4-1968"), ("EUC-KR", "kEucKr", "EUC-KR"),
    ("UHC", "kUhc", "CP949"), ("ISO-2022-KR", "kIso2022Kr", "ANSI_X3.4-1968"),
    ("BIG5", "kBig5", "BIG5"), ("EUC-TW", "kEucTw", "EUC-TW"), ("EUC-CN", "kEucCn", "GB2312"),
    ("GBK", "kGbk", "GBK"), ("GB18030", "kGb18030", "GB18030"),
    ("ISO-2022-CN", "kIso2022Cn", "ANSI_X3.4-1968"),
]

# --- The multi-byte tables ---


class Grid:
    """A two-level table: rows of cells, each row cut to its first and last mapped column.
    A cell holds the low 16 bits of the code point; a bit per cell marks plane 2 (U+2xxxx),
    the only plane above the BMP that these charmaps reach."""

    def __init__(self, name, cells):
        self.name = name
        self.rows = {}
        for (row, col), cp in cells.items():
            if cp == 0 or (cp > 0xFFFF and cp >> 16 != 2):
                fail("%s: U+%04X cannot be held in a cell" % (name, cp))
            self.rows.setdefault(row, {})[col] = cp
        self.first_row = min(self.rows)
        self.row_count = max(self.rows) - self.first_row + 1

    def emit(self, out):
        offsets, firsts, lasts, cells = [], [], [], []
        for r in range(self.first_row, self.first_row + self.row_count):
            row = self.rows.get(r, {})
            offsets.append(len(cells))
            if not row:
                firsts.append(1)
                lasts.append(0)
                continue
            lo, hi = min(row), max(row)
            firsts.append(lo)
            lasts.append(hi)
            cells.extend(row.get(c, 0) for c in range(lo, hi + 1))
        if len(cells) > 0xFFFF:
            fail(self.name + ": too many cells for 16-bit offsets")
        plane2 = bytearray((len(cells) + 7) // 8)
        for i, cp in enumerate(cells):
            if cp > 0xFFFF:
                plane2[i // 8] |= 1 << (i % 8)
        n = self.name
        array(out, "uint16_t", n + "Offsets", offsets)
        array(out, "uint8_t", n + "First", firsts)
        array(out, "uint8_t", n + "Last", lasts)
        array(out, "uint16_t", n + "Cells", [cp & 0xFFFF for cp in cells])
        has_plane2 = any(plane2)
        if has_plane2:
            array(out, "uint8_t", n + "Plane2", list(plane2))
        out.append("const Grid %s = {%d, %d, %sOffsets, %sFirst, %sLast, %sCells, %s};\n" % (
            n, self.first_row, self.row_count, n, n, n, n, n + "Plane2" if has_plane2 else
            "nullptr"))
        self.size = 2 * len(offsets) + 2 * len(firsts) + 2 * len(cells) + (
            len(plane2) if has_plane2 else 0)


def array(out, ctype, name, values, per_line=16):
    out.append("const %s %s[%d] = {\n" % (ctype, name, len(values)))
    for i in range(0, len(values), per_line):
        out.append("    " + ", ".join(str(v) for v in values[i:i + per_line]) + ",\n")
    out.append("};\n")


def two_byte(mapping):
    return {(k[0], k[1]): v for k, v in mapping.items() if len(k) == 2}


def singles(mapping):
    return {k[0]: v for k, v in mapping.items() if len(k) == 1}


def expect_singles(name, mapping, expected):
    """The decoders read a byte as a character by itself where the charmap has one, and as a
    lead byte by their own rules elsewhere: the two must not meet."""
    if sorted(singles(mapping)) != list(expected):
        fail(name + ": the single bytes are not those that the decoder expects")


out = []
grids = []

# Shift_JIS: single bytes 00-7F and A1-DF, JIS X 0208 under the leads 81-9F and E0-EA.
sjis = load_charmap("SHIFT_JIS")
expect_singles("SHIFT_JIS", sjis, list(range(0x80)) + list(range(0xA1, 0xE0)))
grids.append(Grid("kSjisGrid", two_byte(sjis)))
if max(k[0] for k in sjis if len(k) == 2) != 0xEA:
    fail("SHIFT_JIS: the last lead byte is not EA")

# EUC-JP: JIS X 0208 (A1-FE A1-FE) and half-width katakana (8E A1-DF) in one grid;
# JIS X 0212 (8F A1-FE A1-FE) by its second and third bytes.
eucjp = load_charmap("EUC-JP")
expect_singles("EUC-JP", eucjp, list(range(0x8E)) + list(range(0x90, 0xA0)))
grids.append(Grid("kEucJpGrid", two_byte(eucjp)))
jis0212 = {(k[1], k[2]): v for k, v in eucjp.items() if len(k) == 3}
grids.append(Grid("kJis0212Grid", jis0212))
# The decoder waits for a third byte after 8F only when the second lies in the rows of
# JIS X 0212 that the charmap has.
jis0212_rows = (min(r for r, c in jis0212), max(r for r, c in jis0212))

# EUC-KR: KS X 1001, which UHC and ISO-2022-KR share.
euckr = load_charmap("EUC-KR")
expect_singles("EUC-KR", euckr, range(0xA0))
ksc = two_byte(euckr)
grids.append(Grid("kKscGrid", ksc))
# UHC: KS X 1001 where both bytes are A1-FE, and its other hangul elsewhere.
cp949 = load_charmap("CP949")
expect_singles("CP949", cp949, range(0x80))
uhc = two_byte(cp949)
for key, cp in uhc.items():
    if key[0] >= 0xA1 and key[1] >= 0xA1 and ksc.get(key) != cp:
        fail("CP949: %02X%02X differs from EUC-KR" % key)
uhc_only_ksc = [k for k in ksc if k not in uhc]
# glibc's UHC converter fails on A2E8 (EUC-KR's U+327E, which CP949 lacks) after consuming
# it; the decoder knows that sequence (decoders.cpp), and nothing else may be missing.
if uhc_only_ksc != [(0xA2, 0xE8)]:
    fail("CP949: the rows of EUC-KR it lacks are not A2E8 alone: %r" % uhc_only_ksc)
grids.append(Grid("kUhcGrid", {k: v for k, v in uhc.items()
                               if not (k[0] >= 0xA1 and k[1] >= 0xA1)}))

# Big5: single bytes 00-80.
big5 = load_charmap("BIG5")
expect_singles("BIG5", big5, range(0x81))
big5_cells = two_byte(big5)
# glibc's BIG5 converter decodes ten sequences that the charmap lacks, each a second code of
# a character that the charmap has elsewhere (A2CC and A2CE: 十 and 卅 of A451 and A4CA; F9E9-
# F9EB and F9F9-F9FD: box drawing of A27E-A2A7): one-way mappings of the converter's table.
BIG5_DECODE_ONLY = {
    (0xA2, 0xCC): 0x5341, (0xA2, 0xCE): 0x5345, (0xF9, 0xE9): 0x255E, (0xF9, 0xEA): 0x256A,
    (0xF9, 0xEB): 0x2561, (0xF9, 0xF9): 0x2550, (0xF9, 0xFA): 0x256D, (0xF9, 0xFB): 0x256E,
    (0xF9, 0xFC): 0x2570, (0xF9, 0xFD): 0x256F,
}
for key, cp in BIG5_DECODE_ONLY.items():
    if key in big5_cells:
        fail("BIG5: %02X%02X is in the charmap now" % key)
    big5_cells[key] = cp
grids.append(Grid("kBig5Grid", big5_cells))

# EUC-CN: GB 2312, which ISO-2022-CN shares.
gb2312 = load_charmap("GB2312")
expect_singles("GB2312", gb2312, range(0x80))
grids.append(Grid("kGb2312Grid", two_byte(gb2312)))

# GB18030: its two-byte codes, and GBK as the part of them that GBK has.
gb18030 = load_charmap("GB18030")
expect_singles("GB18030", gb18030, range(0x80))
gb_two = two_byte(gb18030)
gb_grid = Grid("kGb18030Grid", gb_two)
grids.append(gb_grid)
if gb_grid.first_row != 0x81:
    fail("GB18030: the first lead byte is not 81 (kGbkCells counts from there)")
gbk = load_charmap("GBK")
expect_singles("GBK", gbk, range(0x81))
for key, cp in two_byte(gbk).items():
    if gb_two.get(key) != cp:
        fail("GBK: %02X%02X differs from GB18030" % key)
# GB18030's four-byte codes: the BMP ones in runs over their linear index (from 81308130),
# those from 90308130 on are U+10000 onwards by the index alone (the charmap lists the
# assigned ones; glibc's converter, as the standard, maps all of them).
def linear(code):
    return (((code[0] - 0x81) * 10 + (code[1] - 0x30)) * 126 + (code[2] - 0x81)) * 10 + (
        code[3] - 0x30)


four = sorted((linear(k), v) for k, v in gb18030.items() if len(k) == 4)
supplementary_base = linear(b"\x90\x30\x81\x30")
runs = []
for index, cp in four:
    if cp > 0xFFFF:
        if index - supplementary_base != cp - 0x10000:
            fail("GB18030: %X is not at its place among the four-byte codes" % cp)
        continue
    if runs and runs[-1][0] + runs[-1][2] == index and runs[-1][1] + runs[-1][2] == cp:
        runs[-1][2] += 1
    else:
        runs.append([index, cp, 1])

# EUC-TW: CNS 11643 plane 1 in two bytes; the other planes in four (8E A2-B0 A1-FE A1-FE),
# their rows numbered (plane - 2) * 94 + (third byte - A1). ISO-2022-CN takes planes 1 and 2.
euctw = load_charmap("EUC-TW")
expect_singles("EUC-TW", euctw, range(0x80))
grids.append(Grid("kCns1Grid", two_byte(euctw)))
planes = {}
for k, v in euctw.items():
    if len(k) == 4:
        if not (k[0] == 0x8E and 0xA2 <= k[1] <= 0xB0 and 0xA1 <= k[2] <= 0xFE):
            fail("EUC-TW: %s is not in planes 2-16" % k.hex())
        planes[((k[1] - 0xA2) * 94 + k[2] - 0xA1, k[3])] = v
grids.append(Grid("kCnsPlanesGrid", planes))

# --- Compositions of CP1255 and CP1258 ---


def compositions(mapping, again):
    """(base, mark) -> composed, from Unicode's canonical decompositions: a base followed by
    one of the charmap's combining marks composes to the character whose decomposition is the
    base's with that mark added, in any order of the marks (glibc's tables have both orders of
    two marks above). The bases are the charmap's characters and, where the converter composes
    again (CP1255), the characters composed so far."""
    chars = {cp for cp in mapping.values() if cp >= 0x20}
    marks = {cp for cp in chars if unicodedata.combining(chr(cp))}
    nfd = {}
    for cp in range(0x20, 0x30000):
        d = unicodedata.decomposition(chr(cp))
        # A singleton decomposition (U+1FEE to U+0385) is never composed to.
        if d and not d.startswith("<") and " " in d:
            nfd[cp] = unicodedata.normalize("NFD", chr(cp))
    bases = set(chars - marks)
    table = {}
    while True:
        by_nfd = {unicodedata.normalize("NFD", chr(b)): b for b in bases}
        added = False
        for cp, d in nfd.items():
            for i in range(1, len(d)):
                mark = ord(d[i])
                base = by_nfd.get(d[:i] + d[i + 1:])
                if mark in marks and base is not None and (base, mark) not in table:
                    table[(base, mark)] = cp
                    if again and cp not in bases:
                        bases.add(cp)
                        added = True
        if not added:
            return table, {b for b, m in table}


# --- Output ---

out.append("// Made by deck/charset/maketables.py from glibc's charmaps (%s) and gconv-modules\n"
           "// (%s); do not edit.\n" % (CHARMAP_DIR, " ".join(GCONV_FILES)))
out.append('#include "deck/charset/tables.h"\n\nnamespace deck::charset {\n\n')

sizes = {}
byte_arrays = {}  # the contents of each half table -> its name, so that equal halves are one


def half(ident, values):
    key = tuple(values)
    if key not in byte_arrays:
        name = "k%s" % ident
        byte_arrays[key] = name
        array(out, "uint16_t", name, values)
        sizes[name] = 2 * len(values)
    return byte_arrays[key]


def byte_tables(ident, mapping):
    """The low and high halves of an encoding's single bytes."""
    cells = [mapping.get(b, 0xFFFF) for b in range(256)]
    if any(cp >= 0xFFFF for cp in cells if cp != 0xFFFF):
        fail(ident + ": a single byte above U+FFFE")
    return half(ident + "Low", cells[:128]), half(ident + "High", cells[128:])


def ident_of(name):
    return re.sub(r"[^A-Za-z0-9]", "", name.title())


ascii_low, none_high = byte_tables("Ascii", {b: b for b in range(128)})
encodings = []  # (module, C++ initializer)
for name, charmap in SINGLE + COMPOSING:
    mapping = singles(load_charmap(charmap))
    low, high = byte_tables(ident_of(charmap), mapping)
    if (name, charmap) in COMPOSING:
        again = name == "CP1255"
        table, bases = compositions(mapping, again)
        plain = [cp for cp in mapping.values() if cp in bases]
        items = sorted(table.items())
        ident = ident_of(charmap)
        out.append("const Composition k%sCompositions[%d] = {\n" % (ident, len(items)))
        for (b, m), c in items:
            out.append("    {0x%04X, 0x%04X, 0x%04X},\n" % (b, m, c))
        out.append("};\n")
        sizes["k%sCompositions" % ident] = 6 * len(items)
        # glibc holds back every character between the first and the last base letter of the
        # charmap, whether it composes or not, until the next character shows.
        encodings.append((module_of(name), "{Kind::kComposing, %s, %s, k%sCompositions, %d, "
                          "0x%04X, 0x%04X, %s}" % (low, high, ident, len(items), min(plain),
                                                   max(plain), "true" if again else "false")))
    else:
        encodings.append((module_of(name), "{Kind::kSingleByte, %s, %s, nullptr, 0, 0, 0, false}" % (low, high)))

jis_roman = singles(load_charmap("JIS_X0201"))
if any(b not in jis_roman for b in range(128)):
    fail("JIS_X0201: a byte below 80 is no character")
array(out, "uint16_t", "kJisRomanLow", [jis_roman.get(b, 0xFFFF) for b in range(128)])

for grid in grids:
    grid.emit(out)
    sizes[grid.name] = grid.size

out.append("const Run kGb18030Runs[%d] = {\n" % len(runs))
for index, cp, length in runs:
    out.append("    {%d, 0x%04X, %d},\n" % (index, cp, length))
out.append("};\nconst size_t kGb18030RunCount = %d;\n" % len(runs))
sizes["kGb18030Runs"] = 12 * len(runs)

# GBK's cells among GB18030's two-byte ones, a bit each.
gbk_two = two_byte(gbk)
bits = bytearray((gb_grid.row_count * 256 + 7) // 8)
for (lead, trail) in gbk_two:
    i = (lead - gb_grid.first_row) * 256 + trail
    bits[i // 8] |= 1 << (i % 8)
array(out, "uint8_t", "kGbkCells", list(bits))
sizes["kGbkCells"] = len(bits)

out.append("const uint8_t kJis0212FirstRow = 0x%02X, kJis0212LastRow = 0x%02X;\n" %
           jis0212_rows)

for name, kind in UNICODE:
    encodings.append((module_of(name), "{Kind::%s, %s, %s, nullptr, 0, 0, 0, false}" % (
        kind, ascii_low, none_high)))
for name, kind, charmap in MULTI:
    low, high = byte_tables(ident_of(charmap), singles(load_charmap(charmap)))
    encodings.append((module_of(name), "{Kind::%s, %s, %s, nullptr, 0, 0, 0, false}" % (
        kind, low, high)))

# The names: every alias of each module, and the module's own name, sorted for a binary search.
index_of = {module: i for i, (module, _) in enumerate(encodings)}
if len(index_of) != len(encodings):
    fail("an encoding is listed twice")
out.append("const Encoding kEncodings[%d] = {\n" % len(encodings))
for module, init in encodings:
    out.append("    %s, // %s\n" % (init, module))
out.append("};\n")
names = {module: module for module in index_of}
for alias, target in aliases.items():
    if target in index_of:
        names[alias] = target
out.append("const Alias kAliases[%d] = {\n" % len(names))
for name in sorted(names):
    out.append('    {"%s", %d},\n' % (name, index_of[names[name]]))
out.append("};\nconst size_t kAliasCount = %d;\n" % len(names))
out.append("const size_t kEncodingCount = %d;\n" % len(encodings))

out.append("\n} // namespace deck::charset\n")
total = sum(sizes.values())
out.insert(1, "// Table bytes: %d in all; %s.\n" % (total, ", ".join(
    "%s %d" % (name, size) for name, size in sorted(sizes.items(), key=lambda i: -i[1])
    if size >= 4096)))
with open(OUT + ".tmp", "w") as f:
    f.write("".join(out))
os.replace(OUT + ".tmp", OUT)
