// iconv_open, iconv and iconv_close, as glibc's: the names looked up by glibc's rules, and the
// conversion in glibc's two steps (the encoding to UCS-4, then UCS-4 to UTF-8), so that a full
// output, an invalid character or an incomplete one leaves the input where glibc leaves it.
#include "deck/charset/charset.h"

#include "deck/charset/decoders.h"

#include <errno.h>
#include <string.h>

#include <new>
#include <string>

namespace deck::charset {

namespace {

struct Converter {
    const Encoding* encoding;
    State state;
};

// A name as glibc's iconv_open reads it: upper case, only letters, digits and , - . / : _
// kept; "CHARSET//SUFFIXES" (or "CHARSET/SUBTYPE/SUFFIXES"), the charset without trailing
// commas and slashes. The key is the charset as gconv-modules writes it ("SJIS//",
// "ISO-10646/UTF8/"), empty for none; *suffixes gets the rest.
std::string Key(const char* name, std::string* suffixes) {
    std::string s;
    for (const char* p = name; *p != '\0'; ++p) {
        char c = *p;
        if (c >= 'a' && c <= 'z') {
            s += static_cast<char>(c - 'a' + 'A');
        } else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || strchr(",-./:_", c)) {
            s += c;
        }
    }
    size_t first = s.find('/');
    size_t second = first == std::string::npos ? first : s.find('/', first + 1);
    std::string charset = s.substr(0, second);
    *suffixes = second == std::string::npos ? std::string() : s.substr(second + 1);
    while (!charset.empty() && (charset.back() == ',' || charset.back() == '/')) {
        charset.pop_back();
    }
    if (charset.empty()) {
        return charset;
    }
    return charset + (charset.find('/') == std::string::npos ? "//" : "/");
}

const Encoding* Find(const std::string& key) {
    size_t lo = 0, hi = kAliasCount;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        int c = strcmp(kAliases[mid].name, key.c_str());
        if (c == 0) {
            return &kEncodings[kAliases[mid].encoding];
        }
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return nullptr;
}

// The bytes of cp in UTF-8, as glibc writes UCS-4 (up to six bytes, to 0x7FFFFFFF); 0 for a
// surrogate or a larger value, which it rejects.
size_t Utf8(uint32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x7FFFFFFF) {
        return 0;
    }
    size_t n = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : cp < 0x200000 ? 4 : cp < 0x4000000 ? 5 : 6;
    for (size_t i = n - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (cp & 0x3F));
        cp >>= 6;
    }
    out[0] = static_cast<char>((0xFF00 >> n) | cp);
    return n;
}

// Writes chars[0..n) as UTF-8 from *out up to end; the number written whole, with *err set
// to E2BIG or EILSEQ when it stops short.
size_t Encode(const uint32_t* chars, size_t n, char*& out, char* end, int* err) {
    char bytes[6];
    for (size_t i = 0; i < n; ++i) {
        size_t length = Utf8(chars[i], bytes);
        if (length == 0) {
            *err = EILSEQ;
            return i;
        }
        if (static_cast<size_t>(end - out) < length) {
            *err = E2BIG;
            return i;
        }
        memcpy(out, bytes, length);
        out += length;
    }
    return n;
}

size_t Fail(int err) {
    errno = err;
    return static_cast<size_t>(-1);
}

// The characters of one round of the first step; glibc's own buffer between the steps is
// larger, which changes nothing that a caller can see.
constexpr size_t kRound = 512;

size_t Convert(Converter& c, char** inbuf, size_t* inLeft, char** outbuf, size_t* outLeft) {
    uint32_t chars[kRound];
    if (inbuf == nullptr || *inbuf == nullptr) {
        if (outbuf == nullptr || *outbuf == nullptr) {
            bool bigEndian = c.state.bigEndian;
            c.state = State();
            c.state.bigEndian = bigEndian;
            return 0;
        }
        State flushed = c.state;
        uint32_t* o = chars;
        if (Flush(*c.encoding, flushed, o, chars + kRound) != Status::kEmptyInput) {
            return Fail(E2BIG);
        }
        char* out = *outbuf;
        int err = 0;
        size_t n = static_cast<size_t>(o - chars);
        if (Encode(chars, n, out, out + *outLeft, &err) < n) {
            return Fail(err);
        }
        *outLeft -= static_cast<size_t>(out - *outbuf);
        *outbuf = out;
        c.state = flushed;
        return 0;
    }
    const uint8_t* in = reinterpret_cast<const uint8_t*>(*inbuf);
    const uint8_t* end = in + *inLeft;
    char* out = *outbuf;
    char* outEnd = out + *outLeft;
    Status status;
    int err = 0;
    for (;;) {
        const uint8_t* from = in;
        State before = c.state;
        uint32_t* o = chars;
        status = Decode(*c.encoding, c.state, in, end, o, chars + kRound);
        size_t n = static_cast<size_t>(o - chars);
        size_t written = Encode(chars, n, out, outEnd, &err);
        if (written < n) {
            // As glibc does: the first step again from where the round began, with room for
            // what the second step took, so that the input stops after the last character
            // written and the state is the one it had there.
            c.state = before;
            in = from;
            o = chars;
            Decode(*c.encoding, c.state, in, end, o, chars + written);
            // glibc's UTF-16 converter (not its UTF-32 and UNICODE ones) looks for a
            // byte-order mark again at the next call when this one wrote nothing, though the
            // mark it found is consumed.
            if (written == 0 && c.encoding->kind == Kind::kUtf16) {
                c.state.bomChecked = before.bomChecked;
            }
            break;
        }
        if (status != Status::kFullOutput) {
            err = status == Status::kEmptyInput     ? 0
                  : status == Status::kIllegalInput ? EILSEQ
                                                    : EINVAL;
            break;
        }
    }
    *inLeft -= static_cast<size_t>(in - reinterpret_cast<const uint8_t*>(*inbuf));
    *inbuf = reinterpret_cast<char*>(const_cast<uint8_t*>(in));
    *outLeft -= static_cast<size_t>(out - *outbuf);
    *outbuf = out;
    return err == 0 ? 0 : Fail(err);
}

} // namespace

} // namespace deck::charset

using deck::charset::Converter;

extern "C" void* tollamy_iconv_open(const char* tocode, const char* fromcode) {
    using deck::charset::Find;
    using deck::charset::Key;
    std::string toSuffixes, fromSuffixes;
    const deck::charset::Encoding* to = Find(Key(tocode, &toSuffixes));
    const deck::charset::Encoding* from = Find(Key(fromcode, &fromSuffixes));
    // To UTF-8 only; //IGNORE, which would skip what cannot be converted, is not offered.
    for (char& ch : toSuffixes) {
        ch = ch == '/' ? ',' : ch;
    }
    bool ignore = (',' + toSuffixes + ',').find(",IGNORE,") != std::string::npos;
    if (from == nullptr || to == nullptr || to != Find("ISO-10646/UTF8/") || ignore) {
        errno = EINVAL;
        return reinterpret_cast<void*>(-1);
    }
    Converter* c = new (std::nothrow) Converter{from, deck::charset::State()};
    if (c == nullptr) {
        errno = ENOMEM;
        return reinterpret_cast<void*>(-1);
    }
    return c;
}

extern "C" size_t tollamy_iconv(void* cd, char** inbuf, size_t* inbytesleft, char** outbuf,
                                size_t* outbytesleft) {
    if (cd == nullptr || cd == reinterpret_cast<void*>(-1)) {
        return deck::charset::Fail(EBADF);
    }
    return deck::charset::Convert(*static_cast<Converter*>(cd), inbuf, inbytesleft, outbuf,
                                  outbytesleft);
}

extern "C" int tollamy_iconv_close(void* cd) {
    if (cd == nullptr || cd == reinterpret_cast<void*>(-1)) {
        errno = EBADF;
        return -1;
    }
    delete static_cast<Converter*>(cd);
    return 0;
}
