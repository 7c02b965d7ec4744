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

// Paints the screen's own parts that meet `paint` into dc (screen coordinates = client
// coordinates); the items paint their own windows.
void PaintContent(HDC dc, const RECT& paint);

// What the selection shows on the screen's own parts: its row, and whether the left soft key
// is labelled (it is when the key would open an options dialog).
struct SelectionLook {
    int row;
    bool optionsLabel;
};
SelectionLook CurrentSelectionLook();
// Paints again what changed since `before`: the row that lost the highlight and the one that
// gained it (an item's row is its own window, which repaints itself), and the soft keys when
// their label changed. Nothing else on the screen depends on the selection.
void ShowSelectionChange(const SelectionLook& before);
