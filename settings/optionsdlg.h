// The options dialog (resource 500), exported at ordinal 241.
#pragma once

#include <windows.h>
#include "item/today.h"

// The host's record of the item whose options are open; NULL while the dialog is closed.
extern TODAYLISTITEM* optionsItem;

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                     LPARAM lParam);

// Registers the up-down control class that dialog 500 uses. Stock Windows registers it only on
// request, so this must run before the dialog's controls are created. Cheap after the first
// successful call.
void EnsureOptionsControls();

// Converts text as _wtol does (leading white space, an optional sign, decimal digits up to the
// first other character; no digits give 0), except that a number beyond the 32-bit range
// saturates at LONG_MAX or LONG_MIN instead of wrapping.
LONG SaturatingTextToLong(const WCHAR* text);
