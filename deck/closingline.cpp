// The words of the closing lines.
#include "deck/closingline.h"

#include "deck/base/strings.h"
#include "deck/base/utf.h"

namespace deck {

namespace {

// Column titles that spreadsheets, Quizlet and word lists put in their first row, in lower
// case: the sides of a card, and the names of languages in a few of them.
const char* const kColumnTitles[] = {
    "question", "answer", "front", "back", "term", "definition", "word", "meaning", "translation",
    "example", "sentence", "note", "notes", "hint", "reading", "pronunciation", "pinyin", "kanji",
    "kana", "romaji", "simplified", "traditional", "tags", "tag", "deck", "type", "gender",
    "plural", "category", "extra", "back extra", "text", "prompt", "response", "description",
    "explanation", "comment", "label", "english", "french", "german", "spanish", "italian", "dutch",
    "portuguese", "latin", "greek", "russian", "japanese", "chinese", "korean",
    // German, French, Spanish and Dutch
    "frage", "antwort", "wort", "bedeutung", "vokabel",
    "\xC3\xBC"
    "bersetzung",
    "deutsch", "englisch", "franz\xC3\xB6sisch", "spanisch", "italienisch", "latein",
    "r\xC3\xA9ponse", "reponse", "mot", "sens", "traduction",
    "fran\xC3\xA7"
    "ais",
    "francais", "anglais", "allemand", "espagnol", "italien", "pregunta", "respuesta", "palabra",
    "significado", "espa\xC3\xB1ol", "ingl\xC3\xA9s", "ingles", "vraag", "antwoord", "woord",
    "betekenis", "nederlands", "engels", "duits", "frans", "spaans",
    // Japanese and Chinese: 日本語 英語 中国語 単語 意味 読み 質問 答え ラベル 中文 英文 拼音
    // 汉字 意思
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\xE8\x8B\xB1\xE8\xAA\x9E",
    "\xE4\xB8\xAD\xE5\x9B\xBD\xE8\xAA\x9E", "\xE5\x8D\x98\xE8\xAA\x9E", "\xE6\x84\x8F\xE5\x91\xB3",
    "\xE8\xAA\xAD\xE3\x81\xBF", "\xE8\xB3\xAA\xE5\x95\x8F", "\xE7\xAD\x94\xE3\x81\x88",
    "\xE3\x83\xA9\xE3\x83\x99\xE3\x83\xAB", "\xE4\xB8\xAD\xE6\x96\x87", "\xE8\x8B\xB1\xE6\x96\x87",
    "\xE6\x8B\xBC\xE9\x9F\xB3", "\xE6\xB1\x89\xE5\xAD\x97", "\xE6\x84\x8F\xE6\x80\x9D"};

bool IsColumnTitle(const std::string& field, size_t from, size_t to) {
    const std::string name = AsciiLower(field.substr(from, to - from));
    for (const char* title : kColumnTitles) {
        if (name == title) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string Counted(long count, const std::string& noun, const char* plural) {
    return std::to_string(count) + " " +
           (count == 1          ? noun
            : plural != nullptr ? std::string(plural)
                                : noun + "s");
}

bool LooksLikeColumnTitles(const std::vector<std::string>& record) {
    bool any = false;
    for (const std::string& field : record) {
        size_t from = field.find_first_not_of(" \t\r\n");
        if (from == std::string::npos) {
            continue;
        }
        size_t to = field.find_last_not_of(" \t\r\n") + 1;
        if (!IsColumnTitle(field, from, to)) {
            return false;
        }
        any = true;
    }
    return any;
}

std::string ImportTail(long comments, long warnings, bool titles) {
    std::string tail;
    if (comments > 0) {
        tail += Counted(comments, "comment line") + " skipped; ";
    }
    tail += Counted(warnings, "warning");
    if (titles) {
        tail += "; the first row looks like column titles: --header skips it";
    }
    return tail;
}

} // namespace deck
