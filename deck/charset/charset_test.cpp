// deck/charset held against glibc's iconv, the reference it copies: each input decoded by both
// as deck/text/input.cpp drives iconv (one block, the invalid sequences replaced and skipped,
// then the end of the input, then a flush), and every call's result, errno and bytes consumed
// compared, with the text.
#include "deck/charset/charset.h"
#include "deck/charset/tables.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <errno.h>
#include <iconv.h>
#include <string.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Iconv {
    void* (*open)(const char*, const char*);
    size_t (*convert)(void*, char**, size_t*, char**, size_t*);
    int (*close)(void*);
};
const Iconv kGlibc = {iconv_open, iconv, iconv_close};
const Iconv kOurs = {tollamy_iconv_open, tollamy_iconv, tollamy_iconv_close};

// Appends "[r errno consumed written]" for one call.
void Note(std::string& trace, size_t r, int e, size_t consumed, size_t written) {
    char note[64];
    char* p = note;
    *p++ = '[';
    for (long v : {r == static_cast<size_t>(-1) ? -1L : static_cast<long>(r),
                   r == static_cast<size_t>(-1) ? static_cast<long>(e) : 0L,
                   static_cast<long>(consumed), static_cast<long>(written)}) {
        p = std::to_chars(p, note + sizeof note, v).ptr;
        *p++ = ' ';
    }
    p[-1] = ']';
    trace.append(note, p);
}

// What a caller sees of one decode: each iconv call's result, errno, bytes consumed and bytes
// written, the text, and a flush after the end of the input. As the tool does, an invalid
// sequence (and an incomplete one at the end) becomes U+FFFD and `unit` bytes are skipped;
// outSize is the output buffer's first size (0: the tool's), doubled at each E2BIG.
void Decode(const Iconv& lib, void* cd, const std::string& input, size_t unit, size_t outSize,
            std::string& trace) {
    static std::string raw, out;
    trace.clear();
    lib.convert(cd, nullptr, nullptr, nullptr, nullptr);
    raw = input;
    for (bool end : {false, true}) {
        char* in = raw.data();
        size_t inLeft = raw.size();
        out.resize(outSize != 0 ? outSize : inLeft * 4 + 16);
        size_t produced = 0;
        while (inLeft > 0) {
            char* o = out.data() + produced;
            size_t oLeft = out.size() - produced;
            size_t before = inLeft;
            errno = 0;
            size_t r = lib.convert(cd, &in, &inLeft, &o, &oLeft);
            int e = errno;
            Note(trace, r, e, before - inLeft, out.size() - oLeft - produced);
            produced = out.size() - oLeft;
            if (r != static_cast<size_t>(-1)) {
                break;
            }
            if (e == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            if (e == EINVAL && !end) {
                break;
            }
            size_t skip = std::min(unit, inLeft);
            in += skip;
            inLeft -= skip;
            if (out.size() < produced + 3) {
                out.resize(out.size() * 2 + 3);
            }
            memcpy(out.data() + produced, "\xEF\xBF\xBD", 3);
            produced += 3;
        }
        trace.append(out, 0, produced);
        raw.erase(0, raw.size() - inLeft);
    }
    // A flush writes what the state holds and returns it to the start: "!!" then reads as
    // it reads at the start, and a second flush has nothing to write (not with a short
    // output, which changes nothing there).
    for (const char* after : {"", "!!"}) {
        if (*after != '\0' && outSize != 0) {
            break;
        }
        char text[16];
        char* in = const_cast<char*>(after);
        size_t inLeft = strlen(after);
        char* o = text;
        size_t oLeft = sizeof text;
        size_t r = lib.convert(cd, nullptr, nullptr, &o, &oLeft);
        trace += "|flush";
        Note(trace, r, errno, 0, sizeof text - oLeft);
        r = lib.convert(cd, &in, &inLeft, &o, &oLeft);
        Note(trace, r, errno, strlen(after) - inLeft, sizeof text - oLeft);
        trace.append(text, o);
    }
}

// Bytes as C writes them: printable ASCII as is, the others as \xNN.
std::string Escaped(const std::string& s) {
    std::string e;
    char b[8];
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            e += static_cast<char>(c);
        } else {
            snprintf(b, sizeof b, "\\x%02X", c);
            e += b;
        }
    }
    return e;
}

using Emit = std::function<void(const std::string&)>;

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) {
        s += static_cast<char>(b);
    }
    return s;
}

// Every input of one byte from each list of `positions` (an empty list: any byte), after
// `prefix`.
void Product(const std::string& prefix, const std::vector<std::vector<int>>& positions,
             const Emit& emit) {
    std::string s = prefix;
    std::function<void(size_t)> go = [&](size_t i) {
        if (i == positions.size()) {
            emit(s);
            return;
        }
        for (int b = 0; b < 256; ++b) {
            const std::vector<int>& p = positions[i];
            if (!p.empty() && std::find(p.begin(), p.end(), b) == p.end()) {
                continue;
            }
            s.push_back(static_cast<char>(b));
            go(i + 1);
            s.pop_back();
        }
    };
    go(0);
}

std::vector<int> Span(int first, int last, std::vector<int> more = {}) {
    for (int b = first; b <= last; ++b) {
        more.push_back(b);
    }
    return more;
}

const std::vector<int> kAll;

// The inputs of each kind of encoding. Every one- and two-byte input, and:
enum class Inputs {
    kSingle,    // single bytes only (a byte's character does not depend on its neighbours)
    kPairs,     // every one- and two-byte input
    kComposing, // and three bytes: letters, letters or marks, marks (C0-FF and a few others)
    kEucJp,     // and every 8F xx yy
    kEucTw,     // and every 8E xx yy, every code of the planes that the charmap has, a few more
    kGb18030,   // and every four-byte code under 81-84, the others under a few first bytes
    kUtf8,      // and three- to six-byte sequences of leads and boundary continuation bytes
    kUtf16,     // and surrogates: every high one before a few units, a few before every unit
    kUtf32,     // and a fifth of the BMP, the surrogates' and limits' neighbours, both orders
    kIso2022,   // every one- and two-byte input and escape sequence, after each prefix
};

void Inputs16(bool big, const Emit& emit) {
    auto unit = [big](int u) {
        return big ? Bytes({u >> 8, u & 0xFF}) : Bytes({u & 0xFF, u >> 8});
    };
    for (int high = 0xD800; high <= 0xDFFF; ++high) {
        for (int next : {0x0041, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFEFF, 0xFFFE}) {
            emit(unit(high) + unit(next));
        }
    }
    for (int high : {0xD800, 0xDBFF}) {
        for (int next = 0; next < 0x10000; next += 7) {
            emit(unit(high) + unit(next));
        }
    }
    for (std::string bom : {Bytes({0xFE, 0xFF}), Bytes({0xFF, 0xFE})}) {
        for (int u : {0x0041, 0x4100, 0xFEFF, 0xFFFE, 0xD800}) {
            emit(bom + unit(u));
            emit(bom + bom + unit(u));
        }
    }
}

void Inputs32(const Emit& emit) {
    auto units = [&](uint32_t u) {
        emit(Bytes({int(u >> 24), int(u >> 16 & 0xFF), int(u >> 8 & 0xFF), int(u & 0xFF)}));
        emit(Bytes({int(u & 0xFF), int(u >> 8 & 0xFF), int(u >> 16 & 0xFF), int(u >> 24)}));
    };
    for (uint32_t u = 0; u < 0x10000; u += u >= 0xD7F0 && u < 0xE010 ? 1 : 5) {
        units(u);
    }
    for (uint32_t u :
         {0x10000u, 0x10FFFFu, 0x110000u, 0x1FFFFFu, 0x200000u, 0x3FFFFFFu, 0x4000000u, 0x7FFFFFFFu,
          0x80000000u, 0xFFFFFFFFu, 0xFEFF0000u, 0xFFFE0000u, 0x0000FFFEu}) {
        units(u);
    }
    for (std::string bom : {Bytes({0, 0, 0xFE, 0xFF}), Bytes({0xFF, 0xFE, 0, 0})}) {
        emit(bom + Bytes({0, 0, 0, 0x41}));
        emit(bom + Bytes({0x41, 0, 0, 0}));
        emit(bom + bom);
    }
    Product("", {{0x00, 0x41, 0xFE, 0xFF}, kAll, {0x00, 0xFE}}, emit);
}

// The prefixes that put each ISO-2022 decoder in each of its states.
std::vector<std::string> Prefixes(const std::string& encoding) {
    if (encoding == "ISO-2022-JP") {
        return {"", "\x1B(J", "\x1B$B", "\x1B$@", "\x1B$B\x1B(B"};
    }
    if (encoding == "ISO-2022-KR") {
        return {"", "\x0E", "\x1B$)C\x0E\x0F"};
    }
    return {"", "\x0E", "\x1B$)G\x0E", "\x1B$)G\x0E\x0F\n\x0E", "\x1B$)G\x0E\x1B$)A"};
}

void ForEachInput(Inputs kind, const std::string& encoding, const Emit& emit) {
    if (kind == Inputs::kIso2022) {
        for (const std::string& prefix : Prefixes(encoding)) {
            Product(prefix, {kAll}, emit);
            Product(prefix, {kAll, kAll}, emit);
            // The bytes that escape sequences are made of, and a few that they are not.
            std::vector<int> escapes = {0x0A, 0x0E, 0x1B, 0x21, 0x24, 0x28, 0x29,
                                        0x2A, 0x40, 0x41, 0x42, 0x43, 0x47, 0x48,
                                        0x49, 0x4A, 0x4E, 0x7E, 0x7F, 0x80, 0xA1};
            for (const char* escape : {"\x1B", "\x1B$", "\x1B$)", "\x1B$*", "\x1B$("}) {
                Product(prefix + escape, {kAll}, emit);
                Product(prefix + escape, {kAll, escapes}, emit);
            }
            if (encoding == "ISO-2022-CN" && prefix.size() <= 1) {
                Product(prefix + "\x1BN", {kAll, kAll}, emit);
            }
        }
        return;
    }
    Product("", {kAll}, emit);
    if (kind == Inputs::kSingle) {
        return;
    }
    Product("", {kAll, kAll}, emit);
    switch (kind) {
    case Inputs::kComposing: {
        std::vector<int> letters = Span(0xC0, 0xFF, {0x20, 0x41, 0x4F, 0x61, 0x6F});
        std::vector<int> marks = Span(0xC0, 0xD2, {0x20, 0x41, 0xDE, 0xE0, 0xEC, 0xF2, 0xF9});
        Product("", {letters, letters, marks}, emit);
        break;
    }
    case Inputs::kEucJp:
        Product("\x8F", {kAll, kAll}, emit);
        break;
    case Inputs::kEucTw: {
        std::vector<int> graphic = Span(0xA0, 0xFF, {0x00, 0x41, 0x7F});
        Product("\x8E", {kAll, kAll}, emit);
        Product("\x8E", {Span(0xA1, 0xA7, {0xAF}), Span(0xA1, 0xFE), Span(0xA1, 0xFE)}, emit);
        Product("\x8E", {{0xA0, 0xA8, 0xAE, 0xB0, 0xB1}, graphic, {0x00, 0x41, 0xA1, 0xFE}}, emit);
        break;
    }
    case Inputs::kGb18030: {
        std::vector<int> digits = Span(0x30, 0x39);
        Product("", {Span(0x81, 0x84), digits, Span(0x81, 0xFE), digits}, emit);
        std::vector<int> firsts = {0x80, 0x85, 0x8F, 0x90, 0x91, 0xC0, 0xE3, 0xE4, 0xFE, 0xFF};
        Product("",
                {firsts,
                 digits,
                 {0x30, 0x80, 0x81, 0x82, 0x99, 0x9A, 0x9B, 0xFD, 0xFE, 0xFF},
                 Span(0x30, 0x39, {0x2F, 0x3A})},
                emit);
        Product("", {Span(0x81, 0x84, firsts), Span(0x2F, 0x3A), kAll}, emit);
        break;
    }
    case Inputs::kUtf8: {
        std::vector<int> edges = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
        Product("", {Span(0xE0, 0xFF), kAll, edges}, emit);
        Product("", {Span(0xF0, 0xFF), edges, edges, edges}, emit);
        Product("",
                {Span(0xF8, 0xFF),
                 {0x80, 0x87, 0x88, 0xBF},
                 {0x80, 0xBF},
                 {0x80, 0xBF},
                 edges,
                 {0x41, 0x80, 0xBF}},
                emit);
        break;
    }
    case Inputs::kUtf16:
        Inputs16(encoding.find("BE") != std::string::npos || encoding == "UNICODEBIG", emit);
        break;
    case Inputs::kUtf32:
        Inputs32(emit);
        break;
    default:
        break;
    }
}

// Every encoding that deck/charset decodes, by the name that glibc gives it, with its inputs.
const std::pair<Inputs, const char*> kCases[] = {
    {Inputs::kSingle,
     "ANSI_X3.4-1968 ISO-8859-1 ISO-8859-2 ISO-8859-3 ISO-8859-4 ISO-8859-5 "
     "ISO-8859-6 ISO-8859-7 ISO-8859-8 ISO-8859-9 ISO-8859-10 ISO-8859-11 ISO-8859-13 "
     "ISO-8859-14 ISO-8859-15 ISO-8859-16 WINDOWS-1250 WINDOWS-1251 WINDOWS-1252 "
     "WINDOWS-1253 WINDOWS-1254 WINDOWS-1256 WINDOWS-1257 KOI8-R KOI8-U KOI8-RU "
     "KOI8-T IBM437 IBM850 IBM852 IBM855 IBM857 IBM858 IBM860 IBM861 IBM862 IBM863 "
     "IBM864 IBM865 IBM866 IBM869 IBM874 CP737 CP775 CP1125 MAC-CENTRALEUROPE "
     "MACINTOSH MAC-CYRILLIC TIS-620 VISCII PT154 RK1048 ARMSCII-8 GEORGIAN-PS "
     "GEORGIAN-ACADEMY"},
    {Inputs::kComposing, "WINDOWS-1255 WINDOWS-1258"},
    {Inputs::kUtf8, "UTF-8"},
    {Inputs::kUtf16, "UTF-16 UTF-16LE UTF-16BE UCS-2 UNICODEBIG UNICODE"},
    {Inputs::kUtf32, "UTF-32 UTF-32LE UTF-32BE UCS-4 UCS-4LE"},
    {Inputs::kPairs, "SHIFT_JIS EUC-KR CP949 BIG5 GB2312 GBK"},
    {Inputs::kEucJp, "EUC-JP"},
    {Inputs::kIso2022, "ISO-2022-JP ISO-2022-KR ISO-2022-CN"},
    {Inputs::kEucTw, "EUC-TW"},
    {Inputs::kGb18030, "GB18030"},
};

// The bytes the tool skips at an invalid sequence (deck/text/input.cpp).
size_t Unit(const std::string& encoding) {
    return encoding.rfind("UTF-16", 0) == 0 || encoding.rfind("UCS-2", 0) == 0 ? 2
           : encoding.rfind("UTF-32", 0) == 0                                  ? 4
                                                                               : 1;
}

// The files of the tool's corpus (deck/tests/corpus), real text to decode in every encoding.
std::vector<std::string> Corpus() {
    std::vector<std::string> files;
    std::string folder = TOLLAMY_SOURCE_DIR "/deck/tests/corpus";
    DIR* dir = opendir(folder.c_str());
    while (dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
        std::ifstream in(folder + "/" + entry->d_name, std::ios::binary);
        if (entry->d_name[0] != '.' && in) {
            files.emplace_back(std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>());
        }
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    return files;
}

TEST(Charset, EveryEncodingDecodesAsGlibcDoes) {
    const std::vector<std::string> corpus = Corpus();
    ASSERT_FALSE(corpus.empty());
    std::string ours, glibc;
    for (const auto& [inputs, names] : kCases) {
        std::istringstream list(names);
        for (std::string encoding; list >> encoding;) {
            SCOPED_TRACE(encoding);
            void* g = kGlibc.open("UTF-8", encoding.c_str());
            void* o = kOurs.open("UTF-8", encoding.c_str());
            ASSERT_NE(reinterpret_cast<void*>(-1), g);
            ASSERT_NE(reinterpret_cast<void*>(-1), o);
            size_t unit = Unit(encoding), count = 0, differ = 0;
            auto compare = [&](const std::string& sequence) {
                // Each input at the end, and followed by more text; one in 16 (and each that
                // begins with a byte-order mark) also with the output as short as can be, growing
                // at E2BIG.
                bool mark = sequence.rfind("\xFE\xFF", 0) == 0 ||
                            sequence.rfind("\xFF\xFE", 0) == 0 ||
                            sequence.rfind(std::string("\0\0\xFE\xFF", 4), 0) == 0;
                for (int run = 0; run < 3; ++run) {
                    if (run == 2 && count % 16 != 0 && !mark) {
                        continue;
                    }
                    std::string input = run == 0 ? sequence : sequence + "A\n";
                    size_t outSize = run == 2 ? 1 : 0;
                    Decode(kGlibc, g, input, unit, outSize, glibc);
                    Decode(kOurs, o, input, unit, outSize, ours);
                    if (ours != glibc && ++differ <= 5) {
                        ADD_FAILURE()
                            << Escaped(input) << (outSize != 0 ? " (short output)" : "")
                            << "\n glibc: " << Escaped(glibc) << "\n  ours: " << Escaped(ours);
                    }
                }
                ++count;
            };
            ForEachInput(inputs, encoding, compare);
            std::for_each(corpus.begin(), corpus.end(), compare);
            EXPECT_EQ(0u, differ) << "of " << count << " inputs";
            kGlibc.close(g);
            kOurs.close(o);
        }
    }
}

// The names that glibc's iconv_open accepts open the same encoding in ours: every alias of the
// tables, and spellings as users write them (case, punctuation, suffixes). Names that glibc
// refuses, ours refuses; so it does with encodings that it leaves out, and with a target other
// than UTF-8 or one that would skip what it cannot convert (//IGNORE).
TEST(Charset, NamesOpenWhatGlibcOpens) {
    // Every byte, and pairs and quads from each CJK range, to tell any two encodings apart.
    std::string probe;
    for (int b = 0; b < 256; ++b) {
        probe += static_cast<char>(b);
    }
    probe += "\x81\x40\x88\x9F\xA1\xA1\xB0\xA1\xC4\xA1\x8E\xA1\x8F\xB0\xA1\x81\x30\x81\x30"
             "\x1B$B!!\x0E!!\x0FA";
    auto same = [&](const char* to, const char* from) {
        SCOPED_TRACE(std::string(to) + " from " + from);
        void* g = kGlibc.open(to, from);
        void* o = kOurs.open(to, from);
        ASSERT_NE(reinterpret_cast<void*>(-1), g);
        ASSERT_NE(reinterpret_cast<void*>(-1), o);
        std::string glibc, ours;
        Decode(kGlibc, g, probe, 1, 0, glibc);
        Decode(kOurs, o, probe, 1, 0, ours);
        EXPECT_EQ(Escaped(glibc), Escaped(ours));
        kGlibc.close(g);
        kOurs.close(o);
    };
    for (size_t i = 0; i < deck::charset::kAliasCount; ++i) {
        same("UTF-8", deck::charset::kAliases[i].name);
    }
    for (const char* name : {"sjis",
                             "Shift_JIS",
                             "ms_kanji",
                             "csShiftJIS",
                             "S JIS",
                             "SJIS//IGNORE",
                             "SJIS/",
                             "SJIS,",
                             "SJIS/,/",
                             "SJIS///x",
                             "utf8",
                             "ISO-10646/UTF8/x",
                             "iso_8859-1:1987",
                             "latin1",
                             "windows-1252",
                             "MAC-CYRILLIC",
                             "UCS-2LE",
                             "ISO-10646",
                             "cp949",
                             "GB2312",
                             "EUC-CN",
                             "CP936",
                             "BIG-5",
                             "ucs-4be",
                             "UTF-16//TRANSLIT"}) {
        same("UTF-8", name);
    }
    for (const char* to : {"utf8", "UTF-8//TRANSLIT", "ISO-10646/UTF8/", "UTF-8/"}) {
        same(to, "ISO-8859-1");
    }
    // Refused with EINVAL by ours; glibc refuses the first ones too, and knows the others.
    auto refused = [](const char* name, bool glibcKnows) {
        SCOPED_TRACE(name);
        void* g = kGlibc.open("UTF-8", name);
        EXPECT_EQ(glibcKnows, g != reinterpret_cast<void*>(-1));
        if (g != reinterpret_cast<void*>(-1)) {
            kGlibc.close(g);
        }
        errno = 0;
        EXPECT_EQ(reinterpret_cast<void*>(-1), kOurs.open("UTF-8", name));
        EXPECT_EQ(EINVAL, errno);
    };
    for (const char* name : {"SJIS/IGNORE", "S_JIS", "LATIN-1", "ISO-8859-8-I", "HZ-GB-2312",
                             "WINDOWS1252", "UTF-8/x", "ISO-8859-1:", "INTERNAL", "\uFF33JIS"}) {
        refused(name, false);
    }
    for (const char* name :
         {"CP932", "EUC-JP-MS", "BIG5-HKSCS", "UTF-7", "WCHAR_T", "ISO-2022-JP-2",
          "ISO-2022-CN-EXT", "JOHAB", "TCVN5712-1", "IBM930", "EUC-JISX0213", ""}) {
        refused(name, true);
    }
    for (const char* to : {"UTF-8//IGNORE", "UTF-8//TRANSLIT,IGNORE", "utf8//translit//ignore",
                           "UTF-16", "ISO-8859-1", "WCHAR_T", "nonsense"}) {
        SCOPED_TRACE(to);
        errno = 0;
        EXPECT_EQ(reinterpret_cast<void*>(-1), kOurs.open(to, "ISO-8859-1"));
        EXPECT_EQ(EINVAL, errno);
    }
}

} // namespace
