// The item's five settings and their registry storage.
#pragma once

#include <windows.h>

#define SETTINGS_KEY L"Software\\Vessick\\Tollamy"

#define HEIGHT_MIN 0
#define HEIGHT_MAX 256
#define TIMEOUT_MIN 1
#define TIMEOUT_MAX 10000

#define DEFAULT_HEIGHT 32
#define DEFAULT_TIMEOUT_1ST 5000
#define DEFAULT_TIMEOUT_LONG 2000
#define DEFAULT_TIMEOUT_SHORT 100
#define DEFAULT_EXCHANGE_QA 0

// Fields are named like the registry values that store them, in the order both operations
// visit them.
struct SettingsRecord {
    LONG Height;       // pixels, 0..256
    LONG TimeOut1st;   // ms, 1..10000: the answer side first shown after a selection
    LONG TimeOutLong;  // ms, 1..10000: the question side on each turn
    LONG TimeOutShort; // ms, 1..10000: the answer side on each later turn
    DWORD ExchangeQA;  // 0 off, anything else on: swap the sides of new cards at random
};

extern SettingsRecord Settings;

// Fills Settings from the registry (or the defaults when the key cannot be opened) and brings
// the numeric fields into their limits.
void LoadSettings();
// Writes the five fields as they stand. The key is only opened, never created.
void SaveSettings();

LONG ClampHeight(LONG value);
LONG ClampTimeOut(LONG value);
