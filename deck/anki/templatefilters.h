// The filters of Anki's templates, {{filter:Field}} (rslib/src/template_filters.rs), for
// template.cpp.
#pragma once

#include <string>
#include <vector>

namespace deck::anki {

// Applies `filters` (the one nearest the field first) to the text of the field `name` on one
// side of cloze card `number` (1 for c1; the cloze filter's gap):
//   text                the HTML stripped (and escaped again, so that it stays text)
//   cloze, cloze-only   the card's gaps, hidden on the question; cloze-only gives nothing,
//                       as it only feeds speech
//   type, cloze:type    the marker [[type:name]] ([[type:cloze:name]]) that template.cpp
//                       turns into the box or the answer
//   hint                a link named after the field, the text hidden in a closed element
//   furigana, kana,     Anki's base[reading]: <ruby><rb>base</rb><rt>reading</rt></ruby>, the
//   kanji               reading alone, the base alone
//   tts ...             speech only: [anki:tts]text[/anki:tts], which shows no text
//   anything else       the text as it is
std::string ApplyFilters(std::string text, const std::vector<std::string>& filters,
                         const std::string& name, int number, bool question);

// Anki's ruby rule: each "base[reading]" (the base starts after a space or '>') as `form`
// gives it; a reading that begins with "sound:" stays as it is.
enum class Ruby { kBoth, kReading, kBase };
std::string RubyFilter(const std::string& text, Ruby form);

// The text with &, <, > and " escaped.
std::string EscapeHtml(const std::string& text);

} // namespace deck::anki
