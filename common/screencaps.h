// The screen's device capabilities, asked of the screen DC.
#pragma once

#include <windows.h>
#include "common/ScopedWin.h"

// One device capability of the screen, or -1 when the screen DC cannot be had.
inline LONG QueryScreenCaps(int index) {
    ScopedGetDC screen(NULL);
    if (screen.Get() == NULL) {
        return -1;
    }
    return GetDeviceCaps(screen.Get(), index);
}
