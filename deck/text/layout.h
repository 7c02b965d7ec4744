// The layout of a text input: Anki's header block, the field separator found in the body, and
// separators as the user names them.
#pragma once

#include "deck/text/input.h"

#include <string>
#include <string_view>
#include <vector>

namespace deck::text {

// The options of an Anki text file's header block, or what was detected without one.
struct TextLayout {
    char separator = 0;       // 0: detect from the body
    int html = -1;            // -1: detect from the body
    std::vector<int> notText; // 1-based columns that are never card text
    bool tagsLine = false;    // the text begins with a "tags:" line
    bool options = false;     // a `#key:value` line set one of Anki's options
    bool header = false;      // either: the text has Anki's header
    long lines = 0;           // the lines of the block: the "tags:" line and the `#` lines
    long comments = 0;        // `#` lines of the block that set no option
};

// Anki's header block at the start of the text: an optional first `tags:` line, then the run
// of lines that begin with `#`, of which `#key:value` lines set options and the others are
// comments. Nothing is consumed.
TextLayout PeekAnkiHeader(TextInput& in);

// Anki's rule for a body without #separator: the first of Tab, Pipe, Semicolon, Colon, Comma
// and Space that occurs in the sample; but a candidate that occurs on every complete line of
// the sample is taken before one that does not (so one colon in a comma file does not win).
char DetectSeparator(std::string_view sample);

// A separator as the user names it: Tab, Comma, Semicolon, Space, Pipe, Colon, Newline, an
// escape (\t, \n, \r, \\) or the text itself. Empty when the name is empty.
std::string SeparatorFromName(const std::string& name);

} // namespace deck::text
