#include "host/scriptparse.h"

#include <windows.h>
#include <wctype.h>
#include "common/ScopedWin.h"
#include "host/itemmodule.h"

namespace {

const unsigned long WAIT_LIMIT_MS = 600000;
const size_t BOX_TEXT_LIMIT = 39; // what the dialog's boxes hold
const size_t ITEM_NUMBER_DIGITS = 3;

std::vector<std::wstring> SplitWords(const std::wstring& line) {
    std::vector<std::wstring> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && iswspace(line[i])) {
            ++i;
        }
        size_t start = i;
        while (i < line.size() && !iswspace(line[i])) {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

bool AllDigits(const std::wstring& text) {
    if (text.empty()) {
        return false;
    }
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
    }
    return true;
}

// An item number: 1 for the first item on the screen, at most three digits.
bool ParseItemNumber(const std::wstring& text, int* number) {
    if (!AllDigits(text) || text.size() > ITEM_NUMBER_DIGITS) {
        return false;
    }
    *number = static_cast<int>(wcstoul(text.c_str(), nullptr, 10));
    return *number >= 1;
}

// A capture name becomes DIR\NAME.png, so it names a file inside DIR and nothing else.
bool ValidName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") {
        return false;
    }
    return name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos;
}

// Fills command from an options line; returns a reason when the line is malformed.
std::wstring ParseOptions(const std::vector<std::wstring>& words, ScriptCommand* command) {
    OptionsRun* run = &command->options;
    bool swapSeen = false;
    bool itemSeen = false;
    bool othersSeen = false; // boxes, swap or capture
    for (size_t i = 1; i < words.size(); ++i) {
        if (words[i] == L"cancel" && i == 1) {
            run->cancel = true;
            continue;
        }
        size_t equals = words[i].find(L'=');
        if (equals == std::wstring::npos) {
            return L"expected key=value, got '" + words[i] + L"'";
        }
        std::wstring key = words[i].substr(0, equals);
        std::wstring value = words[i].substr(equals + 1);
        int box = -1;
        for (int b = 0; b < OPTIONS_BOX_COUNT; ++b) {
            if (key == OPTIONS_BOX_KEYS[b]) {
                box = b;
            }
        }
        othersSeen = othersSeen || key != L"item";
        if (box >= 0) {
            if (run->setBox[box]) {
                return L"'" + key + L"' given twice";
            }
            if (!AllDigits(value) || value.size() > BOX_TEXT_LIMIT) {
                return L"'" + key + L"' needs a number of up to 39 digits";
            }
            run->setBox[box] = true;
            run->boxText[box] = value;
        } else if (key == L"swap") {
            if (swapSeen || (value != L"0" && value != L"1")) {
                return L"'swap' needs 0 or 1, once";
            }
            swapSeen = true;
            run->swap = value == L"1" ? 1 : 0;
        } else if (key == L"capture") {
            if (!command->name.empty() || !ValidName(value)) {
                return L"'capture' needs one file name";
            }
            command->name = value;
        } else if (key == L"item") {
            if (itemSeen || !ParseItemNumber(value, &command->item)) {
                return L"'item' needs an item number from 1, once";
            }
            itemSeen = true;
        } else {
            return L"unknown options key '" + key + L"'";
        }
    }
    if (run->cancel && othersSeen) {
        return L"'options cancel' takes no keys but item";
    }
    return L"";
}

// Fills command from one line's words; returns a reason when the line is malformed.
std::wstring ParseCommand(const std::vector<std::wstring>& words, ScriptCommand* command) {
    const std::wstring& verb = words[0];
    struct Simple {
        const wchar_t* verb;
        ScriptCommandKind kind;
    };
    static const Simple simple[] = {{L"stats", SCRIPT_STATS}, {L"quit", SCRIPT_QUIT}};
    for (const Simple& s : simple) {
        if (verb == s.verb) {
            if (words.size() != 1) {
                return L"'" + verb + L"' takes no arguments";
            }
            command->kind = s.kind;
            return L"";
        }
    }
    // These address one item, the first when no number is given.
    static const Simple addressing[] = {{L"select", SCRIPT_SELECT},
                                        {L"leave", SCRIPT_LEAVE},
                                        {L"action", SCRIPT_ACTION},
                                        {L"refresh", SCRIPT_REFRESH}};
    for (const Simple& s : addressing) {
        if (verb == s.verb) {
            command->kind = s.kind;
            if (words.size() > 2 ||
                (words.size() == 2 && !ParseItemNumber(words[1], &command->item))) {
                return L"'" + verb + L"' takes nothing or an item number from 1";
            }
            return L"";
        }
    }
    if (verb == L"wait") {
        command->kind = SCRIPT_WAIT;
        if (words.size() != 2 || !AllDigits(words[1]) || words[1].size() > 6 ||
            wcstoul(words[1].c_str(), nullptr, 10) > WAIT_LIMIT_MS) {
            return L"'wait' needs a time in milliseconds, at most 600000";
        }
        command->milliseconds = wcstoul(words[1].c_str(), nullptr, 10);
        return L"";
    }
    if (verb == L"capture") {
        command->kind = SCRIPT_CAPTURE;
        if (words.size() != 2 || !ValidName(words[1])) {
            return L"'capture' needs one file name";
        }
        command->name = words[1];
        return L"";
    }
    if (verb == L"capture-item") {
        command->kind = SCRIPT_CAPTURE_ITEM;
        if (words.size() < 2 || words.size() > 3 || !ValidName(words[1])) {
            return L"'capture-item' needs one file name";
        }
        if (words.size() == 3 && !ParseItemNumber(words[2], &command->item)) {
            return L"'capture-item' takes an item number from 1 after the file name";
        }
        command->name = words[1];
        return L"";
    }
    if (verb == L"options") {
        command->kind = SCRIPT_OPTIONS;
        return ParseOptions(words, command);
    }
    return L"unknown command '" + verb + L"'";
}

} // namespace

bool ParseScript(const std::wstring& text, std::vector<ScriptCommand>* commands,
                 std::wstring* error) {
    size_t start = 0;
    int number = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        std::vector<std::wstring> words = SplitWords(line);
        if (words.empty() || words[0][0] == L'#') {
            continue;
        }
        ScriptCommand command;
        command.line = number;
        std::wstring reason = ParseCommand(words, &command);
        if (!reason.empty()) {
            *error = L"line " + std::to_wstring(number) + L": " + reason;
            return false;
        }
        commands->push_back(command);
    }
    return true;
}

std::wstring DecodeScriptText(const std::string& bytes) {
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    } else {
        size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip,
                                        static_cast<int>(bytes.size() - skip), nullptr, 0);
        text.resize(static_cast<size_t>(units));
        if (units > 0) {
            MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip,
                                static_cast<int>(bytes.size() - skip), &text[0], units);
        }
    }
    return text;
}

bool LoadScript(const std::wstring& path, std::vector<ScriptCommand>* commands,
                std::wstring* error) {
    ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        *error = L"cannot open " + path + L": " + SystemMessage(GetLastError());
        return false;
    }
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read != 0) {
        bytes.append(buffer, read);
    }
    std::wstring text = DecodeScriptText(bytes);
    if (!ParseScript(text, commands, error)) {
        *error = path + L" " + *error;
        return false;
    }
    return true;
}
