// A Windows command line made from its words.
#include "common/commandline.h"

std::wstring QuoteArgument(const std::wstring& word) {
    if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return word;
    }
    std::wstring quoted = L"\"";
    size_t slashes = 0;
    for (wchar_t c : word) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        // Backslashes double only before a quote, which is escaped itself.
        quoted.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        quoted += c;
    }
    quoted.append(slashes * 2, L'\\');
    return quoted + L"\"";
}

std::wstring CommandLine(const std::vector<std::wstring>& argv) {
    std::wstring line;
    for (const std::wstring& word : argv) {
        if (!line.empty()) {
            line += L' ';
        }
        line += QuoteArgument(word);
    }
    return line;
}
