// The prose markup of a surface's texts, a small part of Markdown that man(7) can also show:
//   `literal`       what is typed as it stands: a command, an option, a file (bold in man)
//   *name*          what the reader replaces (italic in man)
//   [text](link)    a link in Markdown; the text alone in man
//   a blank line    between paragraphs
//   "- " at the start of a line begins a list item; its further lines are indented by two
//   lines indented by four spaces are an example, shown as they stand
#pragma once

#include <string>
#include <vector>

namespace surface {

// One line of markup as man(7) text: escapes, fonts and characters outside ASCII as \[uXXXX].
std::string RoffInline(const std::string& text);
// A literal line (an example or a synopsis word): every minus is \-.
std::string RoffLiteral(const std::string& text);
// The blocks as man(7) requests. Inside a tagged paragraph (.TP) the paragraphs go on at its
// indent; at the top the first block needs no .PP after a heading.
std::string RoffBlocks(const std::string& text, bool inTaggedParagraph);

// The blocks as Markdown, each line after the first prefixed with `indent`, wrapped at 100.
std::string MarkdownBlocks(const std::string& text, const std::string& indent);
// The markup removed (--help).
std::string PlainInline(const std::string& text);

// The words of `text`, split at spaces.
std::vector<std::string> Words(const std::string& text);

// Words joined into lines of at most `width` columns (a word longer than that stands alone).
// A line that would begin with a word for which `badStart` is true is not begun there.
std::string Wrap(const std::string& text, size_t width, const std::string& indent,
                 bool (*badStart)(const std::string& word) = nullptr);

} // namespace surface
