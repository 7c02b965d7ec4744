#include "host/selection.h"

#include "host/screenpaint.h"

namespace {

// The items are painted as soon as a selection message has changed their look, with
// WM_PAINT sent to them as UpdateWindow sends it, rather than fetched from the queue at the
// next command: under Wine that saves a round trip to the server or two per paint, and the
// item sees the same messages in the same order.

// Paints the item in the look it has just taken on; the host makes the whole item invalid
// first, so there is something to paint.
void RepaintItem(const TodayItem* item) {
    InvalidateRect(item->window, nullptr, TRUE);
    SendMessageW(item->window, WM_PAINT, 0, 0);
}

// Paints whatever the item has made invalid itself, if anything.
void UpdateItem(const TodayItem* item) {
    RedrawWindow(item->window, nullptr, nullptr, RDW_UPDATENOW | RDW_NOCHILDREN);
}

// Sends WM_TODAYCUSTOM_RECEIVEDSELECTION. The item does not repaint itself for it, so the
// host repaints the item in its selected look when it takes the selection. An item listed as
// not selectable is not asked.
bool OfferSelection(const TodayItem* item) {
    if (item->selectability == TODAY_SELECTABILITY_NONE ||
        SendMessageW(item->window, WM_TODAYCUSTOM_RECEIVEDSELECTION, 0, 0) == 0) {
        return false;
    }
    RepaintItem(item);
    return true;
}

// Sends WM_TODAYCUSTOM_LOSTSELECTION; the item draws a new card and marks itself for painting.
LRESULT TakeSelection(const TodayItem* item) {
    LRESULT result = SendMessageW(item->window, WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
    UpdateItem(item);
    return result;
}

// Moves the selection to row, telling the items when they gain or lose it. An item that
// declines the selection is passed over in the direction of travel.
void StepSelection(TodayScreen* screen, int row, int direction) {
    if (row < 0 || row >= static_cast<int>(screen->rows.size()) || row == screen->selection) {
        return;
    }
    int old = screen->selection;
    if (const TodayItem* losing = ItemOfRow(*screen, old)) {
        screen->selection = row;
        TakeSelection(losing);
    }
    screen->selection = row;
    const TodayItem* gaining = ItemOfRow(*screen, row);
    if (gaining != nullptr && !OfferSelection(gaining)) {
        screen->selection = IsItemRow(*screen, old) ? -1 : old;
        int next = row + (direction != 0 ? direction : 1);
        if (next >= 0 && next < static_cast<int>(screen->rows.size())) {
            StepSelection(screen, next, direction);
        }
    }
}

} // namespace

// StepSelection, then the screen's parts that the move changed are painted again.
void MoveSelection(TodayScreen* screen, int row, int direction) {
    const SelectionLook before = CurrentSelectionLook(*screen);
    StepSelection(screen, row, direction);
    ShowSelectionChange(*screen, before);
}

LRESULT SelectItem(TodayScreen* screen, int item) {
    int row = RowOfItem(*screen, item);
    if (row < 0) {
        return 0;
    }
    if (screen->selection == row) {
        // Selected again: the item restarts its cycle, as on the device.
        return OfferSelection(screen->items[item].get()) ? 1 : 0;
    }
    MoveSelection(screen, row, row > screen->selection ? 1 : -1);
    return screen->selection == row ? 1 : 0;
}

LRESULT LeaveItem(TodayScreen* screen, int item, bool* notSelected) {
    int row = RowOfItem(*screen, item);
    *notSelected = row < 0 || screen->selection != row;
    if (*notSelected) {
        return 0;
    }
    // To the next row; the items' rows are always followed by the appointments.
    const SelectionLook before = CurrentSelectionLook(*screen);
    screen->selection = row + 1;
    LRESULT result = TakeSelection(screen->items[item].get());
    if (const TodayItem* next = ItemOfRow(*screen, row + 1)) {
        if (!OfferSelection(next)) {
            screen->selection = -1;
            StepSelection(screen, row + 2, 1);
        }
    }
    ShowSelectionChange(*screen, before);
    return result;
}

LRESULT DrawNewCard(TodayScreen* screen, int item) {
    const int row = RowOfItem(*screen, item);
    if (!ValidItem(*screen, item) || row < 0 || row == screen->selection) {
        return 0;
    }
    return TakeSelection(screen->items[item].get());
}
