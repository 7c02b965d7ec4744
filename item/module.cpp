// The module's globals and lifecycle: attach registers the item's window class and loads its
// icon, InitializeCustomItem creates the item window for the host, detach undoes attach.
#include "item/module.h"
#include "settings/optionsdlg.h"

#include <commctrl.h>

#include "common/ScopedWin.h"
#include "common/text.h"
#include "item/itemwnd.h"
#include "resources/resource.h"
#include "settings/settings.h"

CardStore cardStore;
HINSTANCE moduleInstance;
HWND itemWindow;
HICON itemIcon;
WCHAR dataFilePath[STORE_PATH_UNITS];
LONG screenDpiX;
LONG screenDpiY;

namespace {

const int ITEM_WIDTH = 240;
const int CLASS_NAME_UNITS = 64;

// The resolution is fetched on first use and then kept, a failed fetch (-1) included.
bool screenDpiXFetched;
bool screenDpiYFetched;

// String 1: the item's window class name, also the item window's name.
WCHAR className[CLASS_NAME_UNITS];

LONG ScreenDpiX() {
    if (!screenDpiXFetched) {
        screenDpiX = QueryScreenCaps(LOGPIXELSX);
        screenDpiXFetched = true;
    }
    return screenDpiX;
}

LONG ScreenDpiY() {
    if (!screenDpiYFetched) {
        screenDpiY = QueryScreenCaps(LOGPIXELSY);
        screenDpiYFetched = true;
    }
    return screenDpiY;
}

void LoadClassName() {
    if (LoadStringW(moduleInstance, IDS_CLASSNAME, className, CLASS_NAME_UNITS) <= 0) {
        className[0] = 0;
    }
}

// Replaces everything from the last '.' of the module's file name by ".txt". A name
// without a '.' is left as it is; 0 tells the caller not to hand it on.
int FormDataFilePath() {
    GetModuleFileNameW(moduleInstance, dataFilePath, STORE_PATH_UNITS);
    // A name that fills the buffer may come back without its terminator.
    dataFilePath[STORE_PATH_UNITS - 1] = 0;
    WCHAR* lastDot = NULL;
    for (WCHAR* p = dataFilePath; *p != 0; ++p) {
        if (*p == L'.') {
            lastDot = p;
        }
    }
    if (lastDot == NULL) {
        return 0;
    }
    *lastDot = 0;
    BoundedAppend(dataFilePath, STORE_PATH_UNITS, L".txt");
    return 1;
}

} // namespace

LONG IconSizeForDpi(LONG dpi) {
    return (16 * dpi + 48) / 96;
}

void ModuleAttach(HINSTANCE instance) {
    moduleInstance = instance;

    const LONG cy = IconSizeForDpi(ScreenDpiY());
    const LONG cx = IconSizeForDpi(ScreenDpiX());
    itemIcon = static_cast<HICON>(
        LoadImageW(moduleInstance, MAKEINTRESOURCEW(IDI_TOLLAMY), IMAGE_ICON, cx, cy, 0));

    LoadClassName();
    UnregisterClassW(className, moduleInstance);
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = ItemWndProc;
    windowClass.hInstance = moduleInstance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);

    itemWindow = NULL;

    // The options dialog holds up-down controls; stock Windows registers their class only
    // when a program asks for it.
    EnsureOptionsControls();
}

void ModuleDetach() {
    DestroyIcon(itemIcon);
    itemIcon = NULL;
    UnregisterClassW(className, moduleInstance);
    moduleInstance = NULL;
}

extern "C" HWND WINAPI InitializeCustomItem(TODAYLISTITEM*, HWND parent) {
    itemWindow = CreateWindowExW(0, className, className, WS_CHILD | WS_VISIBLE, CW_USEDEFAULT,
                                 CW_USEDEFAULT, ITEM_WIDTH, 0, parent, NULL, moduleInstance, NULL);
    SetWindowLongPtrW(itemWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ItemWndProc));
    ShowWindow(itemWindow, SW_SHOWNORMAL);
    UpdateWindow(itemWindow);
    if (FormDataFilePath()) {
        cardStore.SetPaths(dataFilePath);
    }
    LoadSettings();
    return itemWindow;
}
