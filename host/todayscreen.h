// The Today screen: a top strip with the date and time, the host's own rows, the item among
// them, and two soft keys. This part drives the item: it owns the item's TODAYLISTITEM,
// answers the item's colour and watermark requests, asks the item for its height every
// 2 seconds and moves the selection. host/screenpaint.h draws the screen's own parts.
#pragma once

#include <windows.h>
#include <string>
#include "common/ScopedWin.h"
#include "host/background.h"
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

enum RowKind { ROW_DATE, ROW_OWNER, ROW_ITEM, ROW_APPOINTMENTS, ROW_TASKS, ROW_COUNT };

struct TodayScreen {
    HWND window = nullptr;
    HWND item = nullptr;
    TODAYLISTITEM listItem = {};
    ItemModule* module = nullptr;
    int dpi = 96;
    int width = SCREEN_WIDTH_96;
    int height = SCREEN_HEIGHT_96;
    int selection = -1; // index into RowKind, -1 for none
    int rowTop[ROW_COUNT] = {};
    int rowHeight[ROW_COUNT] = {};
    Background background;
    ScopedGdiObject<HFONT> rowFont;
    ScopedGdiObject<HFONT> boldFont;
    std::wstring owner;
    int clockMinute = -1;
    // Set while a script drives the options dialog; consulted when the dialog goes idle.
    struct OptionsRun* optionsRun = nullptr;
};

extern TodayScreen screen;

// Registers the class, creates and shows the screen window, calls InitializeCustomItem, sets
// the readiness event and lays the item out with its first height report. False with a
// message in error if the window or the item cannot be created.
bool CreateTodayScreen(HINSTANCE instance, ItemModule* module, int dpi, std::wstring* error);
// Destroys the item window, then the screen window.
void CloseTodayScreen();

// Selection on the item: WM_TODAYCUSTOM_RECEIVEDSELECTION; the item's answer.
LRESULT SelectItem();
// Selection off the item (to the next row): WM_TODAYCUSTOM_LOSTSELECTION; the item's answer.
// notSelected is set when the item did not have the selection and nothing was sent.
LRESULT LeaveItem(bool* notSelected);
// WM_TODAYCUSTOM_ACTION; the item's answer.
LRESULT ActOnItem();
// WM_TODAYCUSTOM_QUERYREFRESHCACHE; on TRUE the item is laid out again at cyp.
LRESULT RefreshItem();
// Opens the item's options dialog modally. Returns DialogBoxParamW's result, or -1 when the
// item has no options dialog. The height is queried right after the dialog closes.
INT_PTR ShowItemOptions();
