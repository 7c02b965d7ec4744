// What the handheld and the desktop provide differently, chosen here once for the whole item:
// the pseudo-random source, the shell's open request, the case-blind comparison of two paths
// and the handheld shell's dialog set-up. The rest of the item calls these names on both.
//
// The handheld is Windows CE (_WIN32_WCE, which its build defines). The desktop is 64-bit
// Windows, and the item under Wine; its build defines _CRT_RAND_S, with which the runtime
// declares rand_s.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32_WCE)

#include <aygshell.h>

// coredll's pseudo-random numbers; the CE headers do not declare the call.
extern "C" DWORD WINAPI Random();

// A non-negative number from coredll's generator, which the item never seeds.
inline LONG PlatformRandom() {
    return static_cast<LONG>(Random() & 0x7FFFFFFF);
}

// The shell's open request: CE is Unicode only, and its call has no W.
inline BOOL PlatformShellExecute(SHELLEXECUTEINFOW* info) {
    return ShellExecuteEx(info);
}

// Equal texts, compared code unit by code unit without case, as the object store and FAT
// compare file names.
inline bool OrdinalEqualIgnoringCase(const WCHAR* a, const WCHAR* b) {
    return _wcsicmp(a, b) == 0;
}

#else

// The handheld shell's SHInitDialog, played by the item's own stand-in.
#include "shell/shinitdialog.h"

// A non-negative number from the system's generator; each start differs from the last, which
// an unseeded rand() would not.
inline LONG PlatformRandom() {
    unsigned int value = 0;
    if (rand_s(&value) != 0) {
        value = static_cast<unsigned int>(rand());
    }
    return static_cast<LONG>(value & 0x7FFFFFFF);
}

inline BOOL PlatformShellExecute(SHELLEXECUTEINFOW* info) {
    return ShellExecuteExW(info);
}

inline bool OrdinalEqualIgnoringCase(const WCHAR* a, const WCHAR* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

#endif
