#include "host/todayscreen.h"

#include <windowsx.h>
#include "common/ScopedWin.h"
#include "host/itemload.h"
#include "host/listwatch.h"
#include "host/optionsrun.h"
#include "host/output.h"
#include "host/screenitems.h"
#include "host/screenpaint.h"
#include "host/selection.h"
#include "resources/resource.h"

namespace {

// The host's one Today screen. Only this file changes it, itself or through the painting and
// selection functions that it hands the screen to.
TodayScreen screen;

const wchar_t SCREEN_CLASS[] = L"TollamyTodayScreen";
const UINT_PTR REFRESH_TIMER = 1;

ScopedHandle readyEvent;
ItemListWatch listWatch;
// The user's own list beside the machine's (host/itemlist.h).
ItemListWatch userListWatch;

// Lays the rows out and moves each item window onto its row.
void Layout() {
    LayoutRows(&screen);
    for (const ScreenRow& row : screen.rows) {
        if (row.kind != ROW_ITEM) {
            continue;
        }
        HWND item = screen.items[row.item]->window;
        SetWindowPos(item, nullptr, 0, row.top, screen.width, row.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(item, nullptr, TRUE);
    }
    InvalidateRect(screen.window, nullptr, FALSE);
}

// Reads the Today items list again and takes it onto the screen, and asks every item for its
// height (a new one reports its own); DrawNewCards then draws the new items' first cards. A
// list from which no item loads leaves the screen as it is.
void TakeListAgain() {
    TodayItems fresh;
    std::wstring error;
    if (!LoadTodayItems(L"", &fresh, &error)) {
        PrintError(L"today-host: " + error + L"; the screen stays as it was");
        return;
    }
    TakeItemList(&screen, std::move(fresh));
    for (size_t i = 0; i < screen.items.size(); ++i) {
        RefreshItem(static_cast<int>(i));
    }
    Layout();
}

// ---- message handlers

void OnPaint(HWND window) {
    ScopedPaint paint(window);
    PaintContent(screen, paint.Get(), paint.Area());
}

void OnTimer(HWND window, UINT_PTR id) {
    if (id != REFRESH_TIMER) {
        return;
    }
    for (size_t i = 0; i < screen.items.size(); ++i) {
        RefreshItem(static_cast<int>(i));
    }
    if (screen.live) {
        // Both are asked, so that each goes on watching.
        const bool machine = listWatch.Changed();
        if (userListWatch.Changed() || machine) {
            TakeListAgain();
        }
        DrawNewCards(&screen, true);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (now.wMinute != screen.clockMinute) {
        screen.clockMinute = now.wMinute;
        RECT strip = StripRect(screen);
        InvalidateRect(window, &strip, FALSE);
    }
}

void OnKeyDown(HWND window, UINT key) {
    const int rowCount = static_cast<int>(screen.rows.size());
    switch (key) {
    case VK_UP:
        MoveSelection(&screen, screen.selection < 0 ? rowCount - 1 : screen.selection - 1, -1);
        break;
    case VK_DOWN:
        MoveSelection(&screen, screen.selection < 0 ? 0 : screen.selection + 1, 1);
        break;
    case VK_RETURN:
        if (IsItemRow(screen, screen.selection)) {
            ActOnItem(screen.rows[screen.selection].item);
        }
        break;
    case VK_F1: // the left soft key
        ShowItemOptions(OptionsTarget(screen), nullptr);
        break;
    case VK_F2: // the right soft key
    case VK_ESCAPE:
        PostMessageW(window, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void OnLButtonDown(HWND window, int x, int y) {
    RECT keys = SoftKeyRect(screen);
    if (y >= keys.top) {
        if (x < screen.width / 2) {
            ShowItemOptions(OptionsTarget(screen), nullptr);
        } else {
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return;
    }
    int row = RowAt(screen, y);
    if (row >= 0) {
        MoveSelection(&screen, row, row > screen.selection ? 1 : -1);
    }
}

// A click on an item window reaches the host as WM_PARENTNOTIFY: the first click selects
// the item, a click on the selected item is its action.
void OnParentNotify(UINT event, int x, int y) {
    (void)x;
    if (event != WM_LBUTTONDOWN) {
        return;
    }
    int row = RowAt(screen, y);
    if (!IsItemRow(screen, row)) {
        return;
    }
    if (screen.selection == row) {
        ActOnItem(screen.rows[row].item);
    } else {
        MoveSelection(&screen, row, row > screen.selection ? 1 : -1);
    }
}

LRESULT OnGetColor(WPARAM which) {
    switch (which) {
    case TODAYCOLOR_TEXT:
        return HOST_COLOR_TEXT;
    case TODAYCOLOR_HIGHLIGHT:
        return HOST_COLOR_HIGHLIGHT;
    case TODAYCOLOR_HIGHLIGHTEDTEXT:
        return HOST_COLOR_HIGHLIGHTEDTEXT;
    default:
        return HOST_COLOR_TEXT;
    }
}

// Paints the part of the background that lies under rc of the asking window.
LRESULT OnDrawWatermark(HWND window, const TODAYDRAWWATERMARKINFO* info) {
    if (info == nullptr || info->hdc == nullptr) {
        return FALSE;
    }
    HWND from = IsWindow(info->hwnd) ? info->hwnd : nullptr;
    if (from == nullptr && !screen.items.empty()) {
        from = screen.items[0]->window;
    }
    POINT origin = {info->rc.left, info->rc.top};
    if (from != nullptr) {
        MapWindowPoints(from, window, &origin, 1);
    }
    screen.background.PaintInto(info->hdc, info->rc, origin.x, origin.y);
    return TRUE;
}

void OnEnterIdle(WPARAM kind, LPARAM dialog) {
    if (kind == MSGF_DIALOGBOX && screen.optionsRun != nullptr) {
        DriveOptionsDialog(screen.optionsRun, reinterpret_cast<HWND>(dialog));
    }
}

LRESULT CALLBACK ScreenWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1; // PaintContent covers everything
    case WM_TIMER:
        OnTimer(window, wParam);
        return 0;
    case WM_KEYDOWN:
        OnKeyDown(window, static_cast<UINT>(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_PARENTNOTIFY:
        OnParentNotify(LOWORD(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_ENTERIDLE:
        OnEnterIdle(wParam, lParam);
        return 0;
    case TODAYM_GETCOLOR:
        return OnGetColor(wParam);
    case TODAYM_DRAWWATERMARK:
        return OnDrawWatermark(window, reinterpret_cast<TODAYDRAWWATERMARKINFO*>(lParam));
    case WM_CLOSE:
        CloseTodayScreen();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

bool CreateTodayScreen(HINSTANCE instance, int dpi, TodayItems items, bool live, bool followList,
                       std::wstring* error) {
    screen.items = std::move(items);
    screen.dpi = dpi;
    screen.live = live;
    screen.width = ScaleToScreen(screen, SCREEN_WIDTH_96);
    screen.height = ScaleToScreen(screen, SCREEN_HEIGHT_96);
    WCHAR user[256];
    DWORD userLength = 256;
    screen.owner = GetUserNameW(user, &userLength) ? user : L"";

    WNDCLASSW wc = {};
    wc.lpfnWndProc = ScreenWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = SCREEN_CLASS;
    RegisterClassW(&wc);

    if (!screen.background.Create(screen.width, screen.height)) {
        *error = L"cannot draw the screen's background";
        return false;
    }
    CreateScreenFonts(&screen);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame = {0, 0, screen.width, screen.height};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    screen.window =
        CreateWindowExW(0, SCREEN_CLASS, L"Today", style, 0, 0, frame.right - frame.left,
                        frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (screen.window == nullptr) {
        *error = L"cannot create the Today screen window: " + SystemMessage(GetLastError());
        return false;
    }
    BuildRows(&screen);
    Layout();
    ShowWindow(screen.window, SW_SHOWNORMAL);
    UpdateWindow(screen.window);

    const std::wstring onlyPath = screen.items.size() == 1 ? screen.items[0]->module.Path() : L"";
    if (live && followList) {
        // From here on a change of the list is seen; the items were read from it just before.
        listWatch.Start(HKEY_LOCAL_MACHINE, TODAY_ITEMS_KEY);
        // The user's list is watched even while it is empty: it is made for that.
        ScopedKey user;
        RegCreateKeyExW(HKEY_CURRENT_USER, TODAY_ITEMS_KEY, 0, nullptr, 0, KEY_READ, nullptr,
                        user.Receive(), nullptr);
        userListWatch.Start(HKEY_CURRENT_USER, TODAY_ITEMS_KEY);
    }
    CreateItemWindows(&screen);
    if (screen.items.empty()) {
        *error = !onlyPath.empty() ? L"the item module " + onlyPath + L" created no item window"
                                   : L"none of the items created an item window";
        return false;
    }
    BuildRows(&screen);

    // Ready: items may now ask for the shell's services, and are asked for their height.
    readyEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, TODAY_SHELL_READY_EVENT));
    SetEvent(readyEvent.Get());
    for (size_t i = 0; i < screen.items.size(); ++i) {
        RefreshItem(static_cast<int>(i));
    }
    Layout();
    if (live) {
        DrawNewCards(&screen, false);
    }
    SetTimer(screen.window, REFRESH_TIMER, REFRESH_INTERVAL_MS, nullptr);
    return true;
}

void CloseTodayScreen() {
    if (screen.window == nullptr) {
        return;
    }
    KillTimer(screen.window, REFRESH_TIMER);
    listWatch.Stop();
    userListWatch.Stop();
    for (std::unique_ptr<TodayItem>& item : screen.items) {
        if (item->window != nullptr) {
            DestroyWindow(item->window);
            item->window = nullptr;
            item->listItem.hwndCustom = nullptr;
        }
    }
    HWND window = screen.window;
    DestroyWindow(window);
    screen.window = nullptr;
    DeleteScreenFonts(&screen);
    screen.background.Destroy();
    readyEvent.Close();
}

void ReleaseTodayItems() {
    screen.items.clear();
    screen.rows.clear();
    screen.selection = -1;
}

const TodayScreen& CurrentScreen() {
    return screen;
}

LRESULT SelectItem(int item) {
    return SelectItem(&screen, item);
}

LRESULT LeaveItem(int item, bool* notSelected) {
    return LeaveItem(&screen, item, notSelected);
}

LRESULT ActOnItem(int item) {
    if (!ValidItem(screen, item)) {
        return 0;
    }
    return SendMessageW(screen.items[item]->window, WM_TODAYCUSTOM_ACTION, 0, 0);
}

LRESULT RefreshItem(int item) {
    if (!ValidItem(screen, item)) {
        return 0;
    }
    TodayItem* target = screen.items[item].get();
    LRESULT result = SendMessageW(target->window, WM_TODAYCUSTOM_QUERYREFRESHCACHE,
                                  reinterpret_cast<WPARAM>(&target->listItem), 0);
    if (result != 0) {
        Layout();
    }
    return result;
}

INT_PTR ShowItemOptions(int item, OptionsRun* run) {
    if (!HasOptions(screen, item) || screen.window == nullptr) {
        return -1;
    }
    TodayItem* target = screen.items[item].get();
    screen.optionsRun = run;
    INT_PTR result = DialogBoxParamW(target->module.Handle(), MAKEINTRESOURCEW(IDD_OPTIONS),
                                     screen.window, target->module.OptionsDialogProc(),
                                     reinterpret_cast<LPARAM>(&target->listItem));
    RefreshItem(item);
    screen.optionsRun = nullptr;
    return result;
}
