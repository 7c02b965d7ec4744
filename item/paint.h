// The item's painting: background (WM_ERASEBKGND) and content (WM_PAINT).
#pragma once

#include <windows.h>
#include "item/language.h"

#define ITEM_ICON_X 2
#define ITEM_ICON_Y 0
#define ITEM_TEXT_LEFT 40
#define ITEM_STRIP_RIGHT 36

// WM_ERASEBKGND: draws the look's background into dc. Returns 1.
LRESULT OnEraseBackground(HWND window, HDC dc);
// WM_PAINT: BeginPaint, PaintContent, EndPaint. Returns 0.
LRESULT OnPaint(HWND window);
// Draws the icon and the side's text into dc; the font follows dc's resolution.
void PaintContent(HWND window, HDC dc);

// lfHeight of the item font for a LOGPIXELSY value.
LONG ItemFontHeight(int logPixelsY, bool cjk);
// The item font: the stock SYSTEM_FONT with the script's weight and the height for the
// resolution; its width is left to the font mapper.
void ItemLogFont(int logPixelsY, bool cjk, LOGFONTW* logFont);
