// The Windows launcher's command line, parsed by the declaration that the Linux launcher's
// parser reads too (scripts/launcher-options.sh, which the build turns into launcheroptions.inc):
// the same options, values, repeatability and --help, and the same messages.
#pragma once

#include <string>
#include <vector>

struct LauncherArgs {
    std::vector<std::wstring> decks; // --deck: the decks' full paths
    std::vector<std::wstring> names; // their item names (French.txt: French)
    std::vector<std::wstring> anki;  // --anki
    std::wstring ankiProfile;
    int refreshMinutes = 10;
    int autostart = 0; // 1 --autostart, -1 --no-autostart
    bool vga = false;
    bool help = false;
    bool version = false;
};

// One option of the declaration.
struct LauncherOption {
    const wchar_t* names; // "-h,--help" or "--deck"
    const wchar_t* value; // "FILE", "-" for a flag
    const wchar_t* kind;  // none, text, file or profile
    const wchar_t* how;   // once, repeat or alone
    const wchar_t* handler;
};

// Parses the words after the program's name into *out. 0, or 2 with *error set to the usage
// message's text ("unknown option '--bogus'").
int ParseLauncherArgs(const std::vector<std::wstring>& words, LauncherArgs* out,
                      std::wstring* error);

// --help, from the declaration.
const wchar_t* LauncherHelp();

// The declaration, and the name of a handler that the launcher lacks ("" when it has them all).
const std::vector<LauncherOption>& LauncherOptions();
std::wstring MissingHandler();
