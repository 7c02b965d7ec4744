#include "host/dpi.h"

#include <windows.h>
#include <string>
#include "common/ScopedWin.h"
#include "common/screencaps.h"
#include "host/itemmodule.h"
#include "host/output.h"

namespace {

const wchar_t DESKTOP_KEY[] = L"Control Panel\\Desktop";
const wchar_t LOG_PIXELS[] = L"LogPixels";

// Duplicates one of our standard handles as inheritable, for the new process.
HANDLE InheritableStdHandle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

} // namespace

int ScreenDpi() {
    LONG dpi = QueryScreenCaps(LOGPIXELSY);
    return dpi > 0 ? static_cast<int>(dpi) : 96;
}

int RelaunchAtDpi(int dpi) {
    ScopedKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, DESKTOP_KEY, 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.Receive(),
                        nullptr) != ERROR_SUCCESS) {
        PrintError(L"today-host: cannot open HKCU\\Control Panel\\Desktop to set the resolution");
        return -1;
    }
    DWORD type = 0;
    BYTE old[64];
    DWORD oldSize = sizeof(old);
    bool hadValue =
        RegQueryValueExW(key.Get(), LOG_PIXELS, nullptr, &type, old, &oldSize) == ERROR_SUCCESS;
    DWORD value = static_cast<DWORD>(dpi);
    RegSetValueExW(key.Get(), LOG_PIXELS, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof(value));

    std::wstring command = std::wstring(GetCommandLineW()) + L" --relaunched";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    ScopedHandle in(InheritableStdHandle(STD_INPUT_HANDLE));
    ScopedHandle out(InheritableStdHandle(STD_OUTPUT_HANDLE));
    ScopedHandle err(InheritableStdHandle(STD_ERROR_HANDLE));
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.Get();
    startup.hStdOutput = out.Get();
    startup.hStdError = err.Get();
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
    DWORD startError = GetLastError();
    DWORD status = static_cast<DWORD>(-1);
    if (started) {
        ScopedHandle thread(process.hThread);
        ScopedHandle child(process.hProcess);
        WaitForSingleObject(child.Get(), INFINITE);
        GetExitCodeProcess(child.Get(), &status);
    }

    if (hadValue) {
        RegSetValueExW(key.Get(), LOG_PIXELS, 0, type, old, oldSize);
    } else {
        RegDeleteValueW(key.Get(), LOG_PIXELS);
    }
    if (!started) {
        PrintError(L"today-host: cannot start the host at " + std::to_wstring(dpi) + L" dpi: " +
                   SystemMessage(startError));
        return -1;
    }
    return static_cast<int>(status);
}
