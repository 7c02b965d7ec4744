// tollamy-deck: the words of the closing lines that import, check and export print.
#pragma once

#include <string>
#include <vector>

namespace deck {

// A count with its noun, singular for exactly one: Counted(1, "card") is "1 card",
// Counted(2, "card") "2 cards"; `plural` names an irregular plural.
std::string Counted(long count, const std::string& noun, const char* plural = nullptr);

// True when every field of the record that is not empty is a common column title
// ("Question", "Answer", "Front", "Back", "Term", "Definition", "Word", "Meaning", names of
// languages, ...), in any letter case: the record is most likely a header row.
bool LooksLikeColumnTitles(const std::vector<std::string>& record);

// The end of the closing line of an import: comment lines skipped (when there were any), the
// warnings, and a hint at --header when the first record looked like column titles.
std::string ImportTail(long comments, long warnings, bool titles);

} // namespace deck
