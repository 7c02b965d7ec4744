// Which items the Today screen shows, loaded into screen.items before the screen is created.
#pragma once

#include <string>

// --module PATH: that module alone, the list is not read. Otherwise every enabled custom item
// of the Today items list (HKEY_LOCAL_MACHINE\Software\Microsoft\Today\Items), in Order; with
// no enabled custom item in the list, Tollamy.dll beside the host. An entry that is broken (its
// DLL value, its module, ordinal 240) or names a module already shown is left out with a
// message on stderr. False with a message in error when no item could be loaded at all.
bool LoadTodayItems(const std::wstring& modulePath, std::wstring* error);
