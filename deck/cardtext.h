// The card-text rules, one field at a time (used by CardSink; public for the tests).
#pragma once

#include <stddef.h>

#include <string>

namespace deck {

// HTML to text, as a person sees it (html/text.h): tags removed; <br>, <div>, <p> (and other
// blocks) become a space; entities decoded; pictures, scripts, styles, form controls and
// hidden elements dropped; ruby as base(reading).
std::string HtmlToText(const std::string& html);
// Replaces each of Anki's media references [sound:...] by `with` (a package's card side marks
// it as a sound); one without its closing bracket stays.
std::string ReplaceSoundTags(const std::string& text, const std::string& with);
// Drops them: each becomes a space, as a text input's field shows it.
std::string DropSoundTags(const std::string& text);
// The question and the answer side of a field with clozes, every gap asked at once
// (RevealCloze with kEveryGap); false, with both sides the text itself, when it holds none.
bool ApplyCloze(const std::string& text, std::string* question, std::string* answer);
// TAB, CR, LF and other white space become one space per run; leading and trailing white
// space go.
std::string CleanWhiteSpace(const std::string& text);
// True when CleanWhiteSpace would leave the text as it is: no white space at its ends, no run
// of it, no white space other than single spaces, no control character.
bool AlreadyClean(const std::string& text);
// Cuts a text longer than `units` UTF-16 units to fit them with a closing "…": at the last space
// that keeps at least half of it, else (a text without spaces, Chinese for one) at the last
// whole character, without the white space and " ·" before the cut. True when it cut.
bool CutAtWord(std::string* text, size_t units);
// A cloze card's question and answer when the question's first gap ("[...]" or "[hint]") lies
// so late that a cut to `units` would leave it out, or leave no text after it: both sides then
// begin with "…" at the same word before the gap, keeping as much before it as fits with up to
// kTextAfterGap units after it (the answer with the gap filled in). The gap is where the two
// sides first differ. True when it moved the start; CutAtWord then cuts the ends.
constexpr size_t kTextAfterGap = 40;
bool WindowAroundGap(std::string* question, std::string* answer, size_t units);
// True when the text holds something that looks like HTML: a tag or an entity.
bool LooksLikeHtml(const char* text, size_t size);

} // namespace deck
