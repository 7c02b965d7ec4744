// The registry calls that the settings store makes, behind a narrow table so that tests can
// watch them or make them fail. The store uses the real registry unless told otherwise.
#pragma once

#include <windows.h>

// Access asked for when the settings are read. A key opened with no access at all refuses
// every query on desktop Windows and on Wine, so reading asks for query access only.
#define SETTINGS_LOAD_ACCESS KEY_QUERY_VALUE
// Access asked for when the settings are written.
#define SETTINGS_SAVE_ACCESS KEY_ALL_ACCESS

struct SettingsRegistry {
    // Opens an existing key; never creates one. ERROR_SUCCESS when key was set.
    LONG (*open)(HKEY root, const WCHAR* subKey, REGSAM access, HKEY* key);
    // Reads a value into data; size holds the bytes offered and receives the bytes stored.
    LONG (*query)(HKEY key, const WCHAR* name, DWORD* type, BYTE* data, DWORD* size);
    LONG (*set)(HKEY key, const WCHAR* name, DWORD type, const BYTE* data, DWORD size);
    void (*close)(HKEY key);
};

// The table that calls RegOpenKeyExW, RegQueryValueExW, RegSetValueExW and RegCloseKey.
const SettingsRegistry* RealSettingsRegistry();

// Makes LoadSettings and SaveSettings use registry from now on; NULL restores the real one.
void UseSettingsRegistry(const SettingsRegistry* registry);
