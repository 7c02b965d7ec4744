// The items' windows on a screen: creating them, taking a new reading of the Today items list
// onto the screen, and making items draw a card when their decks change. Each function works
// on the screen it is given.
#pragma once

#include <windows.h>
#include "host/screenstate.h"

// Creates the windows of the screen's items that have none yet (InitializeCustomItem); their
// decks count as not seen yet. An item that creates no window is dropped with a message on
// stderr; its module is freed.
void CreateItemWindows(TodayScreen* screen);

// Takes the items of a new reading of the list (host/itemload.h) onto the screen, in their new
// order: an item whose module is on the screen already keeps its window, its card and its
// height; the windows of the items that left the list are destroyed, then their modules freed;
// the new ones get their windows (CreateItemWindows). The rows are built again, and the
// selection stays on its item (or built-in row), or goes when its item went. The caller asks
// the new items for their height and lays the rows out.
void TakeItemList(TodayScreen* screen, TodayItems fresh);

// Makes every item that does not have the selection draw a new card (DrawNewCard): all of them
// (changedOnly false), or those whose deck has changed since it was last looked at, or was
// never looked at. The stamp of the selected item's deck is noted too: that item draws from
// its new deck when the selection leaves it.
void DrawNewCards(TodayScreen* screen, bool changedOnly);
