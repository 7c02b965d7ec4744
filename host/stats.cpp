#include "host/stats.h"

#include <windows.h>

namespace {

// Handle values are multiples of 4 and are handed out lowest first, so the probe stops after
// a long run of unused values.
const ULONG_PTR HANDLE_STEP = 4;
const int HANDLE_GAP_LIMIT = 4096;
const ULONG_PTR HANDLE_VALUE_LIMIT = 0x1000000;

// GDI handles carry their table slot in the low 16 bits; Wine accepts a slot number alone.
const ULONG_PTR GDI_SLOT_LIMIT = 0x10000;

} // namespace

int CountProcessHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) {
        return static_cast<int>(count);
    }
    int found = 0;
    int gap = 0;
    for (ULONG_PTR value = HANDLE_STEP; value < HANDLE_VALUE_LIMIT && gap < HANDLE_GAP_LIMIT;
         value += HANDLE_STEP) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++found;
            gap = 0;
        } else {
            ++gap;
        }
    }
    return found;
}

int CountGdiObjects() {
    DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count != 0) {
        return static_cast<int>(count);
    }
    int found = 0;
    for (ULONG_PTR slot = 1; slot < GDI_SLOT_LIMIT; ++slot) {
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) {
            ++found;
        }
    }
    return found;
}
