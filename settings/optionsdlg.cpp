// STUB: replaced by the options dialog work.
#include "settings/optionsdlg.h"

TODAYLISTITEM* optionsItem;

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
