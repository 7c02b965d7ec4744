// The Today screen's own drawing: the background, the top strip with the date and time, the
// built-in rows with their glyphs, and the two soft keys; and the geometry they share with the
// driving code (the rows' places, the hit test). Everything works on the screen global.
#pragma once

#include <windows.h>

// pixels at 96 dpi in the screen's resolution.
int ScaleToScreen(int pixels);

RECT StripRect();
RECT SoftKeyRect();
RECT RowRect(int row);
// The row under y, or -1.
int RowAt(int y);
// Places the rows under the strip: an item's row is its cyp pixels high, the others one
// built-in row each.
void LayoutRows();

// The row font and the bold font (regular for Chinese, Japanese and Korean, as in the item).
void CreateScreenFonts();
void DeleteScreenFonts();

// Paints the whole screen except the item into dc (screen coordinates = client coordinates).
void PaintContent(HDC dc, const RECT& paint);
