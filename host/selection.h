// The selection on the Today screen: moving it through the rows, telling the items when they
// gain or lose it, and painting at once what that changed. Each function moves the selection
// of the screen it is given.
#pragma once

#include <windows.h>
#include "host/screenstate.h"

// Moves the selection to row, telling the items when they gain or lose it; an item that
// declines the selection is passed over in the direction of travel (-1 up, 1 down).
void MoveSelection(TodayScreen* screen, int row, int direction);
// Selection onto the item: WM_TODAYCUSTOM_RECEIVEDSELECTION; the item's answer.
LRESULT SelectItem(TodayScreen* screen, int item);
// Selection off the item (to the next row): WM_TODAYCUSTOM_LOSTSELECTION; the item's answer.
// notSelected is set when the item did not have the selection and nothing was sent.
LRESULT LeaveItem(TodayScreen* screen, int item, bool* notSelected);
// Makes an item that does not have the selection draw a new card, as it does when the
// selection leaves it: WM_TODAYCUSTOM_LOSTSELECTION, then its painting. The item's answer;
// 0 and nothing sent for the selected item.
LRESULT DrawNewCard(TodayScreen* screen, int item);
