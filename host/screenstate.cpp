#include "host/screenstate.h"

namespace {

// Layout of the screen's rows and bars, in pixels at 96 dpi.
const int STRIP_HEIGHT = 24;
const int ROW_HEIGHT = 20;
const int SOFTKEY_HEIGHT = 26;

} // namespace

// ---- the items and the rows

bool ValidItem(const TodayScreen& screen, int item) {
    return item >= 0 && item < static_cast<int>(screen.items.size()) &&
           screen.items[item]->window != nullptr;
}

int ItemIndex(const TodayScreen& screen, int number) {
    return number >= 1 && ValidItem(screen, number - 1) ? number - 1 : -1;
}

int RowOfItem(const TodayScreen& screen, int item) {
    for (size_t row = 0; row < screen.rows.size(); ++row) {
        if (screen.rows[row].kind == ROW_ITEM && screen.rows[row].item == item) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

bool IsItemRow(const TodayScreen& screen, int row) {
    return row >= 0 && row < static_cast<int>(screen.rows.size()) &&
           screen.rows[row].kind == ROW_ITEM;
}

const TodayItem* ItemOfRow(const TodayScreen& screen, int row) {
    return IsItemRow(screen, row) ? screen.items[screen.rows[row].item].get() : nullptr;
}

bool HasOptions(const TodayScreen& screen, int item) {
    return ValidItem(screen, item) && screen.items[item]->listItem.fOptions &&
           screen.items[item]->module.OptionsDialogProc() != nullptr;
}

int OptionsTarget(const TodayScreen& screen) {
    if (IsItemRow(screen, screen.selection)) {
        int item = screen.rows[screen.selection].item;
        return HasOptions(screen, item) ? item : -1;
    }
    for (size_t i = 0; i < screen.items.size(); ++i) {
        if (HasOptions(screen, static_cast<int>(i))) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void BuildRows(TodayScreen* screen) {
    screen->rows.clear();
    ScreenRow row;
    row.kind = ROW_DATE;
    screen->rows.push_back(row);
    row.kind = ROW_OWNER;
    screen->rows.push_back(row);
    for (size_t i = 0; i < screen->items.size(); ++i) {
        row.kind = ROW_ITEM;
        row.item = static_cast<int>(i);
        screen->rows.push_back(row);
    }
    row.item = -1;
    row.kind = ROW_APPOINTMENTS;
    screen->rows.push_back(row);
    row.kind = ROW_TASKS;
    screen->rows.push_back(row);
}

// ---- the geometry

int ScaleToScreen(const TodayScreen& screen, int pixels) {
    return MulDiv(pixels, screen.dpi, 96);
}

RECT StripRect(const TodayScreen& screen) {
    RECT rc = {0, 0, screen.width, ScaleToScreen(screen, STRIP_HEIGHT)};
    return rc;
}

RECT SoftKeyRect(const TodayScreen& screen) {
    RECT rc = {0, screen.height - ScaleToScreen(screen, SOFTKEY_HEIGHT), screen.width,
               screen.height};
    return rc;
}

RECT RowRect(const TodayScreen& screen, int row) {
    const ScreenRow& r = screen.rows[row];
    RECT rc = {0, r.top, screen.width, r.top + r.height};
    return rc;
}

int RowAt(const TodayScreen& screen, int y) {
    for (size_t row = 0; row < screen.rows.size(); ++row) {
        const ScreenRow& r = screen.rows[row];
        if (y >= r.top && y < r.top + r.height) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

void LayoutRows(TodayScreen* screen) {
    int y = ScaleToScreen(*screen, STRIP_HEIGHT);
    for (ScreenRow& row : screen->rows) {
        row.top = y;
        row.height = row.kind == ROW_ITEM ? static_cast<int>(screen->items[row.item]->listItem.cyp)
                                          : ScaleToScreen(*screen, ROW_HEIGHT);
        y += row.height;
    }
}
