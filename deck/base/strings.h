// Small text helpers: ASCII case, white space at the ends, suffixes, and Anki's field lists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace deck {

// The letter as lower case when it is one of A to Z; every other byte as it is, so UTF-8 stays
// whole whatever the locale (Anki compares names and keys this way).
inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
// The text with AsciiLower applied to each byte.
std::string AsciiLower(std::string text);
inline std::string AsciiLower(std::string_view text) {
    return AsciiLower(std::string(text));
}
inline std::string AsciiLower(const char* text) {
    return AsciiLower(std::string(text));
}

// HTML's and CSS's white space, "ASCII whitespace": space, TAB, LF, FF and CR (not VT).
inline bool IsAsciiWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
// A to Z and a to z.
inline bool IsAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
// The text without ASCII whitespace at either end.
std::string_view TrimAsciiWhitespace(std::string_view text);

// The text without ASCII white space (space, TAB, CR, LF, FF, VT) at either end.
std::string Trim(std::string_view text);

// True when `text` ends with `tail`, letters A to Z compared without case: a file's extension,
// as a user may write it (".CSV", ".colpkg").
bool EndsWithNoCase(std::string_view text, std::string_view tail);
// True when `text` holds `word` at offset `at`, letters A to Z compared without case.
bool HasAtNoCase(std::string_view text, size_t at, std::string_view word);

// Anki keeps a note's fields in one text, separated by U+001F; an empty text is one empty field.
constexpr char kAnkiFieldSeparator = '\x1f';
std::vector<std::string> SplitAnkiFields(std::string_view text);
// The same into *fields, whose strings keep their room from note to note.
void SplitAnkiFields(std::string_view text, std::vector<std::string>* fields);

} // namespace deck
