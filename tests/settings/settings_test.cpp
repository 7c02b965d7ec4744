#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "settings/registry.h"
#include "settings/settings.h"
#include "settings/scribbling_registry.h"
#include "settings/test_settings_key.h"

namespace {

const SettingsRecord DEFAULTS = {32, 5000, 2000, 100, 0};

void ExpectRecord(const SettingsRecord& want, const SettingsRecord& got) {
    EXPECT_EQ(want.Height, got.Height);
    EXPECT_EQ(want.TimeOut1st, got.TimeOut1st);
    EXPECT_EQ(want.TimeOutLong, got.TimeOutLong);
    EXPECT_EQ(want.TimeOutShort, got.TimeOutShort);
    EXPECT_EQ(want.ExchangeQA, got.ExchangeQA);
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { Settings = SettingsRecord{}; } // as at module load
    void TearDown() override { UseSettingsRegistry(nullptr); }
    TestSettingsKey key_;
};

TEST_F(SettingsStore, NoKeyGivesDefaultsAndSavingNeverCreatesTheKey) {
    Settings = {-7, 0, 99999, 3, 9};
    LoadSettings();
    ExpectRecord(DEFAULTS, Settings);

    Settings = {1000, 1, 2, 3, 4};
    SaveSettings();
    EXPECT_FALSE(TestSettingsKey::Exists());
    EXPECT_EQ(1000, Settings.Height); // the record keeps what the caller put there

    LoadSettings();
    ExpectRecord(DEFAULTS, Settings);
    EXPECT_FALSE(TestSettingsKey::Exists());
}

TEST_F(SettingsStore, EmptyKeyAtFirstLoadGivesTheLowerLimitsNotTheDefaults) {
    ASSERT_TRUE(TestSettingsKey::Create());
    LoadSettings();
    ExpectRecord({0, 1, 1, 1, 0}, Settings);
}

TEST_F(SettingsStore, MissingValueKeepsEarlierContentThenTheLimitsApply) {
    ASSERT_TRUE(TestSettingsKey::Create());
    TestSettingsKey::SetDword(L"TimeOut1st", 4321);
    Settings = {5000, 0, 777, -3, 0x12345678};
    LoadSettings();
    ExpectRecord({256, 4321, 777, 1, 0x12345678}, Settings);
}

TEST_F(SettingsStore, StoredValuesAreClampedAtEachBoundary) {
    struct Case {
        DWORD stored;
        LONG height;
        LONG timeOut;
    };
    const Case cases[] = {
        {300, 256, 300},    {257, 256, 257},     {256, 256, 256},          {0, 0, 1},
        {1, 1, 1},          {10000, 256, 10000}, {10001, 256, 10000},      {(DWORD)-5, 0, 1},
        {0xFFFFFFFF, 0, 1}, {0x80000000, 0, 1},  {0x7FFFFFFF, 256, 10000},
    };
    ASSERT_TRUE(TestSettingsKey::Create());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        TestSettingsKey::SetAll(c.stored, c.stored, c.stored, c.stored, c.stored);
        LoadSettings();
        ExpectRecord({c.height, c.timeOut, c.timeOut, c.timeOut, c.stored}, Settings);
    }
}

TEST_F(SettingsStore, ExchangeQAIsUsedUnchanged) {
    ASSERT_TRUE(TestSettingsKey::Create());
    TestSettingsKey::SetAll(40, 3000, 1500, 50, 7);
    LoadSettings();
    ExpectRecord({40, 3000, 1500, 50, 7}, Settings);
}

TEST_F(SettingsStore, DataOfUpToFourBytesOfAnyTypeIsCopiedFromTheFirstByte) {
    ASSERT_TRUE(TestSettingsKey::Create());
    const BYTE four[4] = {0x10, 0x27, 0, 0}; // 10000
    const BYTE two[2] = {0xAA, 0xBB};
    const BYTE thousand[2] = {0xE8, 0x03};
    const BYTE one[1] = {0x05};
    TestSettingsKey::SetRaw(L"Height", REG_BINARY, one, sizeof(one));
    TestSettingsKey::SetRaw(L"TimeOut1st", REG_BINARY, four, sizeof(four));
    TestSettingsKey::SetRaw(L"TimeOutLong", REG_BINARY, thousand, sizeof(thousand));
    TestSettingsKey::SetRaw(L"TimeOutShort", REG_NONE, nullptr, 0);
    TestSettingsKey::SetRaw(L"ExchangeQA", REG_BINARY, two, sizeof(two));
    Settings = {0x0100, 0, 0, 1234, 0x11223344};
    LoadSettings();
    // Height 0x100 with its low byte replaced is 0x105 = 261, which the limit makes 256;
    // empty data changes nothing; two bytes replace only the low half of ExchangeQA.
    ExpectRecord({256, 10000, 1000, 1234, 0x1122BBAA}, Settings);
}

TEST_F(SettingsStore, ValueLongerThanFourBytesLeavesItsFieldAndTheNextIsStillRead) {
    ASSERT_TRUE(TestSettingsKey::Create());
    const BYTE eight[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x08};
    const unsigned long long qword = 50;
    TestSettingsKey::SetAll(100, 4000, 3000, 200, 1);
    TestSettingsKey::SetRaw(L"Height", REG_BINARY, eight, sizeof(eight));
    TestSettingsKey::SetRaw(L"TimeOutLong", REG_QWORD, &qword, sizeof(qword));
    TestSettingsKey::SetRaw(L"ExchangeQA", REG_SZ, L"12345", 12);
    Settings = {77, 0, 555, 0, 0xCAFE};
    LoadSettings();
    ExpectRecord({77, 4000, 555, 200, 0xCAFE}, Settings);
}

TEST_F(SettingsStore, FailedQueryNeverChangesTheFieldWhateverItLeftInTheBuffer) {
    ASSERT_TRUE(TestSettingsKey::Create());
    const BYTE eight[8] = {0x08, 0, 0, 0, 0x55, 0x66, 0x77, 0x08};
    TestSettingsKey::SetRaw(L"Height", REG_BINARY, eight, sizeof(eight));
    TestSettingsKey::SetRaw(L"TimeOut1st", REG_SZ, L"9999", 10);
    TestSettingsKey::SetDword(L"TimeOutShort", 300); // TimeOutLong and ExchangeQA missing
    UseSettingsRegistry(ScribblingRegistry());
    Settings = {200, 4000, 2500, 0, 0x5A5A};
    LoadSettings();
    ExpectRecord({200, 4000, 2500, 300, 0x5A5A}, Settings);
}

TEST_F(SettingsStore, ShortStringValueIsReadAsItsBytes) {
    ASSERT_TRUE(TestSettingsKey::Create());
    TestSettingsKey::SetRaw(L"ExchangeQA", REG_SZ, L"7", 4); // '7', NUL
    TestSettingsKey::SetRaw(L"TimeOut1st", REG_SZ, L"", 2);  // NUL only
    Settings = {0, 0x0000FFFF, 0, 0, 0x99999999};
    LoadSettings();
    EXPECT_EQ(0x37u, Settings.ExchangeQA);
    EXPECT_EQ(1, Settings.TimeOut1st); // 0x0000FFFF with its low 2 bytes cleared: 0 -> 1
}

TEST_F(SettingsStore, SaveStoresFieldsUnchangedAsDwordsAndLoadClampsThem) {
    ASSERT_TRUE(TestSettingsKey::Create());
    Settings = {1000, -7, 0, 20000, 0xDEADBEEF};
    SaveSettings();
    const WCHAR* names[] = {L"Height", L"TimeOut1st", L"TimeOutLong", L"TimeOutShort",
                            L"ExchangeQA"};
    const DWORD want[] = {1000, (DWORD)-7, 0, 20000, 0xDEADBEEF};
    for (int i = 0; i < 5; ++i) {
        DWORD value = 0;
        ASSERT_TRUE(TestSettingsKey::ReadDword(names[i], &value)) << names[i];
        EXPECT_EQ(want[i], value) << names[i];
    }
    LoadSettings();
    ExpectRecord({256, 1, 1, 10000, 0xDEADBEEF}, Settings);
}

TEST_F(SettingsStore, InstallFileCreatesTheKeyWithExactlyTheDefaults) {
    WCHAR regFile[MAX_PATH];
    ASSERT_GT(GetFullPathNameW(L"" TOLLAMY_SOURCE_DIR "/resources/tollamy.reg", MAX_PATH, regFile,
                               nullptr),
              0u);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(regFile)) << "missing install file";
    std::wstring command = L"regedit.exe /S \"" + std::wstring(regFile) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 30000));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    ASSERT_TRUE(TestSettingsKey::Exists());
    const WCHAR* names[] = {L"Height", L"TimeOut1st", L"TimeOutLong", L"TimeOutShort",
                            L"ExchangeQA"};
    const DWORD want[] = {32, 5000, 2000, 100, 0};
    for (int i = 0; i < 5; ++i) {
        DWORD value = 0xFFFF;
        ASSERT_TRUE(TestSettingsKey::ReadDword(names[i], &value)) << names[i];
        EXPECT_EQ(want[i], value) << names[i];
    }
    Settings = {1, 2, 3, 4, 5};
    LoadSettings();
    ExpectRecord(DEFAULTS, Settings);
}

// A registry that passes every call to the real one and records what was asked.
struct RegistryCall {
    char what; // 'o' open, 'q' query, 's' set, 'c' close
    std::wstring name;
    DWORD sizeOffered; // query: bytes offered; set: bytes written; open: access
    DWORD type;        // set only
    LONG result;
};
std::vector<RegistryCall> calls;
std::wstring failingSet; // a value whose write fails

LONG RecordOpen(HKEY root, const WCHAR* subKey, REGSAM access, HKEY* key) {
    LONG rc = RealSettingsRegistry()->open(root, subKey, access, key);
    calls.push_back({'o', subKey, (DWORD)access, 0, rc});
    return rc;
}

LONG RecordQuery(HKEY key, const WCHAR* name, DWORD* type, BYTE* data, DWORD* size) {
    DWORD offered = *size;
    LONG rc = RealSettingsRegistry()->query(key, name, type, data, size);
    calls.push_back({'q', name, offered, 0, rc});
    return rc;
}

LONG RecordSet(HKEY key, const WCHAR* name, DWORD type, const BYTE* data, DWORD size) {
    LONG rc = name == failingSet ? ERROR_ACCESS_DENIED
                                 : RealSettingsRegistry()->set(key, name, type, data, size);
    calls.push_back({'s', name, size, type, rc});
    return rc;
}

void RecordClose(HKEY key) {
    RealSettingsRegistry()->close(key);
    calls.push_back({'c', L"", 0, 0, 0});
}

const SettingsRegistry recordingRegistry = {RecordOpen, RecordQuery, RecordSet, RecordClose};

TEST_F(SettingsStore, EveryQueryIsOfferedFourBytesAlsoAfterOneFailed) {
    ASSERT_TRUE(TestSettingsKey::Create());
    const BYTE eight[8] = {};
    TestSettingsKey::SetRaw(L"TimeOut1st", REG_BINARY, eight, sizeof(eight)); // too long
    TestSettingsKey::SetDword(L"TimeOutLong", 900);                           // Height missing
    TestSettingsKey::SetRaw(L"TimeOutShort", REG_SZ, L"abcdefgh", 18);
    TestSettingsKey::SetDword(L"ExchangeQA", 1);
    calls.clear();
    UseSettingsRegistry(&recordingRegistry);
    LoadSettings();
    LoadSettings();

    const WCHAR* order[] = {L"Height", L"TimeOut1st", L"TimeOutLong", L"TimeOutShort",
                            L"ExchangeQA"};
    ASSERT_EQ(14u, calls.size());
    for (int load = 0; load < 2; ++load) {
        const RegistryCall* c = &calls[load * 7];
        EXPECT_EQ('o', c[0].what);
        EXPECT_EQ((DWORD)SETTINGS_LOAD_ACCESS, c[0].sizeOffered);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ('q', c[1 + i].what);
            EXPECT_EQ(order[i], c[1 + i].name);
            EXPECT_EQ(4u, c[1 + i].sizeOffered) << "query " << i << " of load " << load;
        }
        EXPECT_NE(ERROR_SUCCESS, c[1].result); // missing
        EXPECT_NE(ERROR_SUCCESS, c[2].result); // too long
        EXPECT_EQ('c', c[6].what);
    }
    ExpectRecord({0, 1, 900, 1, 1}, Settings);
}

TEST_F(SettingsStore, SaveAttemptsEveryWriteInOrderAfterOneFails) {
    ASSERT_TRUE(TestSettingsKey::Create());
    calls.clear();
    failingSet = L"TimeOut1st";
    UseSettingsRegistry(&recordingRegistry);
    Settings = {10, 20, 30, 40, 1};
    SaveSettings();
    failingSet.clear();

    const WCHAR* order[] = {L"Height", L"TimeOut1st", L"TimeOutLong", L"TimeOutShort",
                            L"ExchangeQA"};
    ASSERT_EQ(7u, calls.size());
    EXPECT_EQ((DWORD)KEY_ALL_ACCESS, calls[0].sizeOffered);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ('s', calls[1 + i].what);
        EXPECT_EQ(order[i], calls[1 + i].name);
        EXPECT_EQ((DWORD)REG_DWORD, calls[1 + i].type);
        EXPECT_EQ(4u, calls[1 + i].sizeOffered);
    }
    EXPECT_EQ('c', calls[6].what);
    DWORD value = 0;
    EXPECT_FALSE(TestSettingsKey::ReadDword(L"TimeOut1st", &value));
    ASSERT_TRUE(TestSettingsKey::ReadDword(L"ExchangeQA", &value));
    EXPECT_EQ(1u, value);
}

LONG DeniedOpen(HKEY, const WCHAR*, REGSAM, HKEY*) {
    return ERROR_ACCESS_DENIED;
}
const SettingsRegistry deniedRegistry = {DeniedOpen, RecordQuery, RecordSet, RecordClose};

TEST_F(SettingsStore, KeyThatCannotBeOpenedGivesDefaultsAndStoresNothing) {
    ASSERT_TRUE(TestSettingsKey::Create());
    TestSettingsKey::SetAll(1, 2, 3, 4, 5);
    calls.clear();
    UseSettingsRegistry(&deniedRegistry);
    LoadSettings();
    ExpectRecord(DEFAULTS, Settings);
    SaveSettings();
    EXPECT_TRUE(calls.empty()); // no query, write or close without an open key
}

} // namespace
