// Keeps Wine's desktop process alive for a whole test run.
//   desktop_holder READY-FILE
// Wine starts its desktop (explorer.exe /desktop) on behalf of the first program that needs a
// window, with that program's standard handles, and ends it again a moment after the last
// window of the session is gone. A test program that happens to start it passes its output
// pipe on to the desktop, and CTest then waits for that pipe until the test times out. Started
// once, before the tests, with its streams redirected, this program starts the desktop itself
// and holds one hidden window until the wineserver is stopped, so no test ever starts it.
// Creates READY-FILE once the window exists.
#include <windows.h>

#include "common/ScopedWin.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return 2;
    }
    // Never shown: it takes no part in what the tests capture.
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"desktop_holder", WS_POPUP, 0, 0, 1,
                                  1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        return 1;
    }
    {
        ScopedFile ready(CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!ready.Valid()) {
            return 1;
        }
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}
