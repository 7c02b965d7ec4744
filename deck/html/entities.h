// HTML's character references (&amp;, &#233;, &#x2014;, and &nbsp without its semicolon where
// browsers accept it), decoded as a browser decodes them in text.
#pragma once

#include <stddef.h>

#include <string>
#include <string_view>

namespace deck::html {

// Decodes the character reference that starts at text[at] (an '&'): appends its character to
// *out as UTF-8 and returns how many bytes of `text` it takes, or returns 0 (and appends
// nothing) when no reference starts there, so that the '&' stays as it is.
size_t DecodeEntity(std::string_view text, size_t at, std::string* out);

} // namespace deck::html
