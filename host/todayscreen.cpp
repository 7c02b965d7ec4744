#include "host/todayscreen.h"

#include <windowsx.h>
#include "common/ScopedWin.h"
#include "host/optionsrun.h"
#include "host/screenpaint.h"
#include "resources/resource.h"

TodayScreen screen;

namespace {

const wchar_t SCREEN_CLASS[] = L"TollamyTodayScreen";
const UINT_PTR REFRESH_TIMER = 1;

ScopedHandle readyEvent;

// Lays the rows out and moves the item window onto its row.
void Layout() {
    LayoutRows();
    if (screen.item != nullptr) {
        SetWindowPos(screen.item, nullptr, 0, screen.rowTop[ROW_ITEM], screen.width,
                     screen.rowHeight[ROW_ITEM], SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(screen.item, nullptr, TRUE);
    }
    InvalidateRect(screen.window, nullptr, FALSE);
}

// Sends WM_TODAYCUSTOM_RECEIVEDSELECTION. The item does not repaint itself for it, so the
// host repaints the item in its selected look when it takes the selection.
bool OfferSelection() {
    if (SendMessageW(screen.item, WM_TODAYCUSTOM_RECEIVEDSELECTION, 0, 0) == 0) {
        return false;
    }
    InvalidateRect(screen.item, nullptr, TRUE);
    return true;
}

// Moves the selection to row, telling the item when it gains or loses it. An item that
// declines the selection is passed over in the direction of travel.
void MoveSelection(int row, int direction) {
    if (row < 0 || row >= ROW_COUNT || row == screen.selection) {
        return;
    }
    int old = screen.selection;
    if (old == ROW_ITEM) {
        screen.selection = row;
        SendMessageW(screen.item, WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
    }
    screen.selection = row;
    if (row == ROW_ITEM && !OfferSelection()) {
        screen.selection = old == ROW_ITEM ? -1 : old;
        int next = row + (direction != 0 ? direction : 1);
        if (next >= 0 && next < ROW_COUNT) {
            MoveSelection(next, direction);
        }
    }
    InvalidateRect(screen.window, nullptr, FALSE);
}

// ---- message handlers

void OnPaint(HWND window) {
    ScopedPaint paint(window);
    PaintContent(paint.Get(), paint.Area());
}

void OnTimer(HWND window, UINT_PTR id) {
    if (id != REFRESH_TIMER) {
        return;
    }
    RefreshItem();
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (now.wMinute != screen.clockMinute) {
        screen.clockMinute = now.wMinute;
        RECT strip = StripRect();
        InvalidateRect(window, &strip, FALSE);
    }
}

void OnKeyDown(HWND window, UINT key) {
    switch (key) {
    case VK_UP:
        MoveSelection(screen.selection < 0 ? ROW_COUNT - 1 : screen.selection - 1, -1);
        break;
    case VK_DOWN:
        MoveSelection(screen.selection < 0 ? 0 : screen.selection + 1, 1);
        break;
    case VK_RETURN:
        if (screen.selection == ROW_ITEM) {
            ActOnItem();
        }
        break;
    case VK_F1: // the left soft key
        ShowItemOptions();
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
    RECT keys = SoftKeyRect();
    if (y >= keys.top) {
        if (x < screen.width / 2) {
            ShowItemOptions();
        } else {
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return;
    }
    int row = RowAt(y);
    if (row >= 0) {
        MoveSelection(row, row > screen.selection ? 1 : -1);
    }
}

// A click on the item window reaches the host as WM_PARENTNOTIFY: the first click selects
// the item, a click on the selected item is its action.
void OnParentNotify(UINT event, int x, int y) {
    (void)x;
    if (event != WM_LBUTTONDOWN || screen.item == nullptr) {
        return;
    }
    if (RowAt(y) != ROW_ITEM) {
        return;
    }
    if (screen.selection == ROW_ITEM) {
        ActOnItem();
    } else {
        MoveSelection(ROW_ITEM, ROW_ITEM > screen.selection ? 1 : -1);
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
    HWND from = IsWindow(info->hwnd) ? info->hwnd : screen.item;
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

bool CreateTodayScreen(HINSTANCE instance, ItemModule* module, int dpi, std::wstring* error) {
    screen.module = module;
    screen.dpi = dpi;
    screen.width = ScaleToScreen(SCREEN_WIDTH_96);
    screen.height = ScaleToScreen(SCREEN_HEIGHT_96);
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
    CreateScreenFonts();

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
    Layout();
    ShowWindow(screen.window, SW_SHOWNORMAL);
    UpdateWindow(screen.window);

    // The host's record of the item, as the shell keeps it for a custom item.
    lstrcpynW(screen.listItem.szName, L"Tollamy", 32);
    screen.listItem.tlit = tlitCustom;
    screen.listItem.fEnabled = TRUE;
    screen.listItem.fOptions = module->OptionsDialogProc() != nullptr;
    lstrcpynW(screen.listItem.szDLLPath, module->Path().c_str(), MAX_PATH);
    screen.listItem.hinstDLL = module->Handle();

    screen.item = module->InitializeCustomItem()(&screen.listItem, screen.window);
    if (screen.item == nullptr) {
        *error = L"the item module " + module->Path() + L" created no item window";
        return false;
    }
    screen.listItem.hwndCustom = screen.item;

    // Ready: items may now ask for the shell's services, and are asked for their height.
    readyEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, TODAY_SHELL_READY_EVENT));
    SetEvent(readyEvent.Get());
    RefreshItem();
    Layout();
    SetTimer(screen.window, REFRESH_TIMER, REFRESH_INTERVAL_MS, nullptr);
    return true;
}

void CloseTodayScreen() {
    if (screen.window == nullptr) {
        return;
    }
    KillTimer(screen.window, REFRESH_TIMER);
    if (screen.item != nullptr) {
        DestroyWindow(screen.item);
        screen.item = nullptr;
        screen.listItem.hwndCustom = nullptr;
    }
    HWND window = screen.window;
    DestroyWindow(window);
    screen.window = nullptr;
    DeleteScreenFonts();
    screen.background.Destroy();
    readyEvent.Close();
}

LRESULT SelectItem() {
    if (screen.selection == ROW_ITEM) {
        // Selected again: the item restarts its cycle, as on the device.
        return OfferSelection() ? 1 : 0;
    }
    MoveSelection(ROW_ITEM, 1);
    return screen.selection == ROW_ITEM ? 1 : 0;
}

LRESULT LeaveItem(bool* notSelected) {
    *notSelected = screen.selection != ROW_ITEM;
    if (*notSelected) {
        return 0;
    }
    screen.selection = ROW_ITEM + 1;
    LRESULT result = SendMessageW(screen.item, WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
    InvalidateRect(screen.window, nullptr, FALSE);
    return result;
}

LRESULT ActOnItem() {
    return SendMessageW(screen.item, WM_TODAYCUSTOM_ACTION, 0, 0);
}

LRESULT RefreshItem() {
    if (screen.item == nullptr) {
        return 0;
    }
    LRESULT result = SendMessageW(screen.item, WM_TODAYCUSTOM_QUERYREFRESHCACHE,
                                  reinterpret_cast<WPARAM>(&screen.listItem), 0);
    if (result != 0) {
        Layout();
    }
    return result;
}

INT_PTR ShowItemOptions() {
    PFNCUSTOMITEMOPTIONSDLGPROC proc = screen.module->OptionsDialogProc();
    if (proc == nullptr || screen.window == nullptr) {
        return -1;
    }
    INT_PTR result =
        DialogBoxParamW(screen.module->Handle(), MAKEINTRESOURCEW(IDD_OPTIONS), screen.window, proc,
                        reinterpret_cast<LPARAM>(&screen.listItem));
    RefreshItem();
    return result;
}
