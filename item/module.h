// Module globals of the item and its lifecycle: attach, detach and InitializeCustomItem.
#pragma once

#include <windows.h>
#include "cardstore/cardstore.h"
#include "common/screencaps.h"
#include "item/today.h"

extern CardStore cardStore;
extern HINSTANCE moduleInstance;
extern HWND itemWindow;
extern HICON itemIcon;
extern WCHAR dataFilePath[STORE_PATH_UNITS];
extern LONG screenDpiX;
extern LONG screenDpiY;

// Icon edge in pixels for a screen resolution: 16 pixels at 96 dpi, rounded half up.
LONG IconSizeForDpi(LONG dpi);

void ModuleAttach(HINSTANCE instance);
void ModuleDetach();

extern "C" HWND WINAPI InitializeCustomItem(TODAYLISTITEM* item, HWND parent);
