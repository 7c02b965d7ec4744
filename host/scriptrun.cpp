#include "host/scriptrun.h"

#include <windows.h>
#include "host/capture.h"
#include "host/itemmodule.h"
#include "host/output.h"
#include "host/stats.h"
#include "host/todayscreen.h"

namespace {

bool quitReceived = false;

std::wstring CapturePath(const std::wstring& dir, const std::wstring& name) {
    std::wstring folder = dir.empty() ? L"." : dir;
    WCHAR full[MAX_PATH];
    DWORD length = GetFullPathNameW(folder.c_str(), MAX_PATH, full, nullptr);
    if (length != 0 && length < MAX_PATH) {
        folder.assign(full, length);
    }
    if (folder.back() != L'\\' && folder.back() != L'/') {
        folder += L'\\';
    }
    return folder + name + L".png";
}

std::wstring SizeText(int width, int height) {
    return std::to_wstring(width) + L"x" + std::to_wstring(height);
}

std::wstring RefreshText(const TodayScreen& screen, int item, LRESULT result) {
    return L"refresh " + std::to_wstring(static_cast<long long>(result)) + L" cyp=" +
           std::to_wstring(screen.items[item]->listItem.cyp);
}

const wchar_t* Verb(ScriptCommandKind kind) {
    switch (kind) {
    case SCRIPT_SELECT:
        return L"select";
    case SCRIPT_LEAVE:
        return L"leave";
    case SCRIPT_ACTION:
        return L"action";
    case SCRIPT_REFRESH:
        return L"refresh";
    case SCRIPT_OPTIONS:
        return L"options";
    case SCRIPT_CAPTURE_ITEM:
        return L"capture-item";
    default:
        return L"";
    }
}

// The commands that address an item take it from the screen's list.
bool AddressesItem(ScriptCommandKind kind) {
    return Verb(kind)[0] != 0;
}

// Handles everything that is queued, without waiting.
bool PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quitReceived = true;
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return !quitReceived;
}

// Runs one command; returns false when it failed at its job.
bool RunCommand(const ScriptCommand& command, const std::wstring& captureDir) {
    const TodayScreen& screen = CurrentScreen();
    const int item = ItemIndex(screen, command.item);
    if (AddressesItem(command.kind) && item < 0) {
        PrintLine(std::wstring(Verb(command.kind)) + L" failed: there is no item " +
                  std::to_wstring(command.item));
        return false;
    }
    switch (command.kind) {
    case SCRIPT_SELECT:
        PrintLine(L"select " + std::to_wstring(static_cast<long long>(SelectItem(item))));
        return true;
    case SCRIPT_LEAVE: {
        bool notSelected = false;
        LRESULT result = LeaveItem(item, &notSelected);
        PrintLine(notSelected ? L"leave not-selected"
                              : L"leave " + std::to_wstring(static_cast<long long>(result)));
        return true;
    }
    case SCRIPT_ACTION:
        PrintLine(L"action " + std::to_wstring(static_cast<long long>(ActOnItem(item))));
        return true;
    case SCRIPT_REFRESH:
        PrintLine(RefreshText(screen, item, RefreshItem(item)));
        return true;
    case SCRIPT_WAIT:
        PumpMessagesFor(command.milliseconds);
        PrintLine(L"wait " + std::to_wstring(command.milliseconds));
        return true;
    case SCRIPT_OPTIONS: {
        if (screen.items[item]->module.OptionsDialogProc() == nullptr) {
            PrintLine(L"options unavailable: the module has no export at ordinal 241");
            return false;
        }
        if (!HasOptions(screen, item)) {
            PrintLine(L"options unavailable: the item's list entry has no Options 1");
            return false;
        }
        OptionsRun run = command.options;
        if (!command.name.empty()) {
            run.capturePath = CapturePath(captureDir, command.name);
        }
        INT_PTR result = ShowItemOptions(item, &run); // queries the height once it has closed
        // ShowItemOptions asked for the height already; report what the layout now uses.
        std::wstring refresh = L"cyp=" + std::to_wstring(screen.items[item]->listItem.cyp);
        if (result == -1 || !run.driven) {
            PrintLine(L"options failed: the dialog could not be shown: " +
                      SystemMessage(GetLastError()));
            return false;
        }
        std::wstring outcome = result == OPTIONS_NOT_CLOSED ? L"options not-closed"
                               : run.cancel                 ? L"options cancel"
                                                            : L"options ok";
        std::wstring line = outcome + L" " + run.shown + L" " + refresh;
        if (!run.capturePath.empty()) {
            line += run.captured ? L" capture " + run.capturePath
                                 : L" capture failed: " + run.captureError;
        }
        PrintLine(line);
        return result != OPTIONS_NOT_CLOSED && (run.capturePath.empty() || run.captured);
    }
    case SCRIPT_CAPTURE:
    case SCRIPT_CAPTURE_ITEM: {
        std::wstring path = CapturePath(captureDir, command.name);
        HWND window = command.kind == SCRIPT_CAPTURE ? screen.window : screen.items[item]->window;
        int width = 0;
        int height = 0;
        std::wstring error;
        const wchar_t* verb = command.kind == SCRIPT_CAPTURE ? L"capture " : L"capture-item ";
        if (!CaptureWindow(window, false, path, &width, &height, &error)) {
            PrintLine(verb + std::wstring(L"failed: ") + error);
            return false;
        }
        std::wstring line = verb + path + L" " + SizeText(width, height);
        if (command.kind == SCRIPT_CAPTURE_ITEM) {
            // Where the item lies on the screen, for comparing the two captures.
            POINT origin = {0, 0};
            MapWindowPoints(window, screen.window, &origin, 1);
            line += L" at " + std::to_wstring(origin.x) + L"," + std::to_wstring(origin.y);
        }
        PrintLine(line);
        return true;
    }
    case SCRIPT_STATS: {
        int handles = CountProcessHandles();
        int gdi = CountGdiObjects();
        PrintLine(L"stats handles " + std::to_wstring(handles) + L" gdi " + std::to_wstring(gdi));
        return true;
    }
    case SCRIPT_QUIT:
        PrintLine(L"quit");
        return true;
    }
    return false;
}

} // namespace

bool PumpMessagesFor(unsigned long milliseconds) {
    ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        if (!PumpPending()) {
            return false;
        }
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return true;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

int RunScript(const std::vector<ScriptCommand>& commands, const std::wstring& captureDir) {
    const TodayScreen& screen = CurrentScreen();
    int status = 0;
    for (const ScriptCommand& command : commands) {
        if (!PumpPending() || screen.window == nullptr) {
            PrintError(L"today-host: the screen was closed before line " +
                       std::to_wstring(command.line));
            return 1;
        }
        if (!RunCommand(command, captureDir)) {
            status = 1;
        }
        if (command.kind == SCRIPT_QUIT) {
            break;
        }
    }
    PumpPending();
    return status;
}
