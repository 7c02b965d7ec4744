// The module's entry point.
#include <windows.h>
#include "item/module.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
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
