// The module's entry point.
#include <windows.h>
#include "item/module.h"

// C linkage: the runtime's start-up code calls DllMain by its C name, which the desktop's headers
// declare and the handheld's do not.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ModuleAttach(instance);
        break;
    case DLL_PROCESS_DETACH:
        ModuleDetach();
        break;
    default:
        break;
    }
    return TRUE;
}
