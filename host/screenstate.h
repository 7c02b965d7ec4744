// The Today screen's state: its window, its items, its rows and where they lie, the selection,
// and the theme. The functions here only read the state, or place the rows, and make no
// window call; host/todayscreen.cpp owns the one screen, and hands it to the painting and the
// selection code.
#pragma once

#include <windows.h>
#include <memory>
#include <string>
#include <vector>
#include "common/ScopedWin.h"
#include "host/background.h"
#include "host/deckstamp.h"
#include "host/itemlist.h"
#include "host/itemmodule.h"
#include "item/today.h"

// The host's theme, as TODAYM_GETCOLOR reports it.
#define HOST_COLOR_TEXT RGB(16, 24, 48)
#define HOST_COLOR_HIGHLIGHT RGB(24, 84, 196)
#define HOST_COLOR_HIGHLIGHTEDTEXT RGB(255, 255, 255)

// Screen size in pixels at 96 dpi; --vga doubles both and the resolution.
#define SCREEN_WIDTH_96 240
#define SCREEN_HEIGHT_96 320

// What a row of the screen shows. The items' rows lie between Owner and the appointments.
enum RowKind { ROW_DATE, ROW_OWNER, ROW_ITEM, ROW_APPOINTMENTS, ROW_TASKS };

struct ScreenRow {
    RowKind kind = ROW_DATE;
    int item = -1; // index into TodayScreen::items for ROW_ITEM
    int top = 0;
    int height = 0;
};

// One custom item on the screen: its module, the host's record of it, and its window.
struct TodayItem {
    ItemModule module;
    TODAYLISTITEM listItem = {};
    HWND window = nullptr;
    DWORD selectability = TODAY_SELECTABILITY_CUSTOM; // NONE: never takes the selection
    std::wstring dataFile; // the deck it reads (host/deckstamp.h), and its stamp when last seen
    DeckStamp deck;
};

// The items in the screen's order, each owning its module.
using TodayItems = std::vector<std::unique_ptr<TodayItem>>;

struct TodayScreen {
    HWND window = nullptr;
    TodayItems items; // in the screen's order
    std::vector<ScreenRow> rows;
    int dpi = 96;
    int width = SCREEN_WIDTH_96;
    int height = SCREEN_HEIGHT_96;
    int selection = -1; // index into rows, -1 for none
    Background background;
    ScopedGdiObject<HFONT> rowFont;
    ScopedGdiObject<HFONT> boldFont;
    std::wstring owner;
    int clockMinute = -1;
    // --live: every item shows a card at once, an item whose deck changed draws a new card, and
    // the screen follows the Today items list.
    bool live = false;
    // Set while a script drives the options dialog; consulted when the dialog goes idle.
    struct OptionsRun* optionsRun = nullptr;
};

// ---- the items and the rows

// True when item is an index into screen.items whose item has its window.
bool ValidItem(const TodayScreen& screen, int item);
// The item's index for a script's item number (1 = the first item on the screen), or -1.
int ItemIndex(const TodayScreen& screen, int number);
// The row of an item, or -1.
int RowOfItem(const TodayScreen& screen, int item);
// True when row is an item's row.
bool IsItemRow(const TodayScreen& screen, int row);
// The item shown in row, or nullptr for a built-in row or none.
const TodayItem* ItemOfRow(const TodayScreen& screen, int row);
// True when the item has an options dialog: its record says so and it exports ordinal 241.
bool HasOptions(const TodayScreen& screen, int item);
// The item whose dialog the options key opens: the selected item, or, with the selection on
// a built-in row or nowhere, the first item that has options. -1 for none.
int OptionsTarget(const TodayScreen& screen);

// Sets the rows from top to bottom: date, Owner, the items in their order, the appointments
// and the tasks.
void BuildRows(TodayScreen* screen);

// ---- the geometry, in the screen's pixels (client coordinates)

// pixels at 96 dpi in the screen's resolution.
int ScaleToScreen(const TodayScreen& screen, int pixels);
// The top strip with the date and time, and the soft keys at the bottom.
RECT StripRect(const TodayScreen& screen);
RECT SoftKeyRect(const TodayScreen& screen);
RECT RowRect(const TodayScreen& screen, int row);
// The row under y, or -1.
int RowAt(const TodayScreen& screen, int y);
// Places the rows under the strip: an item's row is its cyp pixels high, the others one
// built-in row each.
void LayoutRows(TodayScreen* screen);
