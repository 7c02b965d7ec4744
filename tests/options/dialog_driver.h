// Shows dialog 500 of the built Tollamy.dll modally, as the Today host does, and scripts it
// from a timer on the same thread: the timer finds the dialog by its owner and runs the script.
#pragma once

#include <windows.h>
#include <functional>
#include <string>

// The result of a dialog that the script left open and the driver then ended.
const INT_PTR DIALOG_LEFT_OPEN = 0x7E57;

// Tollamy.dll from the build folder, loaded once.
HMODULE TollamyModule();

// A visible top-level window standing in for the Today host's window.
class OwnerWindow {
public:
    OwnerWindow(int x, int y, int width, int height);
    ~OwnerWindow();
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND Get() const { return window_; }

private:
    HWND window_;
};

using DialogScript = std::function<void(HWND dialog)>;

// DialogBoxParamW(Tollamy.dll, 500, owner, proc, item). Once the dialog is up, script runs on
// it; a dialog still open shortly after the script is ended with DIALOG_LEFT_OPEN. found receives
// whether the script ran.
INT_PTR RunOptionsDialog(HWND owner, DLGPROC proc, LPARAM item, const DialogScript& script,
                         bool* found = nullptr);

std::wstring ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const WCHAR* text);
// Dispatches what is queued for the dialog, through the dialog manager's keyboard handling.
void PumpDialogMessages(HWND dialog);
