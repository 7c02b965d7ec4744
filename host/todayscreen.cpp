#include "host/todayscreen.h"

#include <windowsx.h>
#include "common/ScopedWin.h"
#include "host/optionsrun.h"

TodayScreen screen;

namespace {

const wchar_t SCREEN_CLASS[] = L"TollamyTodayScreen";
const UINT_PTR REFRESH_TIMER = 1;

// Layout of the host's own parts, in pixels at 96 dpi.
const int STRIP_HEIGHT = 24;
const int ROW_HEIGHT = 20;
const int SOFTKEY_HEIGHT = 26;
const int ROW_ICON_LEFT = 6;
const int ROW_ICON_SIZE = 14;
const int ROW_TEXT_LEFT = 40;
const int FONT_POINTS = 8;

const COLORREF STRIP_TOP = RGB(16, 56, 140);
const COLORREF STRIP_BOTTOM = RGB(40, 104, 200);
const COLORREF SOFTKEY_TOP = RGB(52, 72, 112);
const COLORREF SOFTKEY_BOTTOM = RGB(22, 34, 64);

ScopedHandle readyEvent;

int Scale(int pixels) {
    return MulDiv(pixels, screen.dpi, 96);
}

void VerticalGradient(HDC dc, const RECT& rc, COLORREF top, COLORREF bottom) {
    TRIVERTEX v[2] = {};
    v[0].x = rc.left;
    v[0].y = rc.top;
    v[0].Red = static_cast<COLOR16>(GetRValue(top) << 8);
    v[0].Green = static_cast<COLOR16>(GetGValue(top) << 8);
    v[0].Blue = static_cast<COLOR16>(GetBValue(top) << 8);
    v[1].x = rc.right;
    v[1].y = rc.bottom;
    v[1].Red = static_cast<COLOR16>(GetRValue(bottom) << 8);
    v[1].Green = static_cast<COLOR16>(GetGValue(bottom) << 8);
    v[1].Blue = static_cast<COLOR16>(GetBValue(bottom) << 8);
    GRADIENT_RECT g = {0, 1};
    GradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_V);
}

void FillSolid(HDC dc, const RECT& rc, COLORREF color) {
    ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(color));
    FillRect(dc, &rc, brush.Get());
}

RECT RowRect(int row) {
    RECT rc = {0, screen.rowTop[row], screen.width, screen.rowTop[row] + screen.rowHeight[row]};
    return rc;
}

RECT SoftKeyRect() {
    RECT rc = {0, screen.height - Scale(SOFTKEY_HEIGHT), screen.width, screen.height};
    return rc;
}

RECT StripRect() {
    RECT rc = {0, 0, screen.width, Scale(STRIP_HEIGHT)};
    return rc;
}

// Places the rows under the strip; the item's row is cyp pixels high.
void Layout() {
    int y = Scale(STRIP_HEIGHT);
    for (int row = 0; row < ROW_COUNT; ++row) {
        screen.rowTop[row] = y;
        screen.rowHeight[row] =
            row == ROW_ITEM ? static_cast<int>(screen.listItem.cyp) : Scale(ROW_HEIGHT);
        y += screen.rowHeight[row];
    }
    if (screen.item != nullptr) {
        SetWindowPos(screen.item, nullptr, 0, screen.rowTop[ROW_ITEM], screen.width,
                     screen.rowHeight[ROW_ITEM], SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(screen.item, nullptr, TRUE);
    }
    InvalidateRect(screen.window, nullptr, FALSE);
}

std::wstring RowText(int row) {
    WCHAR buffer[128] = L"";
    switch (row) {
    case ROW_DATE:
        GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, nullptr, nullptr, buffer, 128);
        return buffer;
    case ROW_OWNER:
        return L"Owner: " + screen.owner;
    case ROW_APPOINTMENTS:
        return L"No upcoming appointments";
    case ROW_TASKS:
        return L"No active tasks";
    default:
        return L"";
    }
}

// A small glyph for each built-in row, drawn with plain GDI shapes.
void PaintRowIcon(HDC dc, int row, const RECT& rc, bool selected) {
    int size = Scale(ROW_ICON_SIZE);
    int left = Scale(ROW_ICON_LEFT);
    int top = rc.top + (rc.bottom - rc.top - size) / 2;
    RECT box = {left, top, left + size, top + size};
    COLORREF ink = selected ? HOST_COLOR_HIGHLIGHTEDTEXT : RGB(40, 80, 150);
    ScopedGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, ink));
    ScopedSelect selectPen(dc, pen.Get());
    ScopedSelect selectBrush(dc, GetStockObject(NULL_BRUSH));
    switch (row) {
    case ROW_DATE:
    case ROW_APPOINTMENTS: {
        Rectangle(dc, box.left, box.top, box.right, box.bottom);
        RECT head = {box.left, box.top, box.right, box.top + size / 4 + 1};
        FillSolid(dc, head, row == ROW_DATE ? RGB(200, 40, 40) : ink);
        break;
    }
    case ROW_OWNER:
        Ellipse(dc, box.left + size / 4, box.top, box.right - size / 4, box.top + size / 2);
        Arc(dc, box.left, box.top + size / 2, box.right, box.bottom + size / 2, box.right,
            box.top + size * 3 / 4, box.left, box.top + size * 3 / 4);
        break;
    case ROW_TASKS:
        Rectangle(dc, box.left, box.top, box.right, box.bottom);
        MoveToEx(dc, box.left + size / 4, box.top + size / 2, nullptr);
        LineTo(dc, box.left + size / 2, box.bottom - size / 4);
        LineTo(dc, box.right - size / 5, box.top + size / 5);
        break;
    default:
        break;
    }
}

void PaintRow(HDC dc, int row) {
    RECT rc = RowRect(row);
    bool selected = screen.selection == row;
    if (selected) {
        FillSolid(dc, rc, HOST_COLOR_HIGHLIGHT);
    }
    PaintRowIcon(dc, row, rc, selected);
    SetTextColor(dc, selected ? HOST_COLOR_HIGHLIGHTEDTEXT : HOST_COLOR_TEXT);
    ScopedSelect font(dc, row == ROW_DATE ? screen.boldFont : screen.rowFont);
    RECT text = rc;
    text.left = Scale(ROW_TEXT_LEFT);
    std::wstring label = RowText(row);
    DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
}

void PaintStrip(HDC dc) {
    RECT rc = StripRect();
    VerticalGradient(dc, rc, STRIP_TOP, STRIP_BOTTOM);
    SetTextColor(dc, RGB(255, 255, 255));
    ScopedSelect font(dc, screen.boldFont);
    WCHAR date[64] = L"";
    WCHAR time[64] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, nullptr, nullptr, time, 64);
    RECT text = rc;
    text.left += Scale(6);
    text.right -= Scale(6);
    DrawTextW(dc, date, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    DrawTextW(dc, time, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
}

void PaintSoftKeys(HDC dc) {
    RECT rc = SoftKeyRect();
    VerticalGradient(dc, rc, SOFTKEY_TOP, SOFTKEY_BOTTOM);
    SetTextColor(dc, RGB(255, 255, 255));
    ScopedSelect font(dc, screen.boldFont);
    RECT left = rc;
    left.right = rc.right / 2;
    RECT right = rc;
    right.left = rc.right / 2;
    const wchar_t* options = screen.module->OptionsDialogProc() != nullptr ? L"Options\x2026" : L"";
    DrawTextW(dc, options, -1, &left, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX);
    DrawTextW(dc, L"Exit", -1, &right, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX);
    RECT divider = {rc.right / 2, rc.top + Scale(5), rc.right / 2 + 1, rc.bottom - Scale(5)};
    FillSolid(dc, divider, RGB(120, 140, 180));
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

int RowAt(int y) {
    for (int row = 0; row < ROW_COUNT; ++row) {
        if (y >= screen.rowTop[row] && y < screen.rowTop[row] + screen.rowHeight[row]) {
            return row;
        }
    }
    return -1;
}

void CreateFonts() {
    LOGFONTW lf = {};
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(lf), &lf);
    lf.lfHeight = -MulDiv(FONT_POINTS, screen.dpi, 72);
    lf.lfWidth = 0;
    lf.lfWeight = FW_NORMAL;
    lf.lfQuality = DEFAULT_QUALITY;
    screen.rowFont = CreateFontIndirectW(&lf);
    // Chinese, Japanese and Korean text stays regular, as in the item: the CJK fonts have no
    // bold faces of their own.
    LANGID language = PRIMARYLANGID(GetUserDefaultLangID());
    bool cjk = language == LANG_CHINESE || language == LANG_JAPANESE || language == LANG_KOREAN;
    lf.lfWeight = cjk ? FW_NORMAL : FW_BOLD;
    screen.boldFont = CreateFontIndirectW(&lf);
}

void DeleteFonts() {
    if (screen.rowFont != nullptr) {
        DeleteObject(screen.rowFont);
        screen.rowFont = nullptr;
    }
    if (screen.boldFont != nullptr) {
        DeleteObject(screen.boldFont);
        screen.boldFont = nullptr;
    }
}

// ---- message handlers

void OnPaint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    PaintContent(dc, ps.rcPaint);
    EndPaint(window, &ps);
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

void PaintContent(HDC dc, const RECT& paint) {
    screen.background.PaintInto(dc, paint, paint.left, paint.top);
    SetBkMode(dc, TRANSPARENT);
    PaintStrip(dc);
    for (int row = 0; row < ROW_COUNT; ++row) {
        if (row != ROW_ITEM) {
            PaintRow(dc, row);
        }
    }
    PaintSoftKeys(dc);
}

bool CreateTodayScreen(HINSTANCE instance, ItemModule* module, int dpi, std::wstring* error) {
    screen.module = module;
    screen.dpi = dpi;
    screen.width = Scale(SCREEN_WIDTH_96);
    screen.height = Scale(SCREEN_HEIGHT_96);
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
    CreateFonts();

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
    DeleteFonts();
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
    INT_PTR result = DialogBoxParamW(screen.module->Handle(), MAKEINTRESOURCEW(500), screen.window,
                                     proc, reinterpret_cast<LPARAM>(&screen.listItem));
    RefreshItem();
    return result;
}
