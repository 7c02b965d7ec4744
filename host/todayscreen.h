// The Today screen: a top strip with the date and time, the host's own rows, the items among
// them, and two soft keys. This part owns the screen's state (host/screenstate.h) and drives
// the items: it creates their windows, answers their colour and watermark requests, asks every
// item for its height every 2 seconds, and passes keys and clicks on to the selection
// (host/selection.h) and its window's painting to host/screenpaint.h.
#pragma once

#include <windows.h>
#include <string>
#include "host/screenstate.h"

struct OptionsRun;

// Interval of the height query, as on the device.
#define REFRESH_INTERVAL_MS 2000

// Takes the loaded items (host/itemload.h) onto the screen, registers the class, creates and
// shows the screen window, calls InitializeCustomItem of each item, sets the readiness event
// and lays the items out with their first height reports. An item that creates no window is
// dropped with a message on stderr. False with a message in error if the window or no item
// window at all can be created; the items stay on the screen until ReleaseTodayItems.
// With live set (--live), every item draws a card once the items are laid out; later, on the
// refresh timer, an item whose deck has changed draws a new card while it does not have the
// selection, and with followList the screen takes the Today items list again whenever it
// changes (host/screenitems.h).
bool CreateTodayScreen(HINSTANCE instance, int dpi, TodayItems items, bool live, bool followList,
                       std::wstring* error);
// Destroys the item windows, then the screen window. The modules stay loaded.
void CloseTodayScreen();
// Frees the items' modules; after CloseTodayScreen.
void ReleaseTodayItems();

// The screen as it stands, to read; it changes only through the functions here.
const TodayScreen& CurrentScreen();

// Selection onto the item: WM_TODAYCUSTOM_RECEIVEDSELECTION; the item's answer.
LRESULT SelectItem(int item);
// Selection off the item (to the next row): WM_TODAYCUSTOM_LOSTSELECTION; the item's answer.
// notSelected is set when the item did not have the selection and nothing was sent.
LRESULT LeaveItem(int item, bool* notSelected);
// WM_TODAYCUSTOM_ACTION; the item's answer.
LRESULT ActOnItem(int item);
// WM_TODAYCUSTOM_QUERYREFRESHCACHE; on TRUE the rows are laid out again.
LRESULT RefreshItem(int item);
// Opens the item's options dialog modally. Returns DialogBoxParamW's result, or -1 when the
// item has no options dialog. The item's height is queried right after the dialog closes.
// run, when not nullptr, drives the dialog as a script says (host/optionsrun.h) while it is
// open.
INT_PTR ShowItemOptions(int item, OptionsRun* run);
