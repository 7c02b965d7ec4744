// The Today items list as the host reads it, from a list key of the test's own under
// HKEY_CURRENT_USER (the host reads HKEY_LOCAL_MACHINE; the layout is the same).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/itemlist.h"

namespace {

class ItemList : public ::testing::Test {
protected:
    ItemList() : path_(L"Software\\TollamyTest\\Items-" + std::to_wstring(GetCurrentProcessId())) {}
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }

    HKEY Entry(const std::wstring& name) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, (path_ + L"\\" + name).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr);
        return key;
    }
    static void Dword(HKEY key, const wchar_t* name, DWORD value) {
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
    }
    static void Text(HKEY key, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ,
                     bool terminated = true) {
        RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + (terminated ? 1 : 0)) * sizeof(WCHAR)));
    }
    // An enabled custom item with its DLL value.
    void Custom(const std::wstring& name, DWORD order, const std::wstring& dll) {
        HKEY key = Entry(name);
        Dword(key, L"Type", 4);
        Dword(key, L"Enabled", 1);
        Dword(key, L"Order", order);
        Text(key, L"DLL", dll);
        RegCloseKey(key);
    }
    std::vector<TodayItemEntry> Read() {
        return ReadTodayItemList(HKEY_CURRENT_USER, path_.c_str());
    }

    std::wstring path_;
};

TEST_F(ItemList, AMissingListIsEmpty) {
    EXPECT_TRUE(Read().empty());
}

TEST_F(ItemList, EnabledCustomItemsComeInOrderThenByName) {
    Custom(L"Late", 7, L"C:\\late.dll");
    Custom(L"beta", 2, L"C:\\beta.dll");
    Custom(L"Alpha", 2, L"C:\\alpha.dll");
    Custom(L"First", 0, L"C:\\first.dll");
    std::vector<TodayItemEntry> list = Read();
    ASSERT_EQ(4u, list.size());
    EXPECT_EQ(L"First", list[0].name);
    EXPECT_EQ(L"Alpha", list[1].name);
    EXPECT_EQ(L"beta", list[2].name);
    EXPECT_EQ(L"Late", list[3].name);
    EXPECT_EQ(L"C:\\beta.dll", list[2].dllPath);
    EXPECT_EQ(7u, list[3].order);
    for (const TodayItemEntry& e : list) {
        EXPECT_EQ(L"", e.problem) << e.name.size();
    }
}

TEST_F(ItemList, DisabledAndBuiltInEntriesAreNotListed) {
    Custom(L"Shown", 1, L"C:\\shown.dll");
    HKEY off = Entry(L"Off");
    Dword(off, L"Type", 4);
    Dword(off, L"Enabled", 0);
    Text(off, L"DLL", L"C:\\off.dll");
    RegCloseKey(off);
    HKEY noEnabled = Entry(L"NoEnabled");
    Dword(noEnabled, L"Type", 4);
    Text(noEnabled, L"DLL", L"C:\\none.dll");
    RegCloseKey(noEnabled);
    HKEY tasks = Entry(L"Tasks");
    Dword(tasks, L"Type", 3);
    Dword(tasks, L"Enabled", 1);
    RegCloseKey(tasks);
    HKEY textType = Entry(L"TextType");
    Text(textType, L"Type", L"4");
    Dword(textType, L"Enabled", 1);
    Text(textType, L"DLL", L"C:\\texttype.dll");
    RegCloseKey(textType);
    std::vector<TodayItemEntry> list = Read();
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ(L"Shown", list[0].name);
}

TEST_F(ItemList, TheOtherValuesAreReadAndANonDwordReadsAsZero) {
    HKEY key = Entry(L"Full");
    Dword(key, L"Type", 4);
    Dword(key, L"Enabled", 1);
    Text(key, L"Order", L"5");
    Dword(key, L"Options", 1);
    Dword(key, L"Selectability", 2);
    Dword(key, L"Flags", 0x10001);
    Text(key, L"DLL", L"C:\\full.dll");
    RegCloseKey(key);
    std::vector<TodayItemEntry> list = Read();
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ(0u, list[0].order);
    EXPECT_EQ(1u, list[0].options);
    EXPECT_EQ(2u, list[0].selectability);
    EXPECT_EQ(0x10001u, list[0].flags);
}

TEST_F(ItemList, ABrokenDllValueIsListedWithItsProblem) {
    const struct {
        const wchar_t* name;
        DWORD type;
        std::wstring value;
        const wchar_t* problem;
    } cases[] = {
        {L"B1Dword", REG_DWORD, L"", L"its DLL value is not a string"},
        {L"B2Binary", REG_BINARY, L"C:\\x.dll", L"its DLL value is not a string"},
        {L"B3Multi", REG_MULTI_SZ, L"C:\\x.dll", L"its DLL value is not a string"},
        {L"B4Empty", REG_SZ, L"", L"its DLL value is empty"},
        {L"B5Long", REG_SZ, L"C:\\" + std::wstring(MAX_PATH - 7, L'a') + L".dll",
         L"its DLL value is too long (MAX_PATH units or more)"},
        {L"B6None", REG_NONE, L"", L"it has no DLL value"},
    };
    for (const auto& c : cases) {
        HKEY key = Entry(c.name);
        Dword(key, L"Type", 4);
        Dword(key, L"Enabled", 1);
        if (c.type == REG_DWORD) {
            Dword(key, L"DLL", 12);
        } else if (c.type != REG_NONE) {
            Text(key, L"DLL", c.value, c.type);
        }
        RegCloseKey(key);
    }
    std::vector<TodayItemEntry> list = Read();
    ASSERT_EQ(6u, list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(cases[i].name, list[i].name);
        EXPECT_EQ(cases[i].problem, list[i].problem) << i;
        EXPECT_EQ(L"", list[i].dllPath) << i;
    }
}

TEST_F(ItemList, ADllPathOfMaxPathLessOneUnitsAnUnterminatedOneAndAnExpandedOneAreRead) {
    const std::wstring longest = L"C:\\" + std::wstring(MAX_PATH - 8, L'b') + L".dll";
    ASSERT_EQ(static_cast<size_t>(MAX_PATH - 1), longest.size());
    Custom(L"Longest", 1, longest);
    HKEY bare = Entry(L"Unterminated");
    Dword(bare, L"Type", 4);
    Dword(bare, L"Enabled", 1);
    Dword(bare, L"Order", 2);
    Text(bare, L"DLL", L"C:\\bare.dll", REG_SZ, false);
    RegCloseKey(bare);
    SetEnvironmentVariableW(L"TOLLAMY_ITEM_DIR", L"D:\\decks");
    HKEY expand = Entry(L"Expanded");
    Dword(expand, L"Type", 4);
    Dword(expand, L"Enabled", 1);
    Dword(expand, L"Order", 3);
    Text(expand, L"DLL", L"%TOLLAMY_ITEM_DIR%\\French.dll", REG_EXPAND_SZ);
    RegCloseKey(expand);
    std::vector<TodayItemEntry> list = Read();
    ASSERT_EQ(3u, list.size());
    EXPECT_EQ(longest, list[0].dllPath);
    EXPECT_EQ(L"", list[0].problem);
    EXPECT_EQ(L"C:\\bare.dll", list[1].dllPath);
    EXPECT_EQ(L"D:\\decks\\French.dll", list[2].dllPath);
}

} // namespace
