// UTF-8 and UTF-16 code units.
#include "deck/base/utf.h"

#include <string.h>

namespace deck {

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

void AppendUtf16(std::vector<uint8_t>& out, const std::string& text) {
    size_t at = out.size();
    out.resize(at + 2 * text.size()); // never more units than bytes
    uint8_t* o = out.data() + at;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = p + text.size();
    while (p < end) {
        uint32_t c = *p;
        if (c < 0x80) {
            o[0] = static_cast<uint8_t>(c);
            o[1] = 0;
            o += 2;
            ++p;
            continue;
        }
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        c &= more == 3 ? 0x07 : more == 2 ? 0x0F : 0x1F;
        ++p;
        for (int i = 0; i < more && p < end; ++i, ++p) {
            c = c << 6 | (*p & 0x3F);
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            uint32_t high = 0xD800 + (c >> 10), low = 0xDC00 + (c & 0x3FF);
            o[0] = static_cast<uint8_t>(high);
            o[1] = static_cast<uint8_t>(high >> 8);
            o[2] = static_cast<uint8_t>(low);
            o[3] = static_cast<uint8_t>(low >> 8);
            o += 4;
        } else {
            o[0] = static_cast<uint8_t>(c);
            o[1] = static_cast<uint8_t>(c >> 8);
            o += 2;
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
}

size_t Utf16Units(const std::string& text) {
    size_t units = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) {
            units += c >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

size_t ValidUtf8Prefix(const uint8_t* bytes, size_t size, bool* invalid) {
    *invalid = false;
    size_t i = 0;
    while (i < size) {
        // Eight ASCII bytes at a time.
        if (i + 8 <= size) {
            uint64_t word;
            memcpy(&word, bytes + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        uint8_t c = bytes[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t more;
        uint8_t low = 0x80, high = 0xBF; // the range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0) {
                low = 0xA0;
            } else if (c == 0xED) {
                high = 0x9F; // no surrogates
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0) {
                low = 0x90;
            } else if (c == 0xF4) {
                high = 0x8F;
            }
        } else {
            *invalid = true;
            return i;
        }
        for (size_t k = 1; k <= more; ++k) {
            if (i + k >= size) {
                return i; // incomplete at the end
            }
            uint8_t b = bytes[i + k];
            if (k == 1 ? (b < low || b > high) : (b & 0xC0) != 0x80) {
                *invalid = true;
                return i;
            }
        }
        i += more + 1;
    }
    return i;
}

std::string ValidUtf8(std::string text) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    bool invalid = false;
    size_t valid = ValidUtf8Prefix(bytes, text.size(), &invalid);
    if (valid == text.size()) {
        return text;
    }
    std::string out(text, 0, valid);
    for (size_t at = valid; at < text.size();) {
        out += "\xEF\xBF\xBD";
        ++at;
        size_t more = ValidUtf8Prefix(bytes + at, text.size() - at, &invalid);
        out.append(text, at, more);
        at += more;
    }
    return out;
}

} // namespace deck
