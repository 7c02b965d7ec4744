#include "host/itemload.h"

#include <memory>
#include <vector>
#include "host/itemlist.h"
#include "host/output.h"

namespace {

// The host's record of a custom item, as the shell fills it from the list entry.
void FillListItem(const std::wstring& name, const ItemModule& module, DWORD order, bool options,
                  DWORD flags, TODAYLISTITEM* listItem) {
    *listItem = {};
    lstrcpynW(listItem->szName, name.c_str(), 32);
    listItem->tlit = tlitCustom;
    listItem->dwOrder = order;
    listItem->fEnabled = TRUE;
    listItem->fOptions = options;
    listItem->grfFlags = flags;
    lstrcpynW(listItem->szDLLPath, module.Path().c_str(), MAX_PATH);
    listItem->hinstDLL = module.Handle();
}

bool LoadSingle(const std::wstring& path, TodayItems* items, std::wstring* error) {
    std::unique_ptr<TodayItem> item(new TodayItem);
    if (!item->module.Load(path, error)) {
        return false;
    }
    FillListItem(L"Tollamy", item->module, 0, item->module.OptionsDialogProc() != nullptr, 0,
                 &item->listItem);
    item->selectability = TODAY_SELECTABILITY_CUSTOM;
    items->push_back(std::move(item));
    return true;
}

bool AlreadyShown(const TodayItems& items, HMODULE module, std::wstring* by) {
    for (const std::unique_ptr<TodayItem>& item : items) {
        if (item->module.Handle() == module) {
            *by = item->listItem.szName;
            return true;
        }
    }
    return false;
}

} // namespace

bool LoadTodayItems(const std::wstring& modulePath, TodayItems* items, std::wstring* error) {
    items->clear();
    if (!modulePath.empty()) {
        return LoadSingle(modulePath, items, error);
    }
    std::vector<TodayItemEntry> entries = ReadTodayItems();
    if (entries.empty()) {
        return LoadSingle(DefaultModulePath(), items, error);
    }
    for (const TodayItemEntry& entry : entries) {
        const std::wstring skipped =
            L"today-host: the Today item " + entry.name + L" is left out: ";
        if (!entry.problem.empty()) {
            PrintError(skipped + entry.problem);
            continue;
        }
        std::unique_ptr<TodayItem> item(new TodayItem);
        std::wstring reason;
        if (!item->module.Load(entry.dllPath, &reason)) {
            PrintError(skipped + reason);
            continue;
        }
        // One module holds one item window: a second entry for the same file would take the
        // first one's window from it.
        std::wstring shownBy;
        if (AlreadyShown(*items, item->module.Handle(), &shownBy)) {
            PrintError(skipped + L"its module " + item->module.Path() + L" is shown by " + shownBy +
                       L" already");
            continue;
        }
        FillListItem(entry.name, item->module, entry.order, entry.options == 1, entry.flags,
                     &item->listItem);
        item->selectability = entry.selectability;
        items->push_back(std::move(item));
    }
    if (items->empty()) {
        *error = L"none of the " + std::to_wstring(entries.size()) +
                 L" enabled items of the Today items list could be loaded";
        return false;
    }
    return true;
}
