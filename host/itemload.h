// Which items the Today screen shows, loaded before the screen is created; CreateTodayScreen
// (host/todayscreen.h) then takes them.
#pragma once

#include <string>
#include "host/screenstate.h"

// --module PATH: that module alone, the list is not read. Otherwise every enabled custom item
// of the Today items list (HKEY_LOCAL_MACHINE\Software\Microsoft\Today\Items), in Order; with
// no enabled custom item in the list, Tollamy.dll beside the host. An entry that is broken (its
// DLL value, its module, ordinal 240) or names a module already shown is left out with a
// message on stderr. The loaded items replace those in items. False with a message in error
// when no item could be loaded at all.
bool LoadTodayItems(const std::wstring& modulePath, TodayItems* items, std::wstring* error);
