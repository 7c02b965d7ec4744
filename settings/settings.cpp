// The settings record and its storage under HKEY_CURRENT_USER\Software\Vessick\Tollamy.
#include "settings/settings.h"
#include "settings/registry.h"

#include <string.h>

SettingsRecord Settings;

namespace {

LONG RealOpen(HKEY root, const WCHAR* subKey, REGSAM access, HKEY* key) {
    return RegOpenKeyExW(root, subKey, 0, access, key);
}

LONG RealQuery(HKEY key, const WCHAR* name, DWORD* type, BYTE* data, DWORD* size) {
    return RegQueryValueExW(key, name, NULL, type, data, size);
}

LONG RealSet(HKEY key, const WCHAR* name, DWORD type, const BYTE* data, DWORD size) {
    return RegSetValueExW(key, name, 0, type, data, size);
}

void RealClose(HKEY key) {
    RegCloseKey(key);
}

const SettingsRegistry realRegistry = {RealOpen, RealQuery, RealSet, RealClose};
const SettingsRegistry* registry = &realRegistry;

enum FieldLimit { LIMIT_NONE, LIMIT_HEIGHT, LIMIT_TIMEOUT };

// One field of the record, in the order both operations visit them.
struct SettingsField {
    const WCHAR* name;
    void* field; // 4 bytes
    FieldLimit limit;
};

const SettingsField fields[] = {
    {L"Height", &Settings.Height, LIMIT_HEIGHT},
    {L"TimeOut1st", &Settings.TimeOut1st, LIMIT_TIMEOUT},
    {L"TimeOutLong", &Settings.TimeOutLong, LIMIT_TIMEOUT},
    {L"TimeOutShort", &Settings.TimeOutShort, LIMIT_TIMEOUT},
    {L"ExchangeQA", &Settings.ExchangeQA, LIMIT_NONE},
};
const int FIELD_COUNT = sizeof(fields) / sizeof(fields[0]);

const DWORD FIELD_BYTES = 4;
static_assert(sizeof(Settings.Height) == FIELD_BYTES && sizeof(Settings.ExchangeQA) == FIELD_BYTES,
              "every settings field is stored in 4 bytes");

void ApplyLimit(const SettingsField& f) {
    LONG value;
    memcpy(&value, f.field, FIELD_BYTES);
    switch (f.limit) {
    case LIMIT_HEIGHT:
        value = ClampHeight(value);
        break;
    case LIMIT_TIMEOUT:
        value = ClampTimeOut(value);
        break;
    case LIMIT_NONE:
        return;
    }
    memcpy(f.field, &value, FIELD_BYTES);
}

// Reads one value over the field. The query fills a copy of the field, so data of up to 4
// bytes replaces the bytes it covers and leaves the others; a value that is missing, longer
// than 4 bytes or unreadable leaves the field exactly as it was.
void QueryField(HKEY key, const SettingsField& f) {
    BYTE copy[FIELD_BYTES];
    memcpy(copy, f.field, FIELD_BYTES);
    DWORD type = 0;
    DWORD size = FIELD_BYTES;
    if (registry->query(key, f.name, &type, copy, &size) == ERROR_SUCCESS && size <= FIELD_BYTES) {
        memcpy(f.field, copy, FIELD_BYTES);
    }
}

} // namespace

const SettingsRegistry* RealSettingsRegistry() {
    return &realRegistry;
}

void UseSettingsRegistry(const SettingsRegistry* r) {
    registry = r != NULL ? r : &realRegistry;
}

LONG ClampHeight(LONG value) {
    if (value > HEIGHT_MAX) {
        return HEIGHT_MAX;
    }
    if (value < HEIGHT_MIN) {
        return HEIGHT_MIN;
    }
    return value;
}

LONG ClampTimeOut(LONG value) {
    if (value > TIMEOUT_MAX) {
        return TIMEOUT_MAX;
    }
    if (value < TIMEOUT_MIN) {
        return TIMEOUT_MIN;
    }
    return value;
}

void LoadSettings() {
    HKEY key = NULL;
    if (registry->open(HKEY_CURRENT_USER, SETTINGS_KEY, SETTINGS_LOAD_ACCESS, &key) !=
        ERROR_SUCCESS) {
        Settings.Height = DEFAULT_HEIGHT;
        Settings.TimeOut1st = DEFAULT_TIMEOUT_1ST;
        Settings.TimeOutLong = DEFAULT_TIMEOUT_LONG;
        Settings.TimeOutShort = DEFAULT_TIMEOUT_SHORT;
        Settings.ExchangeQA = DEFAULT_EXCHANGE_QA;
        return;
    }
    for (int i = 0; i < FIELD_COUNT; ++i) {
        QueryField(key, fields[i]);
        ApplyLimit(fields[i]);
    }
    registry->close(key);
}

void SaveSettings() {
    HKEY key = NULL;
    if (registry->open(HKEY_CURRENT_USER, SETTINGS_KEY, SETTINGS_SAVE_ACCESS, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    // Every write is attempted; a failed one does not stop the others.
    for (int i = 0; i < FIELD_COUNT; ++i) {
        registry->set(key, fields[i].name, REG_DWORD, static_cast<const BYTE*>(fields[i].field),
                      FIELD_BYTES);
    }
    registry->close(key);
}
