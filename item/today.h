// The Today screen host interface: the messages, colours and records that the host and a
// Today item exchange. Shared by the item module and by today-host.exe.
#pragma once

#include <windows.h>
#include <stddef.h>

// Messages from the host to the item window.
#define WM_TODAYCUSTOM_QUERYREFRESHCACHE 0x4F3
#define WM_TODAYCUSTOM_RECEIVEDSELECTION 0x4F4
#define WM_TODAYCUSTOM_LOSTSELECTION 0x4F5
#define WM_TODAYCUSTOM_ACTION 0x4F7

// Requests from the item to its parent, the host.
#define TODAYM_GETCOLOR 0x464
#define TODAYM_DRAWWATERMARK 0x465

// Colour identifiers for TODAYM_GETCOLOR (wParam).
#define TODAYCOLOR_TEXT 0x10000004
#define TODAYCOLOR_HIGHLIGHT 0x10000022
#define TODAYCOLOR_HIGHLIGHTEDTEXT 0x10000023

// Export ordinals of a Today item module.
#define ORDINAL_INITIALIZECUSTOMITEM 240
#define ORDINAL_CUSTOMITEMOPTIONSDLGPROC 241

// Bit 0 of TODAYLISTITEM::grfFlags: the item must report its height again.
#define TODAY_GRF_REFRESH_HEIGHT 0x1

// Named event that the shell sets once its interfaces are ready.
#define TODAY_SHELL_READY_EVENT L"SYSTEM/ShellAPIReady"

typedef enum _TODAYLISTITEMTYPE {
    tlitOwnerInfo = 0,
    tlitAppointments,
    tlitMail,
    tlitTasks,
    tlitCustom,
    tlitNil
} TODAYLISTITEMTYPE;

// The host's record for one item of the Today list. The shell passes its own record, so the
// layout is the platform's, field for field.
typedef struct _TODAYLISTITEM {
    WCHAR szName[32];
    TODAYLISTITEMTYPE tlit;
    DWORD dwOrder;
    DWORD cyp;
    BOOL fEnabled;
    BOOL fOptions;
    DWORD grfFlags;
    WCHAR szDLLPath[MAX_PATH];
    HINSTANCE hinstDLL;
    HWND hwndCustom;
    BOOL fSizeOnDraw;
    BYTE* prgbCachedData;
    DWORD cbCachedData;
} TODAYLISTITEM;

static_assert(offsetof(TODAYLISTITEM, cyp) == 72, "TODAYLISTITEM::cyp must lie at byte 72");
static_assert(offsetof(TODAYLISTITEM, grfFlags) == 84,
              "TODAYLISTITEM::grfFlags must lie at byte 84");
static_assert(tlitCustom == 4, "tlitCustom is 4");

// lParam of TODAYM_DRAWWATERMARK: paint the host's background into rc of hdc.
typedef struct _TODAYDRAWWATERMARKINFO {
    HDC hdc;
    RECT rc;
    HWND hwnd;
} TODAYDRAWWATERMARKINFO;

// The two exports, as the host calls them.
typedef HWND(WINAPI* PFNINITIALIZECUSTOMITEM)(TODAYLISTITEM* item, HWND parent);
typedef INT_PTR(CALLBACK* PFNCUSTOMITEMOPTIONSDLGPROC)(HWND dialog, UINT message, WPARAM wParam,
                                                       LPARAM lParam);
