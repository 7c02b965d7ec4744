// The handheld's list of Today items: one subkey per item under
// HKEY_LOCAL_MACHINE\Software\Microsoft\Today\Items, named after the item, with the values
// Type (4 for a custom item), DLL, Enabled, Order, Options, Selectability and Flags.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#define TODAY_ITEMS_KEY L"Software\\Microsoft\\Today\\Items"

// Type of a custom item, whose module the host loads.
#define TODAY_ITEM_TYPE_CUSTOM 4
// Selectability: 0 the item never takes the selection, 2 it takes the selection messages.
#define TODAY_SELECTABILITY_NONE 0
#define TODAY_SELECTABILITY_CUSTOM 2

struct TodayItemEntry {
    std::wstring name;    // the subkey's name
    std::wstring dllPath; // DLL; empty when problem is set
    DWORD order = 0;
    DWORD options = 0;
    DWORD selectability = 0;
    DWORD flags = 0;
    std::wstring problem; // why the entry cannot be shown; empty for a good entry
};

// Reads the list under root\keyPath: every enabled custom item, in Order (equal Orders by
// name), the broken ones with their problem set. A value that is missing or not a DWORD reads
// as 0. The DLL value must be a string (REG_SZ, or REG_EXPAND_SZ, which is expanded) shorter
// than MAX_PATH units. A missing list reads as empty.
std::vector<TodayItemEntry> ReadTodayItemList(HKEY root, const wchar_t* keyPath);

// The items the host shows: the machine's list (HKEY_LOCAL_MACHINE), and beside it the user's
// own list under the same path in HKEY_CURRENT_USER, which a desktop user may write without
// being an administrator, for the names that the machine's list does not have; together in
// Order, equal Orders by name.
std::vector<TodayItemEntry> ReadTodayItems();
