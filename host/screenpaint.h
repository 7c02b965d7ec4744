// The Today screen's own drawing: the background, the top strip with the date and time, the
// built-in rows with their glyphs, and the two soft keys, and the fonts they are drawn in.
// Everything draws the screen it is given; the items paint their own windows.
#pragma once

#include <windows.h>
#include "host/screenstate.h"

// The row font and the bold font (regular for Chinese, Japanese and Korean, as in the item).
void CreateScreenFonts(TodayScreen* screen);
void DeleteScreenFonts(TodayScreen* screen);

// Paints the screen's own parts that meet `paint` into dc (screen coordinates = client
// coordinates); the items paint their own windows.
void PaintContent(const TodayScreen& screen, HDC dc, const RECT& paint);

// What the selection shows on the screen's own parts: its row, and whether the left soft key
// is labelled (it is when the key would open an options dialog).
struct SelectionLook {
    int row;
    bool optionsLabel;
};
SelectionLook CurrentSelectionLook(const TodayScreen& screen);
// Paints again what changed since `before`: the row that lost the highlight and the one that
// gained it (an item's row is its own window, which repaints itself), and the soft keys when
// their label changed. Nothing else on the screen depends on the selection.
void ShowSelectionChange(const TodayScreen& screen, const SelectionLook& before);
