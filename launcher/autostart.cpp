// The launcher's autostart entry in the user's Run key.
#include "launcher/autostart.h"

#include <windows.h>

#include "common/ScopedWin.h"
#include "host/output.h"
#include "launcher/process.h"

namespace {

const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kValue[] = L"Tollamy";
const std::wstring kWhere = L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

} // namespace

int Autostart(const LauncherArgs& args, const std::wstring& self) {
    ScopedKey run;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRun, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        run.Receive(), nullptr) != ERROR_SUCCESS) {
        PrintError(L"tollamy: error: cannot open " + kWhere);
        return 1;
    }
    if (args.autostart < 0) {
        if (RegDeleteValueW(run.Get(), kValue) == ERROR_SUCCESS) {
            PrintLine(L"tollamy: removed the autostart entry " + kWhere + L"\\" + kValue);
        } else {
            PrintLine(L"tollamy: there is no autostart entry (" + kWhere + L"\\" + kValue + L")");
        }
        return 0;
    }
    std::vector<std::wstring> argv{self};
    for (const std::wstring& deck : args.decks) {
        argv.insert(argv.end(), {L"--deck", deck});
    }
    for (const std::wstring& deck : args.anki) {
        argv.insert(argv.end(), {L"--anki", deck});
    }
    if (!args.ankiProfile.empty()) {
        argv.insert(argv.end(), {L"--anki-profile", args.ankiProfile});
    }
    if (args.refreshMinutes != 10) {
        argv.insert(argv.end(), {L"--refresh", std::to_wstring(args.refreshMinutes)});
    }
    if (args.vga) {
        argv.push_back(L"--vga");
    }
    const std::wstring line = CommandLine(argv);
    if (RegSetValueExW(run.Get(), kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(line.c_str()),
                       static_cast<DWORD>((line.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
        PrintError(L"tollamy: error: cannot write " + kWhere + L"\\" + kValue);
        return 1;
    }
    PrintLine(L"tollamy: starts at login with " + kWhere + L"\\" + kValue);
    return 0;
}
