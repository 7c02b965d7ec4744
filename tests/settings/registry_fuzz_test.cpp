// Random registry contents: whatever the five values hold, every load leaves the numeric
// fields within their limits, puts at most 4 bytes into each field, and reads every value
// that is readable, however odd the values before it. Half of the rounds run through a registry
// that leaves garbage in the offered bytes whenever a query fails, as Windows may.
#include <gtest/gtest.h>
#include <random>
#include <string.h>
#include "settings/registry.h"
#include "settings/scribbling_registry.h"
#include "settings/settings.h"
#include "settings/test_settings_key.h"

namespace {

const WCHAR* const NAMES[5] = {L"Height", L"TimeOut1st", L"TimeOutLong", L"TimeOutShort",
                               L"ExchangeQA"};
const DWORD TYPES[4] = {REG_DWORD, REG_BINARY, REG_SZ, REG_QWORD};

DWORD FieldBits(const SettingsRecord& r, int i) {
    const DWORD bits[5] = {(DWORD)r.Height, (DWORD)r.TimeOut1st, (DWORD)r.TimeOutLong,
                           (DWORD)r.TimeOutShort, r.ExchangeQA};
    return bits[i];
}

DWORD Limit(int i, DWORD bits) {
    if (i == 0) {
        return (DWORD)ClampHeight((LONG)bits);
    }
    if (i < 4) {
        return (DWORD)ClampTimeOut((LONG)bits);
    }
    return bits;
}

// What a field may hold after a load, given what it held before and what the value stores:
// the stored bytes over the field's first bytes when there are at most 4 of them, else the
// field unchanged; then the limit. For a string value of at most 2 bytes the registry may
// also terminate it with a NUL unit inside the 4 bytes offered, so that outcome is allowed too.
void Outcomes(int i, DWORD before, bool present, DWORD type, const BYTE* data, DWORD size,
              DWORD* outcomes, int* count) {
    DWORD after = before;
    if (present && size <= 4) {
        memcpy(&after, data, size);
    }
    *count = 0;
    outcomes[(*count)++] = Limit(i, after);
    if (present && type == REG_SZ && size > 0 && size <= 2) {
        BYTE bytes[6];
        memcpy(bytes, &after, 4);
        bytes[size] = 0;
        bytes[size + 1] = 0;
        DWORD terminated;
        memcpy(&terminated, bytes, 4);
        outcomes[(*count)++] = Limit(i, terminated);
    }
}

TEST(RegistryFuzz, ThousandRoundsOfRandomTypesAndSizes) {
    TestSettingsKey key;
    ASSERT_TRUE(TestSettingsKey::Create());
    const unsigned seed = 20261208;
    std::mt19937 random(seed);
    Settings = SettingsRecord{};
    int oversized = 0;
    int readAfterOdd = 0;

    for (int round = 0; round < 1000; ++round) {
        bool present[5];
        DWORD type[5];
        DWORD size[5];
        BYTE data[5][64];
        for (int i = 0; i < 5; ++i) {
            present[i] = random() % 12 != 0; // now and then a missing value
            type[i] = TYPES[random() % 4];
            DWORD n = random() % 17;
            BYTE bytes[16];
            for (DWORD b = 0; b < n; ++b) {
                bytes[b] = (BYTE)random();
            }
            TestSettingsKey::DeleteValue(NAMES[i]);
            if (present[i]) {
                ASSERT_EQ(ERROR_SUCCESS, TestSettingsKey::SetRaw(NAMES[i], type[i], bytes, n));
                // The registry may adjust a string's size when storing it: take what it holds.
                DWORD storedType = 0;
                ASSERT_EQ(ERROR_SUCCESS,
                          TestSettingsKey::Read(NAMES[i], &storedType, data[i], &size[i]));
                ASSERT_EQ(type[i], storedType);
            }
        }
        const SettingsRecord before = Settings;
        // Every other round the failed queries leave garbage in the bytes they were offered.
        UseSettingsRegistry(round % 2 != 0 ? ScribblingRegistry() : nullptr);
        LoadSettings();
        UseSettingsRegistry(nullptr);

        bool oddBefore = false;
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round << " value "
                                            << i << " type " << type[i] << " size " << size[i]);
            DWORD outcomes[2];
            int count = 0;
            Outcomes(i, FieldBits(before, i), present[i], type[i], data[i], size[i], outcomes,
                     &count);
            DWORD got = FieldBits(Settings, i);
            EXPECT_TRUE(got == outcomes[0] || (count == 2 && got == outcomes[1]))
                << "got " << got << " expected " << outcomes[0];
            if (present[i] && size[i] <= 4 && oddBefore) {
                ++readAfterOdd;
            }
            if (!present[i] || size[i] > 4) {
                oddBefore = true;
                oversized += present[i] ? 1 : 0;
            }
        }
        ASSERT_GE(Settings.Height, 0);
        ASSERT_LE(Settings.Height, 256);
        ASSERT_GE(Settings.TimeOut1st, 1);
        ASSERT_LE(Settings.TimeOut1st, 10000);
        ASSERT_GE(Settings.TimeOutLong, 1);
        ASSERT_LE(Settings.TimeOutLong, 10000);
        ASSERT_GE(Settings.TimeOutShort, 1);
        ASSERT_LE(Settings.TimeOutShort, 10000);
        if (HasFailure()) {
            break;
        }
    }
    // The random mix really had long values and values read after them.
    EXPECT_GT(oversized, 1000);
    EXPECT_GT(readAfterOdd, 500);
    RecordProperty("oversizedValues", oversized);
    RecordProperty("valuesReadAfterAnOddOne", readAfterOdd);
}

} // namespace
