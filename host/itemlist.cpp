#include "host/itemlist.h"

#include <algorithm>
#include "common/ScopedWin.h"

namespace {

DWORD ReadDword(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return 0;
    }
    return value;
}

// Fills entry->dllPath from the DLL value, or entry->problem.
void ReadDllPath(HKEY key, TodayItemEntry* entry) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, L"DLL", nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) {
        entry->problem = L"it has no DLL value";
        return;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        entry->problem = L"its DLL value is not a string";
        return;
    }
    // The value may or may not hold its terminator; one more unit for it.
    std::vector<WCHAR> text(size / sizeof(WCHAR) + 1, 0);
    DWORD got = static_cast<DWORD>(text.size() * sizeof(WCHAR));
    if (RegQueryValueExW(key, L"DLL", nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) !=
        ERROR_SUCCESS) {
        entry->problem = L"its DLL value cannot be read";
        return;
    }
    std::wstring path(text.data());
    if (type == REG_EXPAND_SZ) {
        WCHAR expanded[MAX_PATH];
        DWORD units = ExpandEnvironmentStringsW(path.c_str(), expanded, MAX_PATH);
        if (units == 0 || units > MAX_PATH) {
            entry->problem = L"its DLL value is too long (MAX_PATH units or more)";
            return;
        }
        path = expanded;
    }
    if (path.empty()) {
        entry->problem = L"its DLL value is empty";
        return;
    }
    if (path.size() >= MAX_PATH) {
        entry->problem = L"its DLL value is too long (MAX_PATH units or more)";
        return;
    }
    entry->dllPath = path;
}

// In Order, equal Orders by name.
void SortEntries(std::vector<TodayItemEntry>* entries) {
    std::sort(entries->begin(), entries->end(),
              [](const TodayItemEntry& a, const TodayItemEntry& b) {
                  if (a.order != b.order) {
                      return a.order < b.order;
                  }
                  return lstrcmpiW(a.name.c_str(), b.name.c_str()) < 0;
              });
}

} // namespace

std::vector<TodayItemEntry> ReadTodayItemList(HKEY root, const wchar_t* keyPath) {
    std::vector<TodayItemEntry> entries;
    ScopedKey list;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_READ, list.Receive()) != ERROR_SUCCESS) {
        return entries;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD length = 256;
        LONG status =
            RegEnumKeyExW(list.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS) {
            continue;
        }
        ScopedKey item;
        if (RegOpenKeyExW(list.Get(), name, 0, KEY_READ, item.Receive()) != ERROR_SUCCESS) {
            continue;
        }
        // The built-in items (owner, appointments, tasks ...) are the host's own rows.
        if (ReadDword(item.Get(), L"Type") != TODAY_ITEM_TYPE_CUSTOM ||
            ReadDword(item.Get(), L"Enabled") == 0) {
            continue;
        }
        TodayItemEntry entry;
        entry.name.assign(name, length);
        entry.order = ReadDword(item.Get(), L"Order");
        entry.options = ReadDword(item.Get(), L"Options");
        entry.selectability = ReadDword(item.Get(), L"Selectability");
        entry.flags = ReadDword(item.Get(), L"Flags");
        ReadDllPath(item.Get(), &entry);
        entries.push_back(entry);
    }
    SortEntries(&entries);
    return entries;
}

std::vector<TodayItemEntry> ReadTodayItems() {
    std::vector<TodayItemEntry> entries = ReadTodayItemList(HKEY_LOCAL_MACHINE, TODAY_ITEMS_KEY);
    for (TodayItemEntry& user : ReadTodayItemList(HKEY_CURRENT_USER, TODAY_ITEMS_KEY)) {
        // The machine's entry of that name, shown or not, is the one that counts.
        ScopedKey machine;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          (std::wstring(TODAY_ITEMS_KEY) + L"\\" + user.name).c_str(), 0, KEY_READ,
                          machine.Receive()) != ERROR_SUCCESS) {
            entries.push_back(std::move(user));
        }
    }
    SortEntries(&entries);
    return entries;
}
