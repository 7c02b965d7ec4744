// The item window procedure: the display cycle over the host's messages, the height report
// and the action request. All of its state is DisplayState.
#include "item/itemwnd.h"

#include "cardstore/cardstore.h"
#include "common/ScopedWin.h"
#include "common/platform.h"
#include "item/display.h"
#include "item/module.h"
#include "item/paint.h"
#include "item/today.h"
#include "settings/settings.h"

namespace {

// How many extra numbers the repeat guard may draw for one card.
const int REPEAT_GUARD_REDRAWS = 9;

RandomSource randomSource = PlatformRandom;

void Invalidate(HWND window) {
    InvalidateRect(window, NULL, TRUE);
}

void StartDisplayTimer(HWND window, LONG interval) {
    DisplayState.timerId = SetTimer(window, DISPLAY_TIMER_ID, static_cast<UINT>(interval), NULL);
}

// The shell is ready once it has set its named event. An event that does not exist yet
// means the shell has not come up either.
bool ShellIsReady() {
    ScopedHandle ready(OpenEventW(SYNCHRONIZE, FALSE, TODAY_SHELL_READY_EVENT));
    if (!ready.Valid()) {
        return false;
    }
    return WaitForSingleObject(ready.Get(), 0) == WAIT_OBJECT_0;
}

LRESULT OnQueryRefreshCache(WPARAM wParam) {
    TODAYLISTITEM* item = reinterpret_cast<TODAYLISTITEM*>(wParam);
    if (item == NULL || !ShellIsReady()) {
        return 0;
    }
    if (item->cyp != 0 && (item->grfFlags & TODAY_GRF_REFRESH_HEIGHT) == 0) {
        return 0;
    }
    item->grfFlags &= ~static_cast<DWORD>(TODAY_GRF_REFRESH_HEIGHT);
    item->cyp = static_cast<DWORD>(Settings.Height);
    return 1;
}

LRESULT OnReceivedSelection(HWND window) {
    DisplayState.selected = 1;
    DisplayState.phase = 0;
    StartDisplayTimer(window, Settings.TimeOut1st);
    return 1;
}

// Draws a new card: a number below the card count, drawn again while it repeats the last
// card (at most nine times), then a second number that decides whether the sides swap.
// Only a failed count (-1) and an empty one (0) draw nothing. A damaged index whose stamp
// matches may hold a negative count: the truncating remainder of r >= 0 then still lies in
// 0 .. |count| - 1, and LoadCard finds the number outside the index and rebuilds it, so the
// index heals on this loss instead of leaving the item blank until the deck changes.
void DrawNewCard() {
    const LONG count = cardStore.GetCardCount();
    if (count == -1 || count == 0) {
        return;
    }
    LONG n = NextRandom() % count;
    for (int redraw = 0; redraw < REPEAT_GUARD_REDRAWS && n == DisplayState.lastCardIndex;
         ++redraw) {
        n = NextRandom() % count;
    }
    cardStore.LoadCard(n);
    DisplayState.lastCardIndex = n;
    const LONG swapDraw = NextRandom();
    DisplayState.swapSides = (Settings.ExchangeQA != 0 && swapDraw % 10 < 5) ? 1 : 0;
}

LRESULT OnLostSelection(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DisplayState.selected = 0;
    if (DisplayState.timerId != 0) {
        KillTimer(window, DISPLAY_TIMER_ID);
        DisplayState.timerId = 0;
    }
    DrawNewCard();
    Invalidate(window);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT OnAction(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SHELLEXECUTEINFOW info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = NULL;
    info.lpVerb = L"open";
    info.lpFile = dataFilePath;
    info.lpParameters = L"";
    info.lpDirectory = L"";
    info.nShow = SW_SHOW;
    info.hInstApp = moduleInstance;
    PlatformShellExecute(&info);
    return DefWindowProcW(window, message, wParam, lParam);
}

// Turns the card: the question side for TimeOutLong, then the answer side for TimeOutShort.
// The timer's identifier and the selection are not examined.
LRESULT OnTimer(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DisplayState.phase += 1;
    if (DisplayState.phase == 1) {
        KillTimer(window, DISPLAY_TIMER_ID);
        StartDisplayTimer(window, Settings.TimeOutLong);
    } else if (DisplayState.phase == 2) {
        KillTimer(window, DISPLAY_TIMER_ID);
        StartDisplayTimer(window, Settings.TimeOutShort);
        DisplayState.phase = 0;
    }
    Invalidate(window);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT OnDestroy() {
    return 0;
}

} // namespace

void SetRandomSource(RandomSource source) {
    randomSource = source != NULL ? source : PlatformRandom;
}

LONG NextRandom() {
    return randomSource();
}

LRESULT CALLBACK ItemWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TODAYCUSTOM_QUERYREFRESHCACHE:
        return OnQueryRefreshCache(wParam);
    case WM_TODAYCUSTOM_RECEIVEDSELECTION:
        return OnReceivedSelection(window);
    case WM_TODAYCUSTOM_LOSTSELECTION:
        return OnLostSelection(window, message, wParam, lParam);
    case WM_TODAYCUSTOM_ACTION:
        return OnAction(window, message, wParam, lParam);
    case WM_TIMER:
        return OnTimer(window, message, wParam, lParam);
    case WM_PAINT:
        return OnPaint(window);
    case WM_ERASEBKGND:
        return OnEraseBackground(window, reinterpret_cast<HDC>(wParam));
    case WM_DESTROY:
        return OnDestroy();
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
