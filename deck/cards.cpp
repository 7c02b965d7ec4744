// Records into cards: the question and answer columns, the card-text rules, the warnings.
#include "deck/cards.h"

#include "deck/cardtext.h"
#include "deck/closingline.h"
#include "deck/base/utf.h"
#include "cardstore/cardrules.h"

#include <algorithm>

namespace deck {

namespace {

// The end of the warning about a side longer than the item shows.
const std::string kCutText =
    "UTF-16 units: the item shows only the first " + std::to_string(cardrules::kFieldUnits);

} // namespace

void CardSink::ExcludeColumn(int column) {
    if (column > 0) {
        excluded_.push_back(column);
    }
}

bool CardSink::Excluded(int column) const {
    return std::find(excluded_.begin(), excluded_.end(), column) != excluded_.end();
}

void CardSink::Add(const Record& fields, long line, const TextFlags& flags) {
    if (first_) {
        first_ = false;
        firstTitles_ = LooksLikeColumnTitles(fields);
        if (columns_.header) {
            return;
        }
    }
    // The question and the answer: the columns asked for, else the first two card columns.
    int q = columns_.question, a = columns_.answer;
    int c = 1;
    if (q == 0) {
        while (Excluded(c) || c == a) {
            ++c;
        }
        q = c++;
    }
    if (a == 0) {
        while (Excluded(c) || c == q) {
            ++c;
        }
        a = c;
    }
    static const std::string kEmpty;
    const std::string& rawQ = q <= static_cast<int>(fields.size()) ? fields[q - 1] : kEmpty;
    const std::string& rawA = a <= static_cast<int>(fields.size()) ? fields[a - 1] : kEmpty;

    question_ = rawQ;
    answer_ = rawA;
    bool gaps = false;
    if (flags.cloze &&
        (rawQ.find("{{c") != std::string::npos || rawA.find("{{c") != std::string::npos)) {
        std::string shown;
        if (ApplyCloze(rawQ, &scratch_, &shown)) {
            // The answer side of a cloze note is its text with the gaps filled in, followed
            // by the answer column (Anki's "Back Extra") when there is one.
            gaps = true;
            question_ = scratch_;
            std::string extra;
            ApplyCloze(rawA, &scratch_, &extra);
            answer_ = extra.empty() ? shown : shown + " " + extra;
        } else if (ApplyCloze(rawA, &scratch_, &shown)) {
            answer_ = shown;
        }
    }
    for (std::string* text : {&question_, &answer_}) {
        if (flags.html && text->find_first_of("<&") != std::string::npos) {
            *text = HtmlToText(*text);
        }
        if (text->find("[sound:") != std::string::npos) {
            *text = DropSoundTags(*text);
        }
        if (!AlreadyClean(*text)) {
            *text = CleanWhiteSpace(*text);
        }
    }
    // A question longer than the item shows keeps its first gap in view; the item cuts the
    // rest, and the warnings below say so.
    if (gaps) {
        WindowAroundGap(&question_, &answer_, cardrules::kFieldUnits);
    }
    if (columns_.swap) {
        question_.swap(answer_);
    }
    if (question_.empty() && answer_.empty()) {
        ++skipped_;
        report_.Warning(line, "row skipped: its question and answer are both empty");
        return;
    }
    size_t qUnits = Utf16Units(question_), aUnits = Utf16Units(answer_);
    if (qUnits > cardrules::kFieldUnits) {
        report_.Warning(line, "question of " + std::to_string(qUnits) + " " + kCutText);
    }
    if (aUnits > cardrules::kFieldUnits) {
        report_.Warning(line, "answer of " + std::to_string(aUnits) + " " + kCutText);
    }
    writer_.Write(question_, answer_);
}

} // namespace deck
