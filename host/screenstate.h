// The Today screen: a top strip with the date and time, the host's own rows, the items among
// them, and two soft keys. This part drives the items: it owns each item's TODAYLISTITEM,
// answers the items' colour and watermark requests, asks every item for its height every
// 2 seconds and moves the selection through all rows. host/screenpaint.h draws the screen's
// own parts.
#pragma once

#include <windows.h>
#include <memory>
#include <string>
#include <vector>
#include "common/ScopedWin.h"
#include "host/background.h"
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

// Interval of the height query, as on the device.
#define REFRESH_INTERVAL_MS 2000

// What a row of the screen shows. The items' rows lie between Owner and the appointments.
enum RowKind { ROW_DATE, ROW_OWNER, ROW_ITEM, ROW_APPOINTMENTS, ROW_TASKS };

struct ScreenRow {
    RowKind kind = ROW_DATE;
    int item = -1; // index into screen.items for ROW_ITEM
    int top = 0;
    int height = 0;
};

// One custom item on the screen: its module, the host's record of it, and its window.
struct TodayItem {
    ItemModule module;
    TODAYLISTITEM listItem = {};
    HWND window = nullptr;
    DWORD selectability = 2; // 0: never takes the selection
};

struct TodayScreen {
    HWND window = nullptr;
    std::vector<std::unique_ptr<TodayItem>> items; // in the screen's order
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
    // Set while a script drives the options dialog; consulted when the dialog goes idle.
    struct OptionsRun* optionsRun = nullptr;
};

extern TodayScreen screen;

// Registers the class, creates and shows the screen window, calls InitializeCustomItem of
// each loaded item in screen.items, sets the readiness event and lays the items out with
// their first height reports. An item that creates no window is dropped with a message on
// stderr. False with a message in error if the window or no item window at all can be created.
bool CreateTodayScreen(HINSTANCE instance, int dpi, std::wstring* error);
// Destroys the item windows, then the screen window. The modules stay loaded.
void CloseTodayScreen();
// Frees the items' modules; after CloseTodayScreen.
void ReleaseTodayItems();

// The item's index for a script's item number (1 = the first item on the screen), or -1.
int ItemIndex(int number);
// The row of an item, or -1.
int RowOfItem(int item);

// Selection onto the item: WM_TODAYCUSTOM_RECEIVEDSELECTION; the item's answer.
LRESULT SelectItem(int item);
// Selection off the item (to the next row): WM_TODAYCUSTOM_LOSTSELECTION; the item's answer.
// notSelected is set when the item did not have the selection and nothing was sent.
LRESULT LeaveItem(int item, bool* notSelected);
// WM_TODAYCUSTOM_ACTION; the item's answer.
LRESULT ActOnItem(int item);
// WM_TODAYCUSTOM_QUERYREFRESHCACHE; on TRUE the rows are laid out again.
LRESULT RefreshItem(int item);
// True when the item has an options dialog: its record says so and it exports ordinal 241.
bool HasOptions(int item);
// The item whose dialog the options key opens: the selected item, or, with the selection on
// a built-in row or nowhere, the first item that has options. -1 for none.
int OptionsTarget();
// Opens the item's options dialog modally. Returns DialogBoxParamW's result, or -1 when the
// item has no options dialog. The item's height is queried right after the dialog closes.
INT_PTR ShowItemOptions(int item);
