// today-host.exe: plays the handheld's Today screen for its Today items.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <vector>
#include "host/dpi.h"
#include "host/hostoptions.h"
#include "host/itemload.h"
#include "host/itemmodule.h"
#include "host/output.h"
#include "host/scriptparse.h"
#include "host/scriptrun.h"
#include "host/todayscreen.h"

namespace {

// Exit statuses.
const int EXIT_BAD_ARGUMENTS = 2;
const int EXIT_MODULE = 3;
const int EXIT_SCREEN = 4;

bool RunningOnWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

int RunHost(HINSTANCE instance, const HostOptions& options) {
    std::vector<ScriptCommand> script;
    std::wstring error;
    if (!options.scriptPath.empty() && !LoadScript(options.scriptPath, &script, &error)) {
        PrintError(L"today-host: " + error);
        return EXIT_BAD_ARGUMENTS;
    }

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    TodayItems items;
    if (!LoadTodayItems(options.modulePath, &items, &error)) {
        PrintError(L"today-host: " + error);
        return EXIT_MODULE;
    }
    int status = 0;
    if (!CreateTodayScreen(instance, ScreenDpi(), std::move(items), options.live,
                           options.modulePath.empty(), &error)) {
        PrintError(L"today-host: " + error);
        status = EXIT_SCREEN;
    } else if (!options.scriptPath.empty()) {
        status = RunScript(script, options.captureDir);
    } else {
        status = RunMessageLoop();
    }
    // The item windows go before their modules.
    CloseTodayScreen();
    PumpMessagesFor(0);
    ReleaseTodayItems();
    return status;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The host lays itself out in real pixels at the screen's resolution.
    SetProcessDPIAware();

    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    HostOptions options;
    std::wstring error;
    bool parsed = argv != nullptr && ParseHostOptions(argc, argv, &options, &error);
    LocalFree(argv);
    SetErrorBoxes(options.scriptPath.empty());
    if (!parsed) {
        PrintError(L"today-host: " + error + L"\n" + HostUsage());
        return EXIT_BAD_ARGUMENTS;
    }

    // Under Wine the host picks its screen's resolution. On Windows the resolution belongs to
    // the user's session, and the host takes it as it is.
    int wanted = options.vga ? 192 : 96;
    if (!options.relaunched && RunningOnWine() && ScreenDpi() != wanted) {
        return RelaunchAtDpi(wanted);
    }

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = RunHost(instance, options);
    CoUninitialize();
    return status;
}
