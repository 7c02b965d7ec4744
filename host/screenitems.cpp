#include "host/screenitems.h"

#include <algorithm>
#include "host/output.h"
#include "host/selection.h"

void CreateItemWindows(TodayScreen* screen) {
    TodayItems created;
    for (std::unique_ptr<TodayItem>& item : screen->items) {
        if (item->window == nullptr) {
            item->listItem.hinstDLL = item->module.Handle();
            item->window = item->module.InitializeCustomItem()(&item->listItem, screen->window);
            if (item->window == nullptr) {
                PrintError(L"today-host: the item module " + item->module.Path() +
                           L" created no item window; it is left out");
                continue;
            }
            item->listItem.hwndCustom = item->window;
            // Its deck is not seen yet: DrawNewCards draws its first card.
            item->dataFile = DataFileOf(item->module.Path());
            item->deck = DeckStamp();
        }
        created.push_back(std::move(item));
    }
    screen->items.swap(created);
    // The dropped items' modules are freed here, with no window of theirs left.
}

void TakeItemList(TodayScreen* screen, TodayItems fresh) {
    const TodayItem* selected = ItemOfRow(*screen, screen->selection);
    const int selectedKind = screen->selection >= 0 ? screen->rows[screen->selection].kind : -1;
    TodayItems next;
    for (std::unique_ptr<TodayItem>& item : fresh) {
        auto shown = std::find_if(screen->items.begin(), screen->items.end(),
                                  [&](const std::unique_ptr<TodayItem>& old) {
                                      return old && old->module.Handle() == item->module.Handle();
                                  });
        if (shown == screen->items.end()) {
            next.push_back(std::move(item));
            continue;
        }
        // The item stays; its entry may have changed its name, order, options or flags. The
        // new reading's load of the same module is freed with `fresh`.
        TODAYLISTITEM& record = (*shown)->listItem;
        lstrcpynW(record.szName, item->listItem.szName, 32);
        record.dwOrder = item->listItem.dwOrder;
        record.fOptions = item->listItem.fOptions;
        (*shown)->selectability = item->selectability;
        next.push_back(std::move(*shown));
    }
    // The items that left: their windows go before their modules.
    for (std::unique_ptr<TodayItem>& gone : screen->items) {
        if (gone && gone->window != nullptr) {
            DestroyWindow(gone->window);
            gone->window = nullptr;
        }
    }
    screen->items = std::move(next);
    CreateItemWindows(screen);
    BuildRows(screen);
    // The selection stays on its item, or on its built-in row (one row of each kind).
    screen->selection = -1;
    for (size_t row = 0; row < screen->rows.size(); ++row) {
        const TodayItem* item = ItemOfRow(*screen, static_cast<int>(row));
        if (item != nullptr ? item == selected
                            : selected == nullptr && screen->rows[row].kind == selectedKind) {
            screen->selection = static_cast<int>(row);
        }
    }
}

void DrawNewCards(TodayScreen* screen, bool changedOnly) {
    for (size_t i = 0; i < screen->items.size(); ++i) {
        TodayItem* item = screen->items[i].get();
        if (item->window == nullptr) {
            continue;
        }
        const DeckStamp now = ReadDeckStamp(item->dataFile);
        const bool changed = !SameDeckStamp(now, item->deck);
        item->deck = now;
        if (changed || !changedOnly) {
            DrawNewCard(screen, static_cast<int>(i));
        }
    }
}
