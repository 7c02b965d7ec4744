// What the Windows cases of the tool's tests share (windows_files_test.cpp,
// windows_console_test.cpp): paths in their \\?\ form, files and folders read and written
// with Windows' own calls rather than the tool's, the environment for the programs they start,
// and tollamy-deck.exe started as a user starts it, with a UTF-16 command line.
#pragma once

#include "deck/tests/deck_support.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace wintest {

// The launcher's test profile (deck-apkg-seeds --profile): four cards due on Wed 2026-03-11
// in "French".
constexpr long long kNow = 1773223200;

std::wstring W(const std::string& utf8);
// A path for Windows' calls in the test itself: backslashes, and the \\?\ form, whatever the
// length.
std::wstring Long(const std::string& path);
void MakeLongFolders(const std::string& path);
void WriteLong(const std::string& path, const std::string& bytes);
std::string ReadLong(const std::string& path);
// The names in a folder, through FindFirstFileW, sorted.
std::vector<std::string> Names(const std::string& folder);
void RemoveLong(const std::string& path);

// Environment variables set while it lives, for the programs started meanwhile.
class EnvAt {
public:
    EnvAt(std::vector<std::pair<std::string, std::string>> set) {
        for (const auto& [name, value] : set) {
            wchar_t old[32768];
            DWORD n = GetEnvironmentVariableW(W(name).c_str(), old, 32768);
            old_.push_back({W(name), n > 0 ? std::wstring(old, n) : std::wstring(), n > 0});
            SetEnvironmentVariableW(W(name).c_str(), value == "\x01" ? nullptr : W(value).c_str());
        }
    }
    ~EnvAt() {
        for (const Old& o : old_) {
            SetEnvironmentVariableW(o.name.c_str(), o.had ? o.value.c_str() : nullptr);
        }
    }

private:
    struct Old {
        std::wstring name, value;
        bool had;
    };
    std::vector<Old> old_;
};
constexpr const char* kUnset = "\x01";

struct Exe {
    DWORD status = 0;
    std::string out, err;
};

struct Started {
    PROCESS_INFORMATION process{};
    std::string outPath, errPath;
};

// Starts PROGRAM ARGS... with standard output and error in files of `dir`, standard input
// empty, or with the standard streams of its console (`ownConsole`).
Started Start(const decktest::TempDir& dir, const std::string& program,
              const std::vector<std::string>& args, DWORD flags = 0, bool ownConsole = false);
// Waits for it (ends it, as a failure, after `ms`) and reads what it wrote.
Exe Finish(Started& s, DWORD ms = 60000);
// Runs tollamy-deck.exe ARGS... to its end.
Exe Tool(const decktest::TempDir& dir, const std::vector<std::string>& args);
// Makes the console of process `pid` this program's own (a console without a window, which a
// program started with CREATE_NO_WINDOW gets), so that its control events and its screen are
// this program's too.
bool AttachTo(DWORD pid);
// The profile `name` in `base`, with the launcher's test collection; returns its folder.
std::string Profile(const decktest::TempDir& dir, const std::string& base, const std::string& name);
// The deck that the test profile gives for French at kNow.
const std::string& FrenchDue();

} // namespace wintest
