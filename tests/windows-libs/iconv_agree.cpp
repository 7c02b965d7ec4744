// The deck tool's reading of a text input as UTF-8 (deck/text/input.cpp: the encoding from a
// byte-order mark, from valid UTF-8 or from uchardet's guess; iconv over the blocks, an invalid
// or, at the end, incomplete sequence becoming U+FFFD with a warning), run by whichever iconv
// this program is linked with, so that another iconv (win-iconv under Wine, a converter of our
// own) can be held against glibc's, byte for byte:
//   iconv-agree files OUTDIR FILE...  writes each file's text to OUTDIR/NAME and prints a line
//                                     "NAME: ENCODING, BYTES bytes, warnings at lines ..."
//   iconv-agree table ENCODING...     every byte, each followed by "A\n", a line each
//                                     "ENCODING HEX: UTF-8 HEX [N warnings] [held N]", where
//                                     "held" counts the bytes left waiting for the next block,
//                                     as an incomplete sequence (EINVAL) is
//   iconv-agree pairs ENCODING...     the same, and every two-byte sequence with a lead byte of
//                                     0x80 or above (and GB18030's four-byte ones from 0x81 0x30
//                                     to 0x84 0x39)
#include <errno.h>
#include <iconv.h>
#include <uchardet/uchardet.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// glibc declares iconv's input as char**, win-iconv as const char**.
template <typename In>
size_t Convert(size_t (*convert)(iconv_t, In, size_t*, char**, size_t*), iconv_t cd, char** in,
               size_t* in_left, char** out, size_t* out_left) {
    return convert(cd, const_cast<In>(in), in_left, out, out_left);
}

std::string Upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

// TextInput::Decode, less the pass-through of valid UTF-8.
struct Decoder {
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    size_t unit = 1;
    std::string raw, text;
    long decoded_lines = 1, last_bad_line = 0;
    std::vector<long> warnings;

    bool Open(const std::string& encoding) {
        cd = iconv_open("UTF-8", encoding.c_str());
        unit = encoding.rfind("UTF-16", 0) == 0 || encoding.rfind("UCS-2", 0) == 0 ? 2
               : encoding.rfind("UTF-32", 0) == 0                                  ? 4
                                                                                   : 1;
        return cd != reinterpret_cast<iconv_t>(-1);
    }
    ~Decoder() {
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
        }
    }

    void Decode(const char* bytes, size_t size, bool end) {
        raw.append(bytes, size);
        char* in = raw.data();
        size_t in_left = raw.size();
        std::string out(in_left * 4 + 16, '\0');
        size_t produced = 0;
        while (in_left > 0) {
            char* o = out.data() + produced;
            size_t o_left = out.size() - produced;
            size_t r = Convert(iconv, cd, &in, &in_left, &o, &o_left);
            produced = out.size() - o_left;
            if (r != static_cast<size_t>(-1)) {
                break;
            }
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            if (errno == EINVAL && !end) {
                break;
            }
            long line = decoded_lines + std::count(out.begin(), out.begin() + produced, '\n');
            if (line != last_bad_line) {
                last_bad_line = line;
                warnings.push_back(line);
            }
            size_t skip = std::min(unit, in_left);
            in += skip;
            in_left -= skip;
            if (out.size() - produced < 3) {
                out.resize(out.size() * 2);
            }
            memcpy(out.data() + produced, "\xEF\xBF\xBD", 3);
            produced += 3;
        }
        raw.erase(0, raw.size() - in_left);
        decoded_lines += std::count(out.begin(), out.begin() + produced, '\n');
        text.append(out, 0, produced);
    }
};

// Strict UTF-8, as deck/base/utf.cpp's ValidUtf8Prefix checks it (not through iconv, which is
// under test).
bool ValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size() || (n == 2 && c < 0xC2) || (n == 4 && c > 0xF4)) {
            return false;
        }
        unsigned long cp = n == 1 ? c : c & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) {
                return false;
            }
            cp = cp << 6 | (t & 0x3F);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += n;
    }
    return true;
}

// TextInput::Open's choice of encoding; empty for valid UTF-8 without a mark (read as is).
std::string Encoding(const std::string& bytes, size_t* skip) {
    *skip = 0;
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        *skip = 3;
        return "UTF-8";
    }
    if (bytes.rfind("\xFF\xFE", 0) == 0) {
        *skip = 2;
        return "UTF-16LE";
    }
    if (bytes.rfind("\xFE\xFF", 0) == 0) {
        *skip = 2;
        return "UTF-16BE";
    }
    if (ValidUtf8(bytes)) {
        return "";
    }
    std::string sample = bytes.substr(0, 64 * 1024);
    uchardet_t detector = uchardet_new();
    uchardet_handle_data(detector, sample.data(), sample.size());
    uchardet_data_end(detector);
    const char* guess = uchardet_get_charset(detector);
    std::string chosen = guess != nullptr ? Upper(guess) : std::string();
    uchardet_delete(detector);
    if (chosen.empty() || chosen == "ASCII" || chosen == "UTF-8") {
        chosen = "WINDOWS-1252";
    }
    return chosen;
}

int Files(const std::string& outdir, int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        std::string path = argv[i];
        std::string name = path.substr(path.find_last_of("/\\") + 1);
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t skip = 0;
        std::string encoding = Encoding(bytes, &skip);
        if (encoding.empty()) {
            std::printf("%s: UTF-8 read as is\n", name.c_str());
            continue;
        }
        Decoder d;
        if (!d.Open(encoding)) {
            std::printf("%s: %s, unknown to iconv_open\n", name.c_str(), encoding.c_str());
            continue;
        }
        // Blocks as the tool reads them: the whole of a file under 1 MiB, else 1 MiB each.
        size_t block = bytes.size() < (1u << 20) ? bytes.size() + 16 : (1u << 20);
        for (size_t at = skip; at < bytes.size(); at += block) {
            d.Decode(bytes.data() + at, std::min(block, bytes.size() - at), false);
        }
        d.Decode(nullptr, 0, true);
        std::ofstream(outdir + "/" + name, std::ios::binary) << d.text;
        std::printf("%s: %s, %zu bytes, warnings at lines", name.c_str(), encoding.c_str(),
                    d.text.size());
        for (long line : d.warnings) {
            std::printf(" %ld", line);
        }
        std::printf("\n");
    }
    return 0;
}

void Row(const std::string& encoding, const std::string& sequence) {
    Decoder d;
    d.Open(encoding);
    std::string input = sequence + "A\n";
    d.Decode(input.data(), input.size(), false);
    size_t held = d.raw.size();
    d.Decode(nullptr, 0, true);
    std::printf("%s", encoding.c_str());
    const char* sep = " ";
    for (unsigned char c : sequence) {
        std::printf("%s%02X", sep, c);
        sep = "";
    }
    std::printf(":");
    for (unsigned char c : d.text) {
        std::printf(" %02X", c);
    }
    if (!d.warnings.empty()) {
        std::printf(" [%zu warnings]", d.warnings.size());
    }
    if (held > 0) {
        std::printf(" [held %zu]", held);
    }
    std::printf("\n");
}

int Table(bool pairs, int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        std::string encoding = argv[i];
        Decoder probe;
        if (!probe.Open(encoding)) {
            std::printf("%s: unknown to iconv_open\n", encoding.c_str());
            continue;
        }
        for (int a = 0; a < 256; ++a) {
            Row(encoding, std::string(1, static_cast<char>(a)));
        }
        for (int a = 0x80; pairs && a < 256; ++a) {
            for (int b = 0; b < 256; ++b) {
                Row(encoding, std::string{static_cast<char>(a), static_cast<char>(b)});
            }
        }
        if (encoding == "GB18030") {
            for (int a = 0x81; a <= 0x84; ++a) {
                for (int b = 0x30; b <= 0x39; ++b) {
                    for (int c = 0x81; c <= 0xFE; ++c) {
                        for (int d = 0x30; d <= 0x39; ++d) {
                            Row(encoding, std::string{static_cast<char>(a), static_cast<char>(b),
                                                      static_cast<char>(c), static_cast<char>(d)});
                        }
                    }
                }
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "files") == 0) {
        return Files(argv[2], argc - 3, argv + 3);
    }
    if (argc >= 2 && (strcmp(argv[1], "table") == 0 || strcmp(argv[1], "pairs") == 0)) {
        return Table(strcmp(argv[1], "pairs") == 0, argc - 2, argv + 2);
    }
    std::fprintf(stderr, "usage: iconv-agree files OUTDIR FILE... | table|pairs ENCODING...\n");
    return 2;
}
