#include "options/dialog_driver.h"
#include "resources/resource.h"
#include "support/programfolder.h"

namespace {

const WCHAR OWNER_CLASS[] = L"TollamyTestOwner";

struct DriverState {
    HWND owner;
    const DialogScript* script;
    UINT_PTR timer;
    UINT_PTR watchdog;
    HWND dialog;
    bool found;
};

// How long a dialog may stay open after its script before the driver ends it.
const UINT WATCHDOG_MS = 200;
DriverState* driver;

struct OwnedSearch {
    HWND owner;
    HWND dialog;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM lParam) {
    OwnedSearch* search = reinterpret_cast<OwnedSearch*>(lParam);
    WCHAR className[16] = L"";
    GetClassNameW(window, className, 16);
    if (GetWindow(window, GW_OWNER) == search->owner && lstrcmpW(className, L"#32770") == 0) {
        search->dialog = window;
        return FALSE;
    }
    return TRUE;
}

// A dialog that its script ended is gone by now; one that is still there was left open.
void CALLBACK OnWatchdog(HWND, UINT, UINT_PTR, DWORD) {
    if (driver == nullptr) {
        return;
    }
    KillTimer(nullptr, driver->watchdog);
    if (IsWindow(driver->dialog)) {
        EndDialog(driver->dialog, DIALOG_LEFT_OPEN);
    }
}

void CALLBACK OnDriverTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (driver == nullptr || driver->found) {
        return;
    }
    OwnedSearch search = {driver->owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
    if (search.dialog == nullptr) {
        return;
    }
    driver->found = true;
    driver->dialog = search.dialog;
    KillTimer(nullptr, driver->timer);
    (*driver->script)(search.dialog);
    driver->watchdog = SetTimer(nullptr, 0, WATCHDOG_MS, OnWatchdog);
}

} // namespace

HMODULE TollamyModule() {
    static HMODULE module = LoadLibraryW((ProgramFolder() + L"\\Tollamy.dll").c_str());
    return module;
}

OwnerWindow::OwnerWindow(int x, int y, int width, int height) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = OWNER_CLASS;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc); // fails harmlessly when already registered
    window_ = CreateWindowExW(0, OWNER_CLASS, L"Today", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                              width, height, nullptr, nullptr, wc.hInstance, nullptr);
}

OwnerWindow::~OwnerWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

INT_PTR RunOptionsDialog(HWND owner, DLGPROC proc, LPARAM item, const DialogScript& script,
                         bool* found) {
    DriverState state = {owner, &script, 0, 0, nullptr, false};
    driver = &state;
    state.timer = SetTimer(nullptr, 0, 10, OnDriverTimer);
    INT_PTR result =
        DialogBoxParamW(TollamyModule(), MAKEINTRESOURCEW(IDD_OPTIONS), owner, proc, item);
    KillTimer(nullptr, state.timer);
    if (state.watchdog != 0) {
        KillTimer(nullptr, state.watchdog);
    }
    driver = nullptr;
    if (found != nullptr) {
        *found = state.found;
    }
    return result;
}

std::wstring ControlText(HWND dialog, int id) {
    WCHAR text[256] = L"";
    GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

void SetControlText(HWND dialog, int id, const WCHAR* text) {
    SetDlgItemTextW(dialog, id, text);
}

void PumpDialogMessages(HWND dialog) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}
