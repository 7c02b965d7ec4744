// The Windows launcher's session: the import, the items installed and switched, and the screen
// with its refresh, started and watched over together.
#include "launcher/session.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "common/ScopedWin.h"
#include "host/output.h"
#include "launcher/process.h"
#include "launcher/todaylist.h"

namespace {

// The screen's order in the Today items list: Tollamy at 10, the decks after it.
const DWORD kOrder = 10;
// A refresh that ends this soon after its start, three times running, cannot be started.
const DWORD kQuickEndMs = 10000;

// Set by Ctrl+C, Ctrl+Break and the console window's closing.
HANDLE stopEvent = nullptr;

BOOL WINAPI OnControl(DWORD) {
    SetEvent(stopEvent);
    // The system ends a process when its console closes once this returns: the session ends
    // its children first.
    Sleep(2000);
    return TRUE;
}

void Say(const std::wstring& text) {
    PrintError(L"tollamy: " + text);
}

std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    int units =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
    return wide;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// True when the two files hold the same bytes.
bool SameBytes(const std::wstring& a, const std::wstring& b) {
    ScopedFile fa(CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    ScopedFile fb(CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    if (!fa.Valid() || !fb.Valid()) {
        return false;
    }
    char x[4096], y[4096];
    for (;;) {
        DWORD gx = 0, gy = 0;
        if (!ReadFile(fa.Get(), x, sizeof x, &gx, nullptr) ||
            !ReadFile(fb.Get(), y, sizeof y, &gy, nullptr) || gx != gy || memcmp(x, y, gx) != 0) {
            return false;
        }
        if (gx == 0) {
            return true;
        }
    }
}

// Whether any Anki item was named at an earlier start: a NAME.source in the data folder.
bool HasEarlierItems(const std::wstring& data) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((data + L"\\*.source").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return true;
}

struct AnkiItems {
    std::vector<std::wstring> added, shown, hidden;
};

// Imports each named Anki deck and the items of earlier starts: 0, or the deck tool's status
// when it refused (two decks that make one item, several profiles, ...).
int ImportAnki(const LauncherArgs& args, const LauncherPlaces& places, AnkiItems* items) {
    if (args.anki.empty() && !HasEarlierItems(places.data)) {
        return 0;
    }
    std::vector<std::wstring> argv{places.program + L"\\tollamy-deck.exe", L"watch", places.data,
                                   L"--once"};
    for (const std::wstring& deck : args.anki) {
        argv.insert(argv.end(), {L"--anki", deck});
    }
    if (!args.ankiProfile.empty()) {
        argv.insert(argv.end(), {L"--anki-profile", args.ankiProfile});
    }
    for (const std::wstring& name : args.names) {
        argv.insert(argv.end(), {L"--other-item", name});
    }
    for (const std::wstring& name : ItemsOutside(places.data)) {
        argv.insert(argv.end(), {L"--other-item", name});
    }
    std::string said;
    std::wstring why;
    const int status = RunCaptured(argv, &said, &why);
    if (status < 0) {
        Say(L"the Anki decks are left out: " + why);
        return 0;
    }
    if (status != 0) {
        return status;
    }
    std::wstring text = Utf8ToWide(said);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(L'\n', at);
        std::wstring line = text.substr(at, end == std::wstring::npos ? end : end - at);
        at = end == std::wstring::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        const size_t space = line.find(L' ');
        const std::wstring state = line.substr(0, space), name = line.substr(space + 1);
        if (space == std::wstring::npos || name.empty()) {
            continue;
        }
        (state == L"added"    ? items->added
         : state == L"shown"  ? items->shown
         : state == L"hidden" ? items->hidden
                              : items->shown)
            .push_back(name);
    }
    return 0;
}

// The module copy of an item: Tollamy.dll as `dll`, beside the deck it reads. While a screen
// runs, a copy that is there stays as it is: the host has it loaded.
bool CopyModule(const LauncherPlaces& places, const std::wstring& dll, bool running) {
    if (running && Exists(dll)) {
        return true;
    }
    if (!CopyFileW((places.program + L"\\Tollamy.dll").c_str(), dll.c_str(), FALSE)) {
        Say(dll + L": the module cannot be copied: " + SystemMessage(GetLastError()));
        return false;
    }
    return true;
}

// Installs the decks of --deck and the Anki decks just added: each a module copy and an entry.
bool InstallDecks(const LauncherArgs& args, const LauncherPlaces& places, const AnkiItems& anki,
                  bool running, std::vector<std::wstring>* names) {
    std::vector<std::pair<std::wstring, std::wstring>> decks; // name, module
    for (size_t i = 0; i < args.decks.size(); ++i) {
        const std::wstring& deck = args.decks[i];
        decks.push_back({args.names[i],
                         deck.substr(0, deck.find_last_of(L"\\/") + 1) + args.names[i] + L".dll"});
    }
    for (const std::wstring& name : anki.added) {
        decks.push_back({name, places.data + L"\\" + name + L".dll"});
    }
    for (size_t i = 0; i < decks.size(); ++i) {
        std::wstring why;
        if (!CopyModule(places, decks[i].second, running) ||
            !RegisterItem(decks[i].first, decks[i].second, kOrder + static_cast<DWORD>(i) + 1,
                          &why)) {
            if (!why.empty()) {
                Say(why);
            }
            return false;
        }
        names->push_back(decks[i].first);
    }
    return true;
}

// The entries this start decides on: an Anki item whose import failed is switched off, so that
// yesterday's cards never pass for today's, and on again when an import works; when decks are
// named, the Tollamy item is switched off while its deck is still the sample.
void SwitchItems(const LauncherArgs& args, const LauncherPlaces& places, const AnkiItems& anki) {
    auto module = [&](const std::wstring& name) { return places.data + L"\\" + name + L".dll"; };
    for (const auto* list : {&anki.added, &anki.shown}) {
        for (const std::wstring& name : *list) {
            SwitchItem(name, module(name), true);
        }
    }
    for (const std::wstring& name : anki.hidden) {
        SwitchItem(name, module(name), false);
    }
    const bool sample =
        (!args.decks.empty() || !args.anki.empty()) &&
        SameBytes(places.program + L"\\Tollamy.txt", places.program + L"\\capitals.txt");
    SwitchItem(L"Tollamy", places.program + L"\\Tollamy.dll", !sample);
}

// A screen is open already: it is left alone, and the decks named now join it.
int HandOver(const LauncherArgs& args, const LauncherPlaces& places) {
    AnkiItems anki;
    if (!args.anki.empty()) {
        if (const int status = ImportAnki(args, places, &anki); status != 0) {
            return status;
        }
    }
    std::vector<std::wstring> names;
    if (!InstallDecks(args, places, anki, true, &names)) {
        return 1;
    }
    if (names.empty()) {
        PrintLine(L"tollamy: Tollamy is already running");
        return 0;
    }
    std::wstring list;
    for (const std::wstring& name : names) {
        list += (list.empty() ? L"" : L", ") + name;
    }
    PrintLine(L"tollamy: Tollamy is already running; its screen shows " + list + L" too");
    return 0;
}

// The screen and its refresh, together: either's end ends the other, a refresh that ends is
// started again, and Ctrl+C or a closed console ends both.
class Screen {
public:
    Screen(const LauncherArgs& args, const LauncherPlaces& places) : args_(args), places_(places) {}

    int Run() {
        std::wstring why;
        if (!CreateKillingJob(&job_, &why)) {
            Say(why);
            return 1;
        }
        std::vector<std::wstring> host{places_.program + L"\\today-host.exe", L"--live"};
        if (args_.vga) {
            host.push_back(L"--vga");
        }
        if (!StartChild(host, job_.Get(), false, &host_, &why)) {
            Say(why);
            return 1;
        }
        StartRefresh();
        for (;;) {
            std::vector<HANDLE> waits{host_.Get(), stopEvent};
            if (refresh_.Valid()) {
                waits.push_back(refresh_.Get());
            }
            const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(waits.size()),
                                                       waits.data(), FALSE, INFINITE);
            if (which == WAIT_OBJECT_0) {
                DWORD status = 0;
                GetExitCodeProcess(host_.Get(), &status);
                StopRefresh();
                return static_cast<int>(status);
            }
            if (which == WAIT_OBJECT_0 + 1) {
                TerminateProcess(host_.Get(), 130);
                StopRefresh();
                return 130;
            }
            if (!RefreshAgain()) {
                TerminateProcess(host_.Get(), 1);
                WaitForSingleObject(host_.Get(), 5000);
                return 1;
            }
        }
    }

private:
    void StartRefresh() {
        const std::wstring tool = places_.program + L"\\tollamy-deck.exe";
        std::wstring why;
        started_ = GetTickCount();
        if (!Exists(tool) || !StartChild({tool, L"watch", places_.data, L"--refresh",
                                          std::to_wstring(args_.refreshMinutes), L"--switch",
                                          places_.program + L"\\switch-item.exe"},
                                         job_.Get(), true, &refresh_, &why)) {
            refresh_.Close();
            if (!why.empty()) {
                Say(why);
            }
        }
    }

    void StopRefresh() {
        if (refresh_.Valid()) {
            StopChild(refresh_.Get(), 5000);
            refresh_.Close();
        }
    }

    // The refresh ended while the screen is open: it starts again, unless it ended within 10 s
    // of its start for the third time running.
    bool RefreshAgain() {
        DWORD status = 0;
        GetExitCodeProcess(refresh_.Get(), &status);
        refresh_.Close();
        quick_ = GetTickCount() - started_ < kQuickEndMs ? quick_ + 1 : 0;
        if (quick_ >= 3) {
            Say(L"the refresh of the Anki items cannot be started (it ended at once three times, "
                L"last with status " +
                std::to_wstring(status) + L"); the screen closes");
            return false;
        }
        Say(L"the refresh of the Anki items ended (status " + std::to_wstring(status) +
            L"); it starts again");
        StartRefresh();
        return true;
    }

    const LauncherArgs& args_;
    const LauncherPlaces& places_;
    ScopedHandle job_, host_, refresh_;
    DWORD started_ = 0;
    int quick_ = 0;
};

} // namespace

LauncherPlaces FindPlaces() {
    LauncherPlaces places;
    std::wstring self(MAX_PATH, L'\0');
    DWORD got = GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size()));
    while (got >= self.size()) {
        self.resize(self.size() * 2);
        got = GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size()));
    }
    self.resize(got);
    places.program = self.substr(0, self.find_last_of(L"\\/"));
    wchar_t local[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0,
                                   local))) {
        places.data = std::wstring(local) + L"\\Tollamy\\anki";
    }
    return places;
}

int RunSession(const LauncherArgs& args, const LauncherPlaces& places) {
    // One screen per user: the system drops the mutex when its holder ends, however it ends.
    ScopedHandle screen(CreateMutexW(nullptr, FALSE, L"Local\\Tollamy.Screen"));
    if (screen.Valid() && GetLastError() == ERROR_ALREADY_EXISTS) {
        return HandOver(args, places);
    }
    SHCreateDirectoryExW(nullptr, places.data.c_str(), nullptr);
    ScopedHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    stopEvent = stop.Get();
    SetConsoleCtrlHandler(OnControl, TRUE);
    AnkiItems anki;
    if (const int status = ImportAnki(args, places, &anki); status != 0) {
        return status;
    }
    std::vector<std::wstring> names;
    if (!InstallDecks(args, places, anki, false, &names)) {
        return 1;
    }
    SwitchItems(args, places, anki);
    Screen shown(args, places);
    return shown.Run();
}
