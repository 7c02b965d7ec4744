// Whether a stylesheet's @media rule holds where the card is read: Anki's desktop screen.
#pragma once

#include <string_view>

namespace deck::html {

// True when an @media rule's query list (what comes between "@media" and "{") holds for a
// desktop screen: type all or screen, 1280 by 800 px, landscape, a fine pointer that can
// hover, the light colour scheme. A feature the list asks of that this does not know, or a
// query it cannot read, does not hold; a list holds when one of its queries does.
bool MediaHolds(std::string_view query_list);

// A character of a CSS name (an identifier): a letter, a digit, '-', '_' or any non-ASCII byte.
bool IsCssNameChar(char c);

} // namespace deck::html
