// The settings key in the test prefix's registry. A test holds one of these for its whole run:
// the key is deleted when it is made and again when it goes.
#pragma once

#include <windows.h>
#include <string.h>
#include "settings/settings.h"

class TestSettingsKey {
public:
    TestSettingsKey() { Delete(); }
    ~TestSettingsKey() { Delete(); }
    TestSettingsKey(const TestSettingsKey&) = delete;
    TestSettingsKey& operator=(const TestSettingsKey&) = delete;

    static void Delete() {
        RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
        RegDeleteKeyW(HKEY_CURRENT_USER, SETTINGS_KEY);
    }

    static bool Exists() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    static bool Create() {
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    static LONG SetRaw(const WCHAR* name, DWORD type, const void* data, DWORD size) {
        return RegSetKeyValueW(HKEY_CURRENT_USER, SETTINGS_KEY, name, type, data, size);
    }

    static LONG SetDword(const WCHAR* name, DWORD value) {
        return SetRaw(name, REG_DWORD, &value, sizeof(value));
    }

    static void DeleteValue(const WCHAR* name) {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, SETTINGS_KEY, name);
    }

    // Reads a value as it is stored: its type, its size and up to 64 bytes of its data.
    static LONG Read(const WCHAR* name, DWORD* type, BYTE (&data)[64], DWORD* size) {
        HKEY key;
        LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key);
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
        memset(data, 0, sizeof(data));
        *size = sizeof(data);
        rc = RegQueryValueExW(key, name, nullptr, type, data, size);
        RegCloseKey(key);
        return rc;
    }

    // True when the value is a REG_DWORD of exactly 4 bytes; its content goes to value.
    static bool ReadDword(const WCHAR* name, DWORD* value) {
        DWORD type = 0;
        DWORD size = 0;
        BYTE data[64];
        if (Read(name, &type, data, &size) != ERROR_SUCCESS || type != REG_DWORD || size != 4) {
            return false;
        }
        memcpy(value, data, 4);
        return true;
    }

    // Stores all five values as REG_DWORD, in the record's order.
    static void SetAll(DWORD height, DWORD first, DWORD longer, DWORD shorter, DWORD exchange) {
        SetDword(L"Height", height);
        SetDword(L"TimeOut1st", first);
        SetDword(L"TimeOutLong", longer);
        SetDword(L"TimeOutShort", shorter);
        SetDword(L"ExchangeQA", exchange);
    }
};
