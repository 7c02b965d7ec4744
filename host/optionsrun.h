// A scripted run of the item's options dialog: the host fills the named boxes, ticks or
// clears the check box, optionally captures the dialog, and presses OK (or closes it
// without OK) as soon as the dialog first waits for input.
#pragma once

#include <windows.h>
#include <string>

// The dialog's boxes, in the order of the script's keys height, first, long, short.
#define OPTIONS_BOX_COUNT 4

// DialogBoxParamW's result when the host had to close a dialog that OK did not end.
#define OPTIONS_NOT_CLOSED 0x7FFF

struct OptionsRun {
    // Request.
    bool cancel = false;
    bool setBox[OPTIONS_BOX_COUNT] = {};
    std::wstring boxText[OPTIONS_BOX_COUNT];
    int swap = -1; // -1 leaves the check box alone
    std::wstring capturePath;
    // Outcome.
    bool driven = false;
    bool okPressed = false;
    bool captured = false;
    std::wstring captureError;
    std::wstring shown; // the boxes as they stood when OK was pressed
};

// Control ids of the boxes (resources/resource.h), in OPTIONS_BOX order, and the script's
// key for each; the check box is IDC_EXCHANGE_QA.
extern const int OPTIONS_BOX_IDS[OPTIONS_BOX_COUNT];
extern const wchar_t* const OPTIONS_BOX_KEYS[OPTIONS_BOX_COUNT];

// Called from the owner's WM_ENTERIDLE while the dialog runs.
void DriveOptionsDialog(OptionsRun* run, HWND dialog);
