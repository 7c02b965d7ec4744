#include "host/optionsrun.h"

#include "host/capture.h"
#include "resources/resource.h"

const int OPTIONS_BOX_IDS[OPTIONS_BOX_COUNT] = {IDC_HEIGHT, IDC_TIMEOUT_1ST, IDC_TIMEOUT_LONG,
                                                IDC_TIMEOUT_SHORT};
const wchar_t* const OPTIONS_BOX_KEYS[OPTIONS_BOX_COUNT] = {L"height", L"first", L"long", L"short"};

namespace {

std::wstring DescribeBoxes(HWND dialog) {
    std::wstring text;
    for (int i = 0; i < OPTIONS_BOX_COUNT; ++i) {
        WCHAR box[64] = L"";
        GetDlgItemTextW(dialog, OPTIONS_BOX_IDS[i], box, 64);
        text += (i == 0 ? L"" : L" ") + std::wstring(OPTIONS_BOX_KEYS[i]) + L"=" + box;
    }
    text += IsDlgButtonChecked(dialog, IDC_EXCHANGE_QA) == BST_CHECKED ? L" swap=1" : L" swap=0";
    return text;
}

} // namespace

void DriveOptionsDialog(OptionsRun* run, HWND dialog) {
    if (!IsWindow(dialog)) {
        return;
    }
    if (run->driven) {
        // Still open after OK: the dialog did not end itself. Close it, so the script goes on.
        EndDialog(dialog, OPTIONS_NOT_CLOSED);
        return;
    }
    run->driven = true;
    if (run->cancel) {
        // The item's dialog ends only on OK; the host closes it without OK.
        run->shown = DescribeBoxes(dialog);
        EndDialog(dialog, IDCANCEL);
        return;
    }
    for (int i = 0; i < OPTIONS_BOX_COUNT; ++i) {
        if (run->setBox[i]) {
            SetDlgItemTextW(dialog, OPTIONS_BOX_IDS[i], run->boxText[i].c_str());
        }
    }
    if (run->swap >= 0) {
        CheckDlgButton(dialog, IDC_EXCHANGE_QA, run->swap != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
    run->shown = DescribeBoxes(dialog);
    if (!run->capturePath.empty()) {
        int width = 0;
        int height = 0;
        run->captured =
            CaptureWindow(dialog, true, run->capturePath, &width, &height, &run->captureError);
    }
    // What the OK button sends.
    HWND ok = GetDlgItem(dialog, IDOK);
    run->okPressed = true;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
}
