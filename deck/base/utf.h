// UTF-8 and UTF-16: counting, checking and converting code units.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace deck {

inline bool IsHighSurrogate(uint16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLowSurrogate(uint16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t c);

// Appends valid UTF-8 as UTF-16LE bytes.
void AppendUtf16(std::vector<uint8_t>& out, const std::string& text);

// The number of UTF-16 units of valid UTF-8 text.
size_t Utf16Units(const std::string& text);

// The length of the longest prefix of complete, valid UTF-8 sequences; *invalid tells whether
// it stopped at an invalid byte (rather than at an incomplete sequence at the end).
size_t ValidUtf8Prefix(const uint8_t* bytes, size_t size, bool* invalid);

// The text with each byte that begins no valid UTF-8 sequence (and an incomplete one at the
// end) replaced by U+FFFD; the text itself when it is valid.
std::string ValidUtf8(std::string text);

} // namespace deck
