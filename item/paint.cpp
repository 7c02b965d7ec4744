// The item's painting. Both handlers take everything they need from the module globals and
// the host, and release every GDI object they create before they return.
#include "item/paint.h"

#include "common/ScopedWin.h"
#include "common/text.h"
#include "item/display.h"
#include "item/module.h"
#include "item/today.h"

namespace {

// The host is asked anew for every request: the item may have been moved to another parent.
COLORREF HostColor(HWND window, WPARAM colorId) {
    return static_cast<COLORREF>(SendMessageW(GetParent(window), TODAYM_GETCOLOR, colorId, 0));
}

void DrawHostWatermark(HWND window, HDC dc, const RECT& client) {
    TODAYDRAWWATERMARKINFO info;
    info.hdc = dc;
    info.rc = client;
    info.hwnd = window;
    SendMessageW(GetParent(window), TODAYM_DRAWWATERMARK, 0, reinterpret_cast<LPARAM>(&info));
}

void FillWithHighlight(HWND window, HDC dc, const RECT& area) {
    ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(HostColor(window, TODAYCOLOR_HIGHLIGHT)));
    FillRect(dc, &area, brush.Get());
}

// The answer side is shown, highlighted, while the item is selected in phase 0.
bool ShowsAnswerSide() {
    return DisplayState.selected != 0 && DisplayState.phase == 0;
}

} // namespace

LONG ItemFontHeight(int logPixelsY, bool cjk) {
    // 9 points (9/72 inch) for CJK scripts, 8 points otherwise: -(d * k + 0.5), truncated
    // toward zero. The resolution is never negative, so this rounds the pixel count half up.
    const double fontInches = cjk ? 0.125 : 1.0 / 9;
    const double pixels = logPixelsY * fontInches + 0.5;
    // NOLINTNEXTLINE(bugprone-incorrect-roundings): truncation toward zero is the font rule
    return static_cast<LONG>(-pixels);
}

void ItemLogFont(int logPixelsY, bool cjk, LOGFONTW* logFont) {
    ZeroMemory(logFont, sizeof(*logFont));
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(LOGFONTW), logFont);
    logFont->lfWeight = cjk ? FW_NORMAL : FW_BOLD;
    logFont->lfHeight = ItemFontHeight(logPixelsY, cjk);
    // The stock font's width belongs to its own height; kept, it would squeeze or stretch
    // the text at any other. 0 asks the mapper for the natural width of the new height.
    logFont->lfWidth = 0;
}

LRESULT OnEraseBackground(HWND window, HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    if (!DisplayState.selected) {
        DrawHostWatermark(window, dc, client);
    } else if (DisplayState.phase != 0) {
        DrawHostWatermark(window, dc, client);
        RECT strip = client;
        strip.right = ITEM_STRIP_RIGHT;
        FillWithHighlight(window, dc, strip);
    } else {
        FillWithHighlight(window, dc, client);
    }
    return 1;
}

void PaintContent(HWND window, HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    DrawIconEx(dc, ITEM_ICON_X, ITEM_ICON_Y, itemIcon, 0, 0, 0, NULL, DI_NORMAL);

    LOGFONTW logFont;
    ItemLogFont(GetDeviceCaps(dc, LOGPIXELSY), IsCjkLanguage(ItemLanguage()), &logFont);
    ScopedGdiObject<HFONT> font(CreateFontIndirectW(&logFont));
    ScopedSelect selectFont(dc, font.Get());

    const COLORREF textColor = HostColor(window, TODAYCOLOR_TEXT);
    const COLORREF highlightedTextColor = HostColor(window, TODAYCOLOR_HIGHLIGHTEDTEXT);
    const bool answerSide = ShowsAnswerSide();
    SetTextColor(dc, answerSide ? highlightedTextColor : textColor);

    RECT textRect;
    GetClientRect(window, &textRect);
    textRect.left += ITEM_TEXT_LEFT;

    // With the sides swapped the question side shows the answer and the other way round.
    const Card& card = cardStore.card;
    const bool showAnswerText = answerSide != (DisplayState.swapSides != 0);
    const WCHAR* text = showAnswerText ? card.answer : card.question;
    const int length = static_cast<int>(BoundedLength(text, CARD_TEXT_UNITS));
    DrawTextW(dc, text, length, &textRect, DT_WORDBREAK);
}

LRESULT OnPaint(HWND window) {
    ScopedPaint paint(window);
    PaintContent(window, paint.Get());
    return 0;
}
