// The options dialog (resource 500), exported at ordinal 241.
#pragma once

#include <windows.h>
#include "item/today.h"

// The host's record of the item whose options are open; NULL while the dialog is closed.
extern TODAYLISTITEM* optionsItem;

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                     LPARAM lParam);
