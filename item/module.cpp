// STUB: replaced by the module lifecycle work.
#include "item/module.h"

CardStore cardStore;
HINSTANCE moduleInstance;
HWND itemWindow;
HICON itemIcon;
WCHAR dataFilePath[STORE_PATH_UNITS];
LONG screenDpiX;
LONG screenDpiY;

void ModuleAttach(HINSTANCE instance) { moduleInstance = instance; }
void ModuleDetach() { moduleInstance = nullptr; }
extern "C" HWND InitializeCustomItem(TODAYLISTITEM*, HWND) { return nullptr; }
