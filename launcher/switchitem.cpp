// switch-item.exe: the program with which the refresh (tollamy-deck.exe watch --switch) shows
// or leaves out an Anki item of the Windows launcher, as scripts/switch-item does on Linux.
//   switch-item NAME on|off
// Only the entry of the launcher's module copy for NAME (in the data folder) is touched. Exits
// 0 when it switched the entry, 1 when the entry was so already or there is none of ours, 2
// when it cannot be switched.
#include <windows.h>

#include <string>

#include "host/output.h"
#include "launcher/session.h"
#include "launcher/todaylist.h"

int wmain(int argc, wchar_t** argv) {
    const std::wstring to = argc == 3 ? argv[2] : L"";
    if (to != L"on" && to != L"off") {
        PrintError(L"usage: switch-item NAME on|off");
        return 2;
    }
    const std::wstring name = argv[1];
    return SwitchItem(name, FindPlaces().data + L"\\" + name + L".dll", to == L"on");
}
