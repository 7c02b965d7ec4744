// The options dialog procedure: shows the five settings from the registry and stores them on OK.
#include "settings/optionsdlg.h"
#include "common/platform.h"
#include "resources/resource.h"
#include "settings/settings.h"

#include <commctrl.h>
#include <limits.h>

TODAYLISTITEM* optionsItem;

namespace {

// The up-down of the height starts at 1 although a height of 0 is allowed.
const LONG HEIGHT_SPIN_MIN = 1;
const int BOX_TEXT_UNITS = 40;

bool optionsControlsReady;

bool IsTextSpace(WCHAR c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

void SetUpDown(HWND dialog, int id, LONG lower, LONG upper, LONG position) {
    HWND spin = GetDlgItem(dialog, id);
    SendMessageW(spin, UDM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
    SendMessageW(spin, UDM_SETPOS, 0, MAKELPARAM(LOWORD(position), 0));
}

// The number in an edit box, read from its first 39 characters.
LONG ReadBoxNumber(HWND dialog, int id) {
    WCHAR text[BOX_TEXT_UNITS];
    text[0] = L'\0';
    GetWindowTextW(GetDlgItem(dialog, id), text, BOX_TEXT_UNITS);
    return SaturatingTextToLong(text);
}

INT_PTR OnInitDialog(HWND dialog, LPARAM lParam) {
    SHINITDLGINFO info = {SHIDIM_FLAGS, dialog,
                          SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
    SHInitDialog(&info);
    optionsItem = reinterpret_cast<TODAYLISTITEM*>(lParam);
    LoadSettings();
    // The up-downs write their positions into their buddy boxes; nothing else fills the boxes.
    SetUpDown(dialog, IDC_HEIGHT_SPIN, HEIGHT_SPIN_MIN, HEIGHT_MAX, Settings.Height);
    SetUpDown(dialog, IDC_TIMEOUT_1ST_SPIN, TIMEOUT_MIN, TIMEOUT_MAX, Settings.TimeOut1st);
    SetUpDown(dialog, IDC_TIMEOUT_LONG_SPIN, TIMEOUT_MIN, TIMEOUT_MAX, Settings.TimeOutLong);
    SetUpDown(dialog, IDC_TIMEOUT_SHORT_SPIN, TIMEOUT_MIN, TIMEOUT_MAX, Settings.TimeOutShort);
    SendMessageW(GetDlgItem(dialog, IDC_EXCHANGE_QA), BM_SETCHECK,
                 Settings.ExchangeQA != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE; // the dialog manager focuses the first tab stop, the height box
}

INT_PTR OnOk(HWND dialog) {
    Settings.Height = ClampHeight(ReadBoxNumber(dialog, IDC_HEIGHT));
    Settings.TimeOut1st = ClampTimeOut(ReadBoxNumber(dialog, IDC_TIMEOUT_1ST));
    Settings.TimeOutLong = ClampTimeOut(ReadBoxNumber(dialog, IDC_TIMEOUT_LONG));
    Settings.TimeOutShort = ClampTimeOut(ReadBoxNumber(dialog, IDC_TIMEOUT_SHORT));
    Settings.ExchangeQA =
        static_cast<DWORD>(SendMessageW(GetDlgItem(dialog, IDC_EXCHANGE_QA), BM_GETCHECK, 0, 0));
    SaveSettings();
    // Without a host record there is nothing to mark; the settings are stored all the same.
    if (optionsItem != NULL) {
        optionsItem->grfFlags |= TODAY_GRF_REFRESH_HEIGHT;
    }
    EndDialog(dialog, IDOK);
    return TRUE;
}

// Only OK is handled; Cancel and the caption's close box leave the dialog open.
INT_PTR OnCommand(HWND dialog, WORD command) {
    if (command == IDOK) {
        return OnOk(dialog);
    }
    return FALSE;
}

INT_PTR OnDestroy() {
    optionsItem = NULL;
    return FALSE;
}

} // namespace

void EnsureOptionsControls() {
    if (optionsControlsReady) {
        return;
    }
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_UPDOWN_CLASS};
    optionsControlsReady = InitCommonControlsEx(&controls) != FALSE;
}

LONG SaturatingTextToLong(const WCHAR* text) {
    while (IsTextSpace(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == L'+' || *text == L'-') {
        negative = *text == L'-';
        ++text;
    }
    // Accumulates the magnitude and stops growing once it is past the 32-bit range.
    const long long limit = negative ? -static_cast<long long>(LONG_MIN) : LONG_MAX;
    long long magnitude = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        if (magnitude <= limit) {
            magnitude = magnitude * 10 + (*text - L'0');
        }
    }
    if (magnitude > limit) {
        magnitude = limit;
    }
    return static_cast<LONG>(negative ? -magnitude : magnitude);
}

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                     LPARAM lParam) {
    // The dialog's font message reaches the procedure before the controls are created, so the
    // up-down class is registered in time even when the host has not done it.
    EnsureOptionsControls();
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, lParam);
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    case WM_DESTROY:
        return OnDestroy();
    default:
        return FALSE;
    }
}
