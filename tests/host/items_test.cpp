// today-host.exe reading the Today items list (HKEY_LOCAL_MACHINE, Software\Microsoft\Today\Items)
// with two copies of the real Tollamy.dll, A.dll and B.dll, each beside a deck of one
// card of its own.
#include <gtest/gtest.h>

#include <stdio.h>

#include <thread>

#include "support/hostrun.h"
#include "support/recorder_association.h"

using hostrun::HostResult;
using hostrun::Image;

namespace {

const wchar_t ITEMS_KEY[] = L"Software\\Microsoft\\Today\\Items";

std::string Describe(const HostResult& result) {
    std::string text = "status " + std::to_string(result.status) + "\nstdout:\n";
    for (const std::string& line : result.lines) {
        text += "  " + line + "\n";
    }
    return text + "stderr:\n" + result.errors;
}

bool SamePixels(const Image& a, const Image& b) {
    return a.width == b.width && a.height == b.height && a.bgra == b.bgra;
}

// "capture-item PATH WxH at X,Y": the item's top on the screen, or -1.
int ItemTop(const std::string& line) {
    int x = 0;
    int y = -1;
    size_t at = line.rfind(" at ");
    if (at == std::string::npos || sscanf(line.c_str() + at, " at %d,%d", &x, &y) != 2) {
        return -1;
    }
    return y;
}

class TodayItems : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"A", L"B"}) {
            ASSERT_TRUE(CopyFileW((hostrun::ProgramFolder() + L"\\Tollamy.dll").c_str(),
                                  Module(name).c_str(), FALSE));
        }
        hostrun::WriteDeck(folder_.File(L"A.txt"), {L"Alpha question\tAlpha answer"});
        hostrun::WriteDeck(folder_.File(L"B.txt"), {L"Bravo query, longer\tBravo reply, longer"});
    }

    void TearDown() override {
        for (const std::wstring& name : registered_) {
            for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
                RegDeleteTreeW(root, (std::wstring(ITEMS_KEY) + L"\\" + name).c_str());
            }
        }
    }

    std::wstring Module(const std::wstring& name) const { return folder_.File(name + L".dll"); }

    // A list entry as the install step writes it; the DLL value is written by the caller
    // when dll is empty.
    // The machine's list, or with root HKEY_CURRENT_USER the user's own.
    HKEY Register(const std::wstring& name, DWORD order, const std::wstring& dll, DWORD enabled = 1,
                  DWORD options = 1, DWORD selectability = 2, HKEY root = HKEY_LOCAL_MACHINE) {
        HKEY key = nullptr;
        const std::wstring path = std::wstring(ITEMS_KEY) + L"\\" + name;
        RegDeleteTreeW(root, path.c_str());
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                                 nullptr, &key, nullptr));
        registered_.push_back(name);
        Dword(key, L"Type", 4);
        Dword(key, L"Enabled", enabled);
        Dword(key, L"Order", order);
        Dword(key, L"Options", options);
        Dword(key, L"Selectability", selectability);
        Dword(key, L"Flags", 0);
        if (!dll.empty()) {
            RegSetValueExW(key, L"DLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                           static_cast<DWORD>((dll.size() + 1) * sizeof(WCHAR)));
        }
        return key;
    }
    void RegisterClosed(const std::wstring& name, DWORD order, const std::wstring& dll,
                        DWORD enabled = 1, DWORD options = 1, HKEY root = HKEY_LOCAL_MACHINE) {
        RegCloseKey(Register(name, order, dll, enabled, options, 2, root));
    }
    static void Dword(HKEY key, const wchar_t* name, DWORD value) {
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
    }

    // Runs the host on the list (moduleArgument empty) or on --module; more: more options.
    HostResult Run(const std::string& script, const std::wstring& module = L"",
                   const std::wstring& more = L"") {
        const std::wstring path = folder_.File(L"test.script");
        hostrun::WriteScript(path, script);
        std::wstring arguments = more + (module.empty() ? L"" : L"--module \"" + module + L"\" ");
        return hostrun::RunHost(arguments + L"--script \"" + path + L"\" --capture-dir \"" +
                                folder_.Path() + L"\"");
    }

    Image Png(const wchar_t* name) {
        Image image;
        EXPECT_TRUE(hostrun::ReadPng(folder_.File(std::wstring(name) + L".png"), &image)) << name;
        return image;
    }

    // The deck that the .txt handler was asked to open by the script's action.
    std::wstring OpenedBy(const std::string& script, const std::wstring& module) {
        const std::wstring record = folder_.File(L"opened.log");
        DeleteFileW(record.c_str());
        RecorderAssociation association(hostrun::ProgramFolder() + L"\\recorder.exe", record);
        HostResult result = Run(script, module);
        EXPECT_EQ(0u, result.status) << Describe(result);
        // The shell starts the recorder as a process of its own, which takes seconds on a busy
        // machine under Wine; the recorder renames its whole record into place.
        for (int i = 0; i < 600 && !hostrun::FileExists(record); ++i) {
            Sleep(100);
        }
        HANDLE file = CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        WCHAR text[1024] = L"";
        DWORD got = 0;
        if (file != INVALID_HANDLE_VALUE) {
            ReadFile(file, text, sizeof(text) - sizeof(WCHAR), &got, nullptr);
            CloseHandle(file);
        }
        std::wstring opened(text, got / sizeof(WCHAR));
        while (!opened.empty() && (opened.back() == L'\n' || opened.back() == L'\r')) {
            opened.pop_back();
        }
        return opened;
    }
    bool Opened(const std::string& script, const wchar_t* deck, const std::wstring& module = L"") {
        return lstrcmpiW(OpenedBy(script, module).c_str(), folder_.File(deck).c_str()) == 0;
    }

    hostrun::TempFolder folder_;
    hostrun::InstalledSettings settings_;
    std::vector<std::wstring> registered_;
};

TEST_F(TodayItems, BothItemsDrawFromTheirOwnDecksOneBelowTheOther) {
    // Each item's card on the highlight, which looks the same wherever the item lies.
    const char* control = "select\nleave\nselect\ncapture-item alone\nquit\n";
    HostResult aloneA = Run(control, Module(L"A"));
    ASSERT_EQ(0u, aloneA.status) << Describe(aloneA);
    Image controlA = Png(L"alone");
    HostResult aloneB = Run(control, Module(L"B"));
    ASSERT_EQ(0u, aloneB.status) << Describe(aloneB);
    Image controlB = Png(L"alone");
    ASSERT_FALSE(SamePixels(controlA, controlB)) << "the two decks' cards should look different";

    RegisterClosed(L"A", 0, Module(L"A"));
    RegisterClosed(L"B", 1, Module(L"B"));
    HostResult result = Run("select 1\nleave 1\nleave 2\nselect 1\ncapture-item one 1\n"
                            "select 2\ncapture-item two 2\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    ASSERT_EQ(0u, result.status) << Describe(result);
    // Leaving the first item hands the selection to the second.
    EXPECT_EQ("leave 0", result.lines[1]) << Describe(result);
    EXPECT_EQ("leave 0", result.lines[2]) << Describe(result);
    EXPECT_TRUE(SamePixels(controlA, Png(L"one"))) << Describe(result);
    EXPECT_TRUE(SamePixels(controlB, Png(L"two"))) << Describe(result);
    int top1 = ItemTop(result.lines[4]);
    int top2 = ItemTop(result.lines[6]);
    EXPECT_GT(top1, 0) << Describe(result);
    EXPECT_EQ(top1 + 32, top2) << Describe(result);
}

TEST_F(TodayItems, EachItemGetsItsOwnHeightQueryAndRowAndItsOwnDialog) {
    RegisterClosed(L"A", 0, Module(L"A"));
    RegisterClosed(L"B", 1, Module(L"B"));
    HostResult result = Run("options item=2 height=48\nrefresh 1\nrefresh 2\n"
                            "capture-item one 1\ncapture-item two 2\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    ASSERT_EQ(0u, result.status) << Describe(result);
    // The dialog marked B's record only: A keeps the height it reported first.
    EXPECT_NE(std::string::npos, result.lines[0].find("cyp=48")) << Describe(result);
    EXPECT_EQ("refresh 0 cyp=32", result.lines[1]) << Describe(result);
    EXPECT_EQ("refresh 0 cyp=48", result.lines[2]) << Describe(result);
    EXPECT_NE(std::string::npos, result.lines[3].find(" 240x32 at ")) << Describe(result);
    EXPECT_NE(std::string::npos, result.lines[4].find(" 240x48 at ")) << Describe(result);
    EXPECT_EQ(ItemTop(result.lines[3]) + 32, ItemTop(result.lines[4])) << Describe(result);
}

TEST_F(TodayItems, AnItemWithSelectabilityZeroIsPassedOver) {
    RegCloseKey(Register(L"A", 0, Module(L"A"), 1, 1, 0));
    RegisterClosed(L"B", 1, Module(L"B"));
    HostResult result = Run("select 1\nleave 1\nleave 2\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    ASSERT_EQ(0u, result.status) << Describe(result);
    // A is never offered the selection; it moves on to B, which takes it.
    EXPECT_EQ("select 0", result.lines[0]) << Describe(result);
    EXPECT_EQ("leave not-selected", result.lines[1]) << Describe(result);
    EXPECT_EQ("leave 0", result.lines[2]) << Describe(result);
    // Only B drew a card, and so only B indexed its deck.
    EXPECT_FALSE(hostrun::FileExists(folder_.File(L"A.idx")));
    EXPECT_TRUE(hostrun::FileExists(folder_.File(L"B.idx")));
}

TEST_F(TodayItems, AnEntryWithOptionsZeroHasNoDialog) {
    RegisterClosed(L"A", 0, Module(L"A"), 1, 0);
    HostResult result = Run("options\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    EXPECT_EQ(1u, result.status) << Describe(result);
    EXPECT_EQ("options unavailable: the item's list entry has no Options 1", result.lines[0]);
}

TEST_F(TodayItems, EachActionOpensItsOwnDeck) {
    RegisterClosed(L"A", 0, Module(L"A"));
    RegisterClosed(L"B", 1, Module(L"B"));
    EXPECT_TRUE(Opened("action 2\nquit\n", L"B.txt"));
    EXPECT_TRUE(Opened("select 1\naction 1\nquit\n", L"A.txt"));
    // The existing form means the first item.
    EXPECT_TRUE(Opened("action\nquit\n", L"A.txt"));
}

TEST_F(TodayItems, ADisabledEntryIsNotShown) {
    RegisterClosed(L"B", 0, Module(L"B"), 0);
    RegisterClosed(L"A", 1, Module(L"A"));
    EXPECT_TRUE(Opened("action 1\nquit\n", L"A.txt"));
    HostResult result = Run("select 2\nquit\n");
    EXPECT_EQ(1u, result.status) << Describe(result);
    EXPECT_EQ("select failed: there is no item 2", result.lines[0]) << Describe(result);
}

TEST_F(TodayItems, BrokenEntriesAreLeftOutAndTheRestRun) {
    WCHAR system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    RegisterClosed(L"Missing", 0, folder_.File(L"Missing.dll"));
    HKEY notString = Register(L"NotString", 1, L"");
    Dword(notString, L"DLL", 7);
    RegCloseKey(notString);
    RegisterClosed(L"TooLong", 2, L"C:\\" + std::wstring(300, L'x') + L".dll");
    RegisterClosed(L"NoOrdinal", 3, std::wstring(system) + L"\\version.dll");
    RegisterClosed(L"A", 4, Module(L"A"));
    RegisterClosed(L"Again", 5, Module(L"A"));
    RegisterClosed(L"B", 6, Module(L"B"));

    HostResult result = Run("refresh 1\nrefresh 2\nselect 3\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    EXPECT_EQ(1u, result.status) << Describe(result);
    EXPECT_EQ("refresh 0 cyp=32", result.lines[0]) << Describe(result);
    EXPECT_EQ("refresh 0 cyp=32", result.lines[1]) << Describe(result);
    EXPECT_EQ("select failed: there is no item 3", result.lines[2]) << Describe(result);
    for (const char* name : {"Missing", "NotString", "TooLong", "NoOrdinal", "Again"}) {
        EXPECT_NE(std::string::npos,
                  result.errors.find(std::string("the Today item ") + name + " is left out: "))
            << name << "\n"
            << Describe(result);
    }
    EXPECT_NE(std::string::npos, result.errors.find("ordinal 240")) << Describe(result);
    EXPECT_NE(std::string::npos, result.errors.find("not a string")) << Describe(result);
    EXPECT_NE(std::string::npos, result.errors.find("too long")) << Describe(result);
    EXPECT_TRUE(Opened("action 2\nquit\n", L"B.txt"));
}

TEST_F(TodayItems, AListWithNoLoadableItemExitsWithStatus3) {
    RegisterClosed(L"Missing", 0, folder_.File(L"Missing.dll"));
    HostResult result = Run("quit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    EXPECT_EQ(3u, result.status) << Describe(result);
    EXPECT_NE(std::string::npos, result.errors.find("cannot load the item module"))
        << Describe(result);
    EXPECT_NE(std::string::npos, result.errors.find("none of the 1 enabled items"))
        << Describe(result);
}

TEST_F(TodayItems, ModuleShowsThatModuleAloneAndIgnoresTheList) {
    RegisterClosed(L"A", 0, Module(L"A"));
    RegisterClosed(L"Missing", 1, folder_.File(L"Missing.dll"));
    HostResult result = Run("refresh 1\nrefresh 2\nquit\n", Module(L"B"));
    ASSERT_TRUE(result.finished) << Describe(result);
    EXPECT_EQ(1u, result.status) << Describe(result);
    EXPECT_EQ("refresh failed: there is no item 2", result.lines[1]) << Describe(result);
    EXPECT_EQ(std::string::npos, result.errors.find("Missing")) << Describe(result);
    EXPECT_TRUE(Opened("action 1\nquit\n", L"B.txt", Module(L"B")));
}

// --live, as the launcher runs the screen: every item shows a card at once; an item whose deck
// changes draws a card of the new deck on the next refresh tick (2 s); the screen follows the
// list as entries come and go. The changes are made while the script waits, once the host has
// written the capture before them.
// The user's own list (HKEY_CURRENT_USER), where the Windows launcher registers items for a
// user who may not write the machine's, is read and followed beside it; a name that the
// machine's list has already stays the machine's.
TEST_F(TodayItems, LiveItemsShowACardAtOnceAndFollowTheirDecksAndTheList) {
    ASSERT_TRUE(CopyFileW((hostrun::ProgramFolder() + L"\\Tollamy.dll").c_str(),
                          Module(L"C").c_str(), FALSE));
    hostrun::WriteDeck(folder_.File(L"C.txt"), {L"Charlie question\tCharlie answer"});
    RegisterClosed(L"A", 0, Module(L"A"));
    RegisterClosed(L"B", 1, Module(L"B"));
    RegisterClosed(L"A", 0, Module(L"C"), 1, 1, HKEY_CURRENT_USER);
    // Without --live an item shows its title until it first draws.
    HostResult plain = Run("capture-item title 1\nselect 1\nleave 1\ncapture-item card 1\nquit\n");
    ASSERT_EQ(0u, plain.status) << Describe(plain);
    ASSERT_FALSE(SamePixels(Png(L"title"), Png(L"card")));

    auto after = [&](const wchar_t* capture) {
        for (int i = 0; i < 600 && !hostrun::FileExists(folder_.File(capture)); ++i) {
            Sleep(50);
        }
    };
    std::thread changes([&] {
        after(L"start-a.png");
        hostrun::WriteDeck(folder_.File(L"A.txt"), {L"A new question\tA new answer"});
        RegisterClosed(L"C", 2, Module(L"C"), 1, 1, HKEY_CURRENT_USER);
        after(L"changed-a.png");
        RegisterClosed(L"B", 1, Module(L"B"), 0);
    });
    HostResult live = Run("capture-item start-a 1\nwait 5000\ncapture-item changed-a 1\n"
                          "capture-item c 3\nwait 5000\ncapture-item gone 3\n"
                          "capture-item moved-c 2\nselect 1\nleave 1\ncapture-item drawn-a 1\n"
                          "select 2\nleave 2\ncapture-item drawn-c 2\nquit\n",
                          L"", L"--live ");
    changes.join();
    ASSERT_TRUE(live.finished) << Describe(live);
    ASSERT_EQ(14u, live.lines.size()) << Describe(live);
    EXPECT_EQ(std::string::npos, live.errors.find("left out")) << Describe(live);
    EXPECT_TRUE(SamePixels(Png(L"card"), Png(L"start-a"))) << "no card at start";
    EXPECT_TRUE(SamePixels(Png(L"drawn-a"), Png(L"changed-a"))) << "not the new deck's card";
    EXPECT_FALSE(SamePixels(Png(L"start-a"), Png(L"changed-a")));
    EXPECT_EQ(0u, live.lines[3].find("capture-item ")) << "C did not come";
    EXPECT_EQ("capture-item failed: there is no item 3", live.lines[5]) << "B did not go";
    EXPECT_TRUE(SamePixels(Png(L"drawn-c"), Png(L"moved-c"))) << "C shows no card";
}

} // namespace
