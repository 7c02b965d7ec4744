// STUB for the item branch; removed at merge
// A small stand-in for the settings store, so that the item links and its tests run before
// the real store arrives.
#include "settings/settings.h"

SettingsRecord Settings;

LONG ClampHeight(LONG value) {
    return value < HEIGHT_MIN ? HEIGHT_MIN : (value > HEIGHT_MAX ? HEIGHT_MAX : value);
}

LONG ClampTimeOut(LONG value) {
    return value < TIMEOUT_MIN ? TIMEOUT_MIN : (value > TIMEOUT_MAX ? TIMEOUT_MAX : value);
}

void LoadSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        Settings = {DEFAULT_HEIGHT, DEFAULT_TIMEOUT_1ST, DEFAULT_TIMEOUT_LONG,
                    DEFAULT_TIMEOUT_SHORT, DEFAULT_EXCHANGE_QA};
        return;
    }
    const WCHAR* names[5] = {L"Height", L"TimeOut1st", L"TimeOutLong", L"TimeOutShort",
                             L"ExchangeQA"};
    void* fields[5] = {&Settings.Height, &Settings.TimeOut1st, &Settings.TimeOutLong,
                       &Settings.TimeOutShort, &Settings.ExchangeQA};
    for (int i = 0; i < 5; ++i) {
        DWORD size = 4;
        RegQueryValueExW(key, names[i], nullptr, nullptr, static_cast<BYTE*>(fields[i]), &size);
    }
    Settings.Height = ClampHeight(Settings.Height);
    Settings.TimeOut1st = ClampTimeOut(Settings.TimeOut1st);
    Settings.TimeOutLong = ClampTimeOut(Settings.TimeOutLong);
    Settings.TimeOutShort = ClampTimeOut(Settings.TimeOutShort);
    RegCloseKey(key);
}

void SaveSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return;
    }
    const WCHAR* names[5] = {L"Height", L"TimeOut1st", L"TimeOutLong", L"TimeOutShort",
                             L"ExchangeQA"};
    const void* fields[5] = {&Settings.Height, &Settings.TimeOut1st, &Settings.TimeOutLong,
                             &Settings.TimeOutShort, &Settings.ExchangeQA};
    for (int i = 0; i < 5; ++i) {
        RegSetValueExW(key, names[i], 0, REG_DWORD, static_cast<const BYTE*>(fields[i]), 4);
    }
    RegCloseKey(key);
}
