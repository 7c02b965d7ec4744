// tollamy.exe: the Windows launcher. It takes the Linux launcher's options, imports today's due
// cards of the Anki decks named, registers the items and runs the Today screen with the refresh
// that keeps them current.
#include <windows.h>

#include <string>
#include <vector>

#include "host/output.h"
#include "launcher/autostart.h"
#include "launcher/options.h"
#include "launcher/session.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> words(argv + 1, argv + argc);
    LauncherArgs args;
    std::wstring error;
    if (!MissingHandler().empty()) {
        PrintError(L"tollamy: error: the option handler " + MissingHandler() + L" is missing");
        return 2;
    }
    if (ParseLauncherArgs(words, &args, &error) != 0) {
        PrintError(L"tollamy: error: " + error);
        PrintError(L"Try 'tollamy --help'.");
        return 2;
    }
    if (args.help) {
        PrintLine(LauncherHelp());
        return 0;
    }
    if (args.version) {
        PrintLine(L"tollamy " TOLLAMY_VERSION_W);
        return 0;
    }
    const LauncherPlaces places = FindPlaces();
    if (args.autostart != 0) {
        return Autostart(args, places.program + L"\\tollamy.exe");
    }
    // Started from Explorer or at login, the console is the launcher's alone: it is hidden.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) {
        ShowWindow(GetConsoleWindow(), SW_HIDE);
    }
    return RunSession(args, places);
}
