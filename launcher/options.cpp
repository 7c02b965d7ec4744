// The Windows launcher's parser: the Linux launcher's rules (tollamy_parse_args) over the same
// declaration. A value follows its option as the next word or after "="; "--" ends the options;
// an option that is not repeatable may be given once; --help and --version end the parse.
#include "launcher/options.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>

namespace {

#include "launcheroptions.inc"

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(towlower(c));
    }
    return text;
}

// --deck FILE: a .txt file (the item reads NAME.txt beside its module NAME.dll), named after
// its file; two decks of one name, or one named like the installed item, are refused.
bool AddDeck(LauncherArgs* a, const std::wstring& value, std::wstring* error) {
    const DWORD attributes = GetFileAttributesW(value.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *error = L"no deck at " + value;
        return false;
    }
    std::wstring path(MAX_PATH, L'\0');
    DWORD got = GetFullPathNameW(value.c_str(), static_cast<DWORD>(path.size()), &path[0], nullptr);
    if (got >= path.size()) {
        path.resize(got + 1);
        got = GetFullPathNameW(value.c_str(), static_cast<DWORD>(path.size()), &path[0], nullptr);
    }
    path.resize(got);
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring file = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
    const size_t dot = file.rfind(L'.');
    const std::wstring name = dot == std::wstring::npos ? file : file.substr(0, dot);
    if (name.empty() || name.find_first_of(L"%\"") != std::wstring::npos ||
        std::any_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x20; })) {
        *error = value + L": a deck's name (its file name without the extension) must not be "
                         L"empty or hold % or \"";
        return false;
    }
    if (dot == std::wstring::npos || Lower(file.substr(dot)) != L".txt") {
        *error = value + L": the item reads a deck named " + name +
                 L".txt beside its module; "
                 L"give a .txt file";
        return false;
    }
    // Windows names and registry keys ignore case.
    std::vector<std::wstring> others{L"Tollamy"};
    others.insert(others.end(), a->names.begin(), a->names.end());
    for (const std::wstring& other : others) {
        if (Lower(other) == Lower(name)) {
            *error = value + L": there is already an item named " + other + L"; rename the deck";
            return false;
        }
    }
    a->decks.push_back(path);
    a->names.push_back(name);
    return true;
}

bool SetRefresh(LauncherArgs* a, const std::wstring& value, std::wstring* error) {
    if (value.empty() || value.size() > 4 ||
        value.find_first_not_of(L"0123456789") != std::wstring::npos || std::stoi(value) > 1440) {
        *error = L"--refresh takes minutes from 0 to 1440, not '" + value + L"'";
        return false;
    }
    a->refreshMinutes = std::stoi(value);
    return true;
}

bool SetAutostart(LauncherArgs* a, int to, std::wstring* error) {
    if (a->autostart == -to) {
        *error = L"give --autostart or --no-autostart, not both";
        return false;
    }
    a->autostart = to;
    return true;
}

using Handler = std::function<bool(LauncherArgs*, const std::wstring&, std::wstring*)>;

const std::map<std::wstring, Handler>& Handlers() {
    static const std::map<std::wstring, Handler> handlers = {
        {L"tollamy_add_deck", AddDeck},
        {L"tollamy_add_anki_deck",
         [](LauncherArgs* a, const std::wstring& v, std::wstring*) {
             a->anki.push_back(v);
             return true;
         }},
        {L"tollamy_set_anki_profile",
         [](LauncherArgs* a, const std::wstring& v, std::wstring*) {
             a->ankiProfile = v;
             return true;
         }},
        {L"tollamy_set_refresh", SetRefresh},
        {L"tollamy_set_autostart", [](LauncherArgs* a, const std::wstring&,
                                      std::wstring* e) { return SetAutostart(a, 1, e); }},
        {L"tollamy_set_no_autostart", [](LauncherArgs* a, const std::wstring&,
                                         std::wstring* e) { return SetAutostart(a, -1, e); }},
        {L"tollamy_set_vga",
         [](LauncherArgs* a, const std::wstring&, std::wstring*) {
             a->vga = true;
             return true;
         }},
        {L"tollamy_help",
         [](LauncherArgs* a, const std::wstring&, std::wstring*) {
             a->help = true;
             return true;
         }},
        {L"tollamy_version",
         [](LauncherArgs* a, const std::wstring&, std::wstring*) {
             a->version = true;
             return true;
         }},
    };
    return handlers;
}

// The option that `name` ("-h", "--help") names, or nullptr.
const LauncherOption* Find(const std::wstring& name) {
    for (const LauncherOption& o : kLauncherOptions) {
        const std::wstring names = o.names;
        const size_t comma = names.find(L',');
        if (names == name || (comma != std::wstring::npos && (names.substr(0, comma) == name ||
                                                              names.substr(comma + 1) == name))) {
            return &o;
        }
    }
    return nullptr;
}

std::wstring LongName(const LauncherOption& o) {
    const std::wstring names = o.names;
    return names.substr(names.find(L',') + 1);
}

} // namespace

const std::vector<LauncherOption>& LauncherOptions() {
    static const std::vector<LauncherOption> options(std::begin(kLauncherOptions),
                                                     std::end(kLauncherOptions));
    return options;
}

std::wstring MissingHandler() {
    for (const LauncherOption& o : kLauncherOptions) {
        if (Handlers().count(o.handler) == 0) {
            return o.handler;
        }
    }
    return std::wstring();
}

const wchar_t* LauncherHelp() {
    return kLauncherHelp;
}

int ParseLauncherArgs(const std::vector<std::wstring>& words, LauncherArgs* out,
                      std::wstring* error) {
    std::vector<const LauncherOption*> given;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (word == L"--") {
            if (i + 1 < words.size()) {
                *error = L"unknown argument '" + words[i + 1] + L"'";
                return 2;
            }
            break;
        }
        const size_t equals = word.find(L'=');
        const std::wstring name = word.substr(0, equals);
        const LauncherOption* option = name.empty() ? nullptr : Find(name);
        if (option == nullptr) {
            *error = L"unknown option '" + name + L"'";
            return 2;
        }
        const std::wstring longName = LongName(*option);
        if (std::wstring(option->how) != L"repeat") {
            if (std::find(given.begin(), given.end(), option) != given.end()) {
                *error = L"option " + longName + L" is given twice; give it once";
                return 2;
            }
            given.push_back(option);
        }
        std::wstring value;
        if (std::wstring(option->value) == L"-") {
            if (equals != std::wstring::npos) {
                *error = L"option " + longName + L" takes no value";
                return 2;
            }
        } else if (equals != std::wstring::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < words.size()) {
            value = words[++i];
        }
        if (std::wstring(option->value) != L"-" && value.empty()) {
            *error = L"option " + longName + L" needs a value";
            return 2;
        }
        auto handler = Handlers().find(option->handler);
        if (handler == Handlers().end()) {
            *error = L"option " + longName + L" has no handler";
            return 2;
        }
        if (!handler->second(out, value, error)) {
            return 2;
        }
        if (out->help || out->version) {
            return 0;
        }
    }
    if (!out->ankiProfile.empty() && out->anki.empty()) {
        *error = L"--anki-profile names the profile of the --anki decks; give --anki DECK too";
        return 2;
    }
    return 0;
}
