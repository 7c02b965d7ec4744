// A registry that behaves like the real one, except that a query that fails leaves garbage in
// the bytes it was offered (and only in those), as Windows allows: the buffer's content is
// undefined when the data does not fit. For data that is too long it writes the data's first
// bytes, for any other failure 0xEE bytes.
#pragma once

#include <windows.h>
#include <string.h>
#include "settings/registry.h"

inline LONG ScribblingQuery(HKEY key, const WCHAR* name, DWORD* type, BYTE* data, DWORD* size) {
    DWORD offered = *size;
    LONG rc = RealSettingsRegistry()->query(key, name, type, data, size);
    if (rc == ERROR_SUCCESS) {
        return rc;
    }
    memset(data, 0xEE, offered);
    if (rc == ERROR_MORE_DATA) {
        BYTE whole[256];
        DWORD wholeSize = sizeof(whole);
        if (RegQueryValueExW(key, name, nullptr, nullptr, whole, &wholeSize) == ERROR_SUCCESS) {
            memcpy(data, whole, offered);
        }
    }
    return rc;
}

inline const SettingsRegistry* ScribblingRegistry() {
    static const SettingsRegistry registry = {RealSettingsRegistry()->open, ScribblingQuery,
                                              RealSettingsRegistry()->set,
                                              RealSettingsRegistry()->close};
    return &registry;
}
