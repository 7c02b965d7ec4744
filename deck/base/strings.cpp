// Small text helpers.
#include "deck/base/strings.h"

namespace deck {

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        c = AsciiLower(c);
    }
    return text;
}

std::string_view TrimAsciiWhitespace(std::string_view text) {
    while (!text.empty() && IsAsciiWhitespace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsAsciiWhitespace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Trim(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n\f\v";
    size_t from = text.find_first_not_of(kSpace);
    if (from == std::string_view::npos) {
        return std::string();
    }
    size_t to = text.find_last_not_of(kSpace);
    return std::string(text.substr(from, to - from + 1));
}

bool HasAtNoCase(std::string_view text, size_t at, std::string_view word) {
    if (at > text.size() || text.size() - at < word.size()) {
        return false;
    }
    for (size_t i = 0; i < word.size(); ++i) {
        if (AsciiLower(text[at + i]) != AsciiLower(word[i])) {
            return false;
        }
    }
    return true;
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && HasAtNoCase(text, text.size() - tail.size(), tail);
}

std::vector<std::string> SplitAnkiFields(std::string_view text) {
    std::vector<std::string> fields;
    SplitAnkiFields(text, &fields);
    return fields;
}

void SplitAnkiFields(std::string_view text, std::vector<std::string>* fields) {
    size_t count = 0;
    for (size_t from = 0;; ++count) {
        size_t sep = text.find(kAnkiFieldSeparator, from);
        std::string_view field =
            text.substr(from, sep == std::string_view::npos ? sep : sep - from);
        if (count < fields->size()) {
            (*fields)[count].assign(field.data(), field.size()); // keeps its room
        } else {
            fields->emplace_back(field);
        }
        if (sep == std::string_view::npos) {
            break;
        }
        from = sep + 1;
    }
    fields->resize(count + 1);
}

} // namespace deck
