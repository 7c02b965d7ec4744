// A desktop stand-in for the handheld shell's SHInitDialog. The shell's "done" button lives in
// its title bar; here it is an OK push button inside the dialog, and "full screen" means the
// area of the owner (the Today host's window), or the work area when the dialog has no owner.
#include "shell/shinitdialog.h"

namespace {

// Size and margin of the OK button, in dialog units.
const int DONE_WIDTH_DLU = 40;
const int DONE_HEIGHT_DLU = 14;
const int DONE_MARGIN_DLU = 7;

void SizeToFullScreen(HWND dialog) {
    RECT area;
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner == nullptr || !GetWindowRect(owner, &area)) {
        if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
            return;
        }
    }
    SetWindowPos(dialog, nullptr, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The lowest bottom edge of the dialog's controls, in client coordinates.
LONG LowestControlBottom(HWND dialog) {
    LONG lowest = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rc;
        if (GetWindowRect(child, &rc)) {
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
            if (rc.bottom > lowest) {
                lowest = rc.bottom;
            }
        }
    }
    return lowest;
}

// Adds the OK button at the bottom right of the client area, below every existing control,
// and makes it the default button. Clicking it sends WM_COMMAND IDOK to the dialog.
void AddDoneButton(HWND dialog) {
    RECT size = {0, 0, DONE_WIDTH_DLU, DONE_HEIGHT_DLU};
    RECT margin = {0, 0, DONE_MARGIN_DLU, DONE_MARGIN_DLU};
    MapDialogRect(dialog, &size);
    MapDialogRect(dialog, &margin);
    RECT client;
    GetClientRect(dialog, &client);

    LONG x = client.right - margin.right - size.right;
    LONG y = client.bottom - margin.bottom - size.bottom;
    LONG below = LowestControlBottom(dialog) + margin.bottom;
    if (y < below) {
        y = below;
    }
    if (x < margin.right) {
        x = margin.right;
    }
    HWND button = CreateWindowExW(
        0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, x, y,
        size.right, size.bottom, dialog, reinterpret_cast<HMENU>(IDOK),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)), nullptr);
    if (button == nullptr) {
        return;
    }
    SendMessageW(button, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    SendMessageW(dialog, DM_SETDEFID, IDOK, 0);
}

} // namespace

BOOL SHInitDialog(SHINITDLGINFO* info) {
    if (info == nullptr || (info->dwMask & SHIDIM_FLAGS) == 0 || !IsWindow(info->hDlg)) {
        return FALSE;
    }
    // Size first, so that the OK button is placed in the final client area.
    if (info->dwFlags & (SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIZEDLG)) {
        SizeToFullScreen(info->hDlg);
    }
    if (info->dwFlags & SHIDIF_DONEBUTTON) {
        AddDoneButton(info->hDlg);
    }
    // SHIDIF_SIPDOWN: there is no input panel to lower.
    return TRUE;
}
