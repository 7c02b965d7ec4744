// The selection on the Today screen: moving it through the rows, telling the items when they
// gain or lose it, and painting at once what that changed.
#pragma once

#include <windows.h>

#include "host/screenstate.h"

// True when row is an item's row.
bool IsItemRow(int row);
// The item shown in row, or nullptr for a built-in row or none.
TodayItem* ItemOfRow(int row);
// Moves the selection to row, telling the items when they gain or lose it; an item that
// declines the selection is passed over in the direction of travel (-1 up, 1 down).
void MoveSelection(int row, int direction);
