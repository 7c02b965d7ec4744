// The host's script parser on its own: every command, every malformed form with the line it
// names, and the decoding of script files. No host is started.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/scriptparse.h"
#include "support/tempfolder.h"

namespace {

std::vector<ScriptCommand> Parse(const std::wstring& text) {
    std::vector<ScriptCommand> commands;
    std::wstring error;
    EXPECT_TRUE(ParseScript(text, &commands, &error)) << std::string(error.begin(), error.end());
    return commands;
}

// The parser's message for a script that must fail.
std::wstring ErrorOf(const std::wstring& text) {
    std::vector<ScriptCommand> commands;
    std::wstring error;
    EXPECT_FALSE(ParseScript(text, &commands, &error))
        << "accepted: " << std::string(text.begin(), text.end());
    return error;
}

TEST(ScriptParse, EachSimpleCommandGivesItsKindAndLine) {
    std::vector<ScriptCommand> c =
        Parse(L"select\nleave\naction\nrefresh\nstats\nquit\nwait 5300\ncapture look\n"
              L"capture-item item\n");
    ASSERT_EQ(9u, c.size());
    const ScriptCommandKind kinds[] = {SCRIPT_SELECT,  SCRIPT_LEAVE,   SCRIPT_ACTION,
                                       SCRIPT_REFRESH, SCRIPT_STATS,   SCRIPT_QUIT,
                                       SCRIPT_WAIT,    SCRIPT_CAPTURE, SCRIPT_CAPTURE_ITEM};
    for (size_t i = 0; i < c.size(); ++i) {
        EXPECT_EQ(kinds[i], c[i].kind) << i;
        EXPECT_EQ(static_cast<int>(i) + 1, c[i].line);
    }
    EXPECT_EQ(5300u, c[6].milliseconds);
    EXPECT_EQ(L"look", c[7].name);
    EXPECT_EQ(L"item", c[8].name);
}

TEST(ScriptParse, BlankAndCommentLinesAreSkippedButCounted) {
    std::vector<ScriptCommand> c =
        Parse(L"# a comment\n\n   \t\n  #indented comment\r\n  select  \r\n\tleave\r\n");
    ASSERT_EQ(2u, c.size());
    EXPECT_EQ(SCRIPT_SELECT, c[0].kind);
    EXPECT_EQ(5, c[0].line);
    EXPECT_EQ(SCRIPT_LEAVE, c[1].kind);
    EXPECT_EQ(6, c[1].line);
    EXPECT_TRUE(Parse(L"").empty());
    EXPECT_TRUE(Parse(L"\n\n# only comments\n").empty());
}

TEST(ScriptParse, WaitTakesZeroToTenMinutes) {
    EXPECT_EQ(0u, Parse(L"wait 0")[0].milliseconds);
    EXPECT_EQ(600000u, Parse(L"wait 600000")[0].milliseconds);
    EXPECT_EQ(7u, Parse(L"wait 000007")[0].milliseconds);
    const wchar_t* message = L"line 1: 'wait' needs a time in milliseconds, at most 600000";
    EXPECT_EQ(message, ErrorOf(L"wait"));
    EXPECT_EQ(message, ErrorOf(L"wait 600001"));
    EXPECT_EQ(message, ErrorOf(L"wait 0000001")); // seven digits
    EXPECT_EQ(message, ErrorOf(L"wait -1"));
    EXPECT_EQ(message, ErrorOf(L"wait 1s"));
    EXPECT_EQ(message, ErrorOf(L"wait 1 2"));
}

TEST(ScriptParse, StatsAndQuitTakeNoArguments) {
    for (const wchar_t* verb : {L"stats", L"quit"}) {
        EXPECT_EQ(std::wstring(L"line 2: '") + verb + L"' takes no arguments",
                  ErrorOf(std::wstring(L"# first\n") + verb + L" 1\n"));
    }
}

TEST(ScriptParse, ItemCommandsAddressTheFirstItemOrTheNumberedOne) {
    std::vector<ScriptCommand> c =
        Parse(L"select\nselect 2\nleave 3\naction 1\nrefresh 999\ncapture-item a\n"
              L"capture-item b 2\noptions item=2 height=40\noptions cancel item=3\n"
              L"options\nleave\naction 07\n");
    ASSERT_EQ(12u, c.size());
    const int items[] = {1, 2, 3, 1, 999, 1, 2, 2, 3, 1, 1, 7};
    for (size_t i = 0; i < c.size(); ++i) {
        EXPECT_EQ(items[i], c[i].item) << "line " << c[i].line;
    }
    EXPECT_EQ(L"b", c[6].name);
    EXPECT_EQ(L"40", c[7].options.boxText[0]);
    EXPECT_TRUE(c[8].options.cancel);
}

TEST(ScriptParse, EachMalformedItemNumberNamesItsLine) {
    for (const wchar_t* verb : {L"select", L"leave", L"action", L"refresh"}) {
        std::wstring message =
            std::wstring(L"line 2: '") + verb + L"' takes nothing or an item number from 1";
        for (const wchar_t* bad : {L" 0", L" 000", L" 1000", L" 1 2", L" two", L" -1", L" +1"}) {
            EXPECT_EQ(message, ErrorOf(std::wstring(L"quit\n") + verb + bad));
        }
    }
    EXPECT_EQ(L"line 1: 'capture-item' takes an item number from 1 after the file name",
              ErrorOf(L"capture-item a 0"));
    EXPECT_EQ(L"line 1: 'capture-item' takes an item number from 1 after the file name",
              ErrorOf(L"capture-item a b"));
    EXPECT_EQ(L"line 1: 'capture-item' needs one file name", ErrorOf(L"capture-item a 1 2"));
    EXPECT_EQ(L"line 1: 'capture-item' needs one file name", ErrorOf(L"capture-item a/b 1"));
    // The number goes after the name: a name of digits is still a name.
    EXPECT_EQ(L"2", Parse(L"capture-item 2")[0].name);
    EXPECT_EQ(1, Parse(L"capture-item 2")[0].item);
}

TEST(ScriptParse, CaptureNamesOneFileInTheCaptureFolder) {
    EXPECT_EQ(L"a.b-c_d", Parse(L"capture a.b-c_d")[0].name);
    EXPECT_EQ(L"line 1: 'capture' needs one file name", ErrorOf(L"capture a b"));
    for (const wchar_t* verb : {L"capture", L"capture-item"}) {
        std::wstring message = std::wstring(L"line 3: '") + verb + L"' needs one file name";
        for (const wchar_t* bad : {L"", L" .", L" ..", L" a\\b", L" a/b", L" c:x", L" a*", L" a?",
                                   L" \"a\"", L" <a>", L" a|b"}) {
            EXPECT_EQ(message, ErrorOf(std::wstring(L"select\n\n") + verb + bad))
                << std::wstring(verb + std::wstring(bad)).size();
        }
    }
}

TEST(ScriptParse, OptionsFillsTheNamedBoxesAndTheCheckBox) {
    ScriptCommand c = Parse(L"options short=100 height=48 swap=1 capture=dialog")[0];
    EXPECT_EQ(SCRIPT_OPTIONS, c.kind);
    EXPECT_FALSE(c.options.cancel);
    EXPECT_TRUE(c.options.setBox[0]);
    EXPECT_EQ(L"48", c.options.boxText[0]);
    EXPECT_FALSE(c.options.setBox[1]);
    EXPECT_FALSE(c.options.setBox[2]);
    EXPECT_TRUE(c.options.setBox[3]);
    EXPECT_EQ(L"100", c.options.boxText[3]);
    EXPECT_EQ(1, c.options.swap);
    EXPECT_EQ(L"dialog", c.name);

    ScriptCommand all = Parse(L"options height=1 first=2 long=3 short=4 swap=0")[0];
    for (int b = 0; b < OPTIONS_BOX_COUNT; ++b) {
        EXPECT_TRUE(all.options.setBox[b]);
        EXPECT_EQ(std::to_wstring(b + 1), all.options.boxText[b]);
    }
    EXPECT_EQ(0, all.options.swap);
    EXPECT_TRUE(all.name.empty());

    // Bare "options" presses OK on the dialog as it stands; the check box is left alone.
    ScriptCommand bare = Parse(L"options")[0];
    EXPECT_EQ(-1, bare.options.swap);
    EXPECT_FALSE(bare.options.cancel);
    EXPECT_TRUE(Parse(L"options cancel")[0].options.cancel);
    // A box takes up to 39 digits, what the dialog's boxes hold.
    EXPECT_EQ(std::wstring(39, L'9'),
              Parse(L"options first=" + std::wstring(39, L'9'))[0].options.boxText[1]);
}

TEST(ScriptParse, EachMalformedOptionsFormNamesItsLine) {
    const struct {
        const wchar_t* line;
        const wchar_t* reason;
    } cases[] = {
        {L"options height", L"expected key=value, got 'height'"},
        {L"options cancel now", L"expected key=value, got 'now'"},
        {L"options height=3 cancel", L"expected key=value, got 'cancel'"},
        {L"options cancel height=3", L"'options cancel' takes no keys but item"},
        {L"options cancel swap=1", L"'options cancel' takes no keys but item"},
        {L"options item=0", L"'item' needs an item number from 1, once"},
        {L"options item=", L"'item' needs an item number from 1, once"},
        {L"options item=1 item=2", L"'item' needs an item number from 1, once"},
        {L"options item=1000", L"'item' needs an item number from 1, once"},
        {L"options height=4x", L"'height' needs a number of up to 39 digits"},
        {L"options long=", L"'long' needs a number of up to 39 digits"},
        {L"options short=-5", L"'short' needs a number of up to 39 digits"},
        {L"options height=1 height=2", L"'height' given twice"},
        {L"options swap=2", L"'swap' needs 0 or 1, once"},
        {L"options swap=1 swap=1", L"'swap' needs 0 or 1, once"},
        {L"options capture=", L"'capture' needs one file name"},
        {L"options capture=a/b", L"'capture' needs one file name"},
        {L"options capture=a capture=b", L"'capture' needs one file name"},
        {L"options colour=red", L"unknown options key 'colour'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::wstring(L"line 4: ") + c.reason,
                  ErrorOf(std::wstring(L"select\n# two\n\n") + c.line + L"\nquit\n"));
    }
    EXPECT_EQ(L"line 1: 'first' needs a number of up to 39 digits",
              ErrorOf(L"options first=" + std::wstring(40, L'1')));
}

TEST(ScriptParse, TheFirstMalformedLineStopsTheParse) {
    std::vector<ScriptCommand> commands;
    std::wstring error;
    EXPECT_FALSE(ParseScript(L"select\njump\nfly\n", &commands, &error));
    EXPECT_EQ(L"line 2: unknown command 'jump'", error);
    // Verbs are case-sensitive, as written in the command table.
    EXPECT_EQ(L"line 1: unknown command 'Select'", ErrorOf(L"Select"));
}

TEST(ScriptDecode, Utf8WithAndWithoutItsMarkAndUtf16LeWithItsMark) {
    EXPECT_EQ(L"capture caf\u00e9", DecodeScriptText("capture caf\xC3\xA9"));
    EXPECT_EQ(L"select", DecodeScriptText("\xEF\xBB\xBFselect"));
    std::string utf16("\xFF\xFEs\0e\0l\0e\0c\0t\0\n\0\x3A\x26", 18);
    EXPECT_EQ(L"select\n\u263A", DecodeScriptText(utf16));
    EXPECT_EQ(L"", DecodeScriptText(""));
    // A UTF-16 file with an odd byte count loses only the last half unit.
    EXPECT_EQ(L"a", DecodeScriptText(std::string("\xFF\xFE"
                                                 "a\0b",
                                                 5)));
}

TEST(ScriptLoad, AFileIsDecodedParsedAndNamedInItsMessage) {
    TempFolder folder;
    const std::wstring path = folder.File(L"script.txt");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const char text[] = "\xFF\xFEs\0e\0l\0e\0c\0t\0\n\0w\0a\0i\0t\0";
    DWORD written = 0;
    WriteFile(file, text, sizeof(text) - 1, &written, nullptr);
    CloseHandle(file);

    std::vector<ScriptCommand> commands;
    std::wstring error;
    EXPECT_FALSE(LoadScript(path, &commands, &error));
    EXPECT_EQ(path + L" line 2: 'wait' needs a time in milliseconds, at most 600000", error);

    error.clear();
    EXPECT_FALSE(LoadScript(folder.File(L"absent.txt"), &commands, &error));
    EXPECT_EQ(0u, error.find(L"cannot open " + folder.File(L"absent.txt") + L": "));
}

} // namespace
