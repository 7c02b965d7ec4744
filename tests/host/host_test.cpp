// today-host.exe driven by scripts, on a copy of the real Tollamy.dll beside a temporary deck.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include "support/hostrun.h"
#include "support/recorder_association.h"

using hostrun::HostResult;
using hostrun::Image;

namespace {

// The host's theme (host/screenstate.h).
const COLORREF HIGHLIGHT = RGB(24, 84, 196);
const COLORREF WHITE = RGB(255, 255, 255);
// A column of the item that is neither icon nor text: right of the 36-pixel strip, left of
// the text that starts at x 40.
const UINT FREE_COLUMN = 38;

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c < 128 ? static_cast<char>(c) : '?';
    }
    return out;
}

std::string Describe(const HostResult& result) {
    std::string text = "status " + std::to_string(result.status) + "\nstdout:\n";
    for (const std::string& line : result.lines) {
        text += "  " + line + "\n";
    }
    return text + "stderr:\n" + result.errors;
}

class Host : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = folder_.File(L"Tollamy.dll");
        deck_ = folder_.File(L"Tollamy.txt");
        ASSERT_TRUE(CopyFileW((hostrun::ProgramFolder() + L"\\Tollamy.dll").c_str(),
                              module_.c_str(), FALSE));
        hostrun::WriteDeck(deck_, {L"Capital of France?\tParis", L"Capital of Japan?\tTokyo",
                                   L"Capital of Peru?\tLima"});
    }

    HostResult Run(const std::string& script) {
        const std::wstring path = folder_.File(L"test.script");
        hostrun::WriteScript(path, script);
        return hostrun::RunHost(L"--module \"" + module_ + L"\" --script \"" + path +
                                L"\" --capture-dir \"" + folder_.Path() + L"\"");
    }

    hostrun::TempFolder folder_;
    hostrun::InstalledSettings settings_;
    std::wstring module_;
    std::wstring deck_;
};

TEST_F(Host, RefreshReportsTheInstalledHeight) {
    HostResult result = Run("refresh\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    EXPECT_EQ(0u, result.status) << Describe(result);
    // The first query happened when the item was laid out; this one finds nothing new.
    EXPECT_EQ("refresh 0 cyp=32", hostrun::LineStartingWith(result, "refresh")) << Describe(result);
    EXPECT_EQ("quit", result.lines.empty() ? "" : result.lines.back());
}

TEST_F(Host, SelectWaitLeaveBuildsTheIndexBesideTheDeck) {
    const std::wstring index = folder_.File(L"Tollamy.idx");
    ASSERT_FALSE(hostrun::FileExists(index));
    HostResult result = Run("select\nwait 300\nleave\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    EXPECT_EQ(0u, result.status) << Describe(result);
    EXPECT_EQ("select 1", hostrun::LineStartingWith(result, "select"));
    EXPECT_EQ("wait 300", hostrun::LineStartingWith(result, "wait"));
    EXPECT_EQ("leave 0", hostrun::LineStartingWith(result, "leave"));
    // Stamp, count and one offset per card.
    EXPECT_EQ(12 + 4 * 3, hostrun::FileSize(index)) << Describe(result);
}

// "capture-item PATH WxH at X,Y": the item's place on the screen.
bool ItemOrigin(const std::string& line, int* x, int* y) {
    size_t at = line.rfind(" at ");
    return at != std::string::npos && sscanf(line.c_str() + at, " at %d,%d", x, y) == 2;
}

TEST_F(Host, CapturesShowTheHighlightWhenSelectedAndTheWatermarkAfterwards) {
    HostResult result = Run("select\ncapture-item selected\nleave\ncapture-item left\n"
                            "capture screen\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    ASSERT_EQ(0u, result.status) << Describe(result);

    Image selected;
    Image left;
    Image screen;
    ASSERT_TRUE(hostrun::ReadPng(folder_.File(L"selected.png"), &selected));
    ASSERT_TRUE(hostrun::ReadPng(folder_.File(L"left.png"), &left));
    ASSERT_TRUE(hostrun::ReadPng(folder_.File(L"screen.png"), &screen));
    EXPECT_EQ(240u, screen.width);
    EXPECT_EQ(320u, screen.height);
    ASSERT_EQ(32u, selected.height);
    ASSERT_EQ(32u, left.height);

    // Selected: the answer side on the host's highlight, edge to edge.
    for (UINT y = 0; y < selected.height; ++y) {
        EXPECT_EQ(HIGHLIGHT, selected.At(FREE_COLUMN, y)) << "row " << y;
        EXPECT_EQ(HIGHLIGHT, selected.At(selected.width - 1, y)) << "row " << y;
    }

    // Left: the host's own background under the item, continuing the gradient that the
    // screen shows just above and just below it.
    int x = 0;
    int top = 0;
    ASSERT_TRUE(ItemOrigin(hostrun::LineStartingWith(result, "capture-item"), &x, &top))
        << Describe(result);
    ASSERT_GT(top, 0);
    ASSERT_LT(static_cast<UINT>(top) + left.height, screen.height);
    // The gradient's step per row, from two rows of the host's own background above the item
    // (the column lies left of the rows' texts).
    const COLORREF justAbove = screen.At(FREE_COLUMN, static_cast<UINT>(top - 1));
    const COLORREF rowsAbove = screen.At(FREE_COLUMN, static_cast<UINT>(top - 21));
    const int channels[3][2] = {{GetRValue(justAbove), GetRValue(rowsAbove)},
                                {GetGValue(justAbove), GetGValue(rowsAbove)},
                                {GetBValue(justAbove), GetBValue(rowsAbove)}};
    EXPECT_GT(abs(channels[0][0] - channels[0][1]), 2) << "the background should be a gradient";
    for (UINT y = 0; y < left.height; ++y) {
        COLORREF pixel = left.At(FREE_COLUMN, y);
        EXPECT_NE(HIGHLIGHT, pixel) << "row " << y;
        EXPECT_NE(WHITE, pixel) << "row " << y << ": the class background, not the watermark";
        const int got[3] = {GetRValue(pixel), GetGValue(pixel), GetBValue(pixel)};
        for (int c = 0; c < 3; ++c) {
            double step = (channels[c][0] - channels[c][1]) / 20.0;
            double expected = channels[c][0] + step * (y + 1);
            EXPECT_NEAR(expected, got[c], 2.0) << "row " << y << " channel " << c;
        }
    }
}

// A selection move repaints only the rows that it changes: the row below the item loses the
// highlight when the item takes the selection and takes it back at the leave, and nothing
// else outside the item changes.
TEST_F(Host, TheHighlightMovesBetweenTheItemAndTheRowBelowIt) {
    HostResult result = Run("select\ncapture-item item\ncapture on-item\nleave\n"
                            "capture below-item\nselect\ncapture on-item-again\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    ASSERT_EQ(0u, result.status) << Describe(result);
    int x = 0;
    int top = 0;
    ASSERT_TRUE(ItemOrigin(hostrun::LineStartingWith(result, "capture-item"), &x, &top))
        << Describe(result);
    Image onItem;
    Image below;
    Image again;
    ASSERT_TRUE(hostrun::ReadPng(folder_.File(L"on-item.png"), &onItem));
    ASSERT_TRUE(hostrun::ReadPng(folder_.File(L"below-item.png"), &below));
    ASSERT_TRUE(hostrun::ReadPng(folder_.File(L"on-item-again.png"), &again));
    const UINT itemTop = static_cast<UINT>(top);
    const UINT rowBelow = itemTop + 32 + 10; // the middle of the 20-pixel row under the item
    EXPECT_EQ(HIGHLIGHT, below.At(FREE_COLUMN, rowBelow));
    EXPECT_NE(HIGHLIGHT, onItem.At(FREE_COLUMN, rowBelow));
    EXPECT_EQ(HIGHLIGHT, onItem.At(FREE_COLUMN, itemTop + 16));
    // Outside the item, the screen with the item selected is the same both times, the row
    // below the item repainted in between (the top strip, whose clock may turn, aside).
    for (UINT y = 24; y < again.height; ++y) {
        if (y >= itemTop && y < itemTop + 32) {
            continue;
        }
        for (UINT px = 0; px < again.width; ++px) {
            ASSERT_EQ(onItem.At(px, y), again.At(px, y)) << px << "," << y;
        }
    }
}

TEST_F(Host, OptionsChangeTheHeightThatTheNextRefreshReports) {
    HostResult result = Run("options height=48\nrefresh\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    EXPECT_EQ(0u, result.status) << Describe(result);
    std::string options = hostrun::LineStartingWith(result, "options");
    EXPECT_EQ(0u, options.find("options ok height=48 first=5000 long=2000 short=100 swap=0"))
        << Describe(result);
    EXPECT_NE(std::string::npos, options.find("cyp=48")) << options;
    EXPECT_EQ("refresh 0 cyp=48", hostrun::LineStartingWith(result, "refresh"));
    EXPECT_EQ(48, hostrun::InstalledSettings::Read(L"Height"));
}

TEST_F(Host, OptionsCancelStoresNothing) {
    HostResult result = Run("options cancel\nrefresh\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    EXPECT_EQ(0u, result.status) << Describe(result);
    EXPECT_EQ(0u, hostrun::LineStartingWith(result, "options").find("options cancel height=32"))
        << Describe(result);
    EXPECT_EQ("refresh 0 cyp=32", hostrun::LineStartingWith(result, "refresh"));
    EXPECT_EQ(32, hostrun::InstalledSettings::Read(L"Height"));
}

TEST_F(Host, ActionOpensTheDeckWithTheTxtHandler) {
    const std::wstring record = folder_.File(L"opened.log");
    RecorderAssociation association(hostrun::ProgramFolder() + L"\\recorder.exe", record);
    HostResult result = Run("select\naction\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    EXPECT_EQ(0u, result.status) << Describe(result);
    EXPECT_EQ("action 0", hostrun::LineStartingWith(result, "action"));
    for (int i = 0; i < 100 && !hostrun::FileExists(record); ++i) {
        Sleep(100);
    }
    ASSERT_TRUE(hostrun::FileExists(record)) << "the .txt handler was not started";
    HANDLE file = CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    WCHAR text[1024] = L"";
    DWORD got = 0;
    ReadFile(file, text, sizeof(text) - sizeof(WCHAR), &got, nullptr);
    CloseHandle(file);
    std::wstring opened(text, got / sizeof(WCHAR));
    while (!opened.empty() && (opened.back() == L'\n' || opened.back() == L'\r')) {
        opened.pop_back();
    }
    EXPECT_EQ(0, lstrcmpiW(deck_.c_str(), opened.c_str())) << Narrow(opened);
}

TEST_F(Host, SelectionCyclesLeakNoHandlesOrGdiObjects) {
    // One cycle first, so that what a process sets up once (the imaging component for the
    // captures, the first index build) is in place before the first count.
    std::string script = "select\nwait 20\nleave\ncapture-item cycle\nstats\n";
    for (int i = 0; i < 15; ++i) {
        script += "select\nwait 20\nleave\ncapture-item cycle\n";
    }
    script += "stats\nquit\n";
    HostResult result = Run(script);
    ASSERT_TRUE(result.finished) << Describe(result);
    ASSERT_EQ(0u, result.status) << Describe(result);
    std::vector<std::string> stats;
    for (const std::string& line : result.lines) {
        if (line.compare(0, 6, "stats ") == 0) {
            stats.push_back(line);
        }
    }
    ASSERT_EQ(2u, stats.size()) << Describe(result);
    int handles[2] = {};
    int gdi[2] = {};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(2, sscanf(stats[i].c_str(), "stats handles %d gdi %d", &handles[i], &gdi[i]))
            << stats[i];
        EXPECT_GT(handles[i], 0) << stats[i];
        EXPECT_GT(gdi[i], 0) << stats[i];
    }
    // Fifteen new cards read the deck and its index and paint three looks each.
    EXPECT_LE(handles[1], handles[0] + 2) << stats[0] << " / " << stats[1];
    EXPECT_LE(gdi[1], gdi[0] + 2) << stats[0] << " / " << stats[1];
}

TEST_F(Host, AMalformedLineStopsTheScriptWithItsLineNumber) {
    HostResult result = Run("refresh\n# a comment\n\nwait soon\nquit\n");
    ASSERT_TRUE(result.finished) << Describe(result);
    EXPECT_NE(0u, result.status) << Describe(result);
    EXPECT_NE(std::string::npos, result.errors.find("line 4")) << Describe(result);
    EXPECT_EQ("", hostrun::LineStartingWith(result, "quit"));

    for (const char* bad : {"options height=abc\n", "options depth=3\n", "capture\n",
                            "capture ..\\outside\n", "select now\n", "jump\n"}) {
        HostResult other = Run(std::string("refresh\n") + bad);
        EXPECT_NE(0u, other.status) << bad;
        EXPECT_NE(std::string::npos, other.errors.find("line 2")) << bad << Describe(other);
    }
}

TEST(HostModule, AMissingModuleOrOneWithoutOrdinal240FailsClearly) {
    hostrun::TempFolder folder;
    const std::wstring script = folder.File(L"quit.script");
    hostrun::WriteScript(script, "quit\n");

    HostResult missing = hostrun::RunHost(L"--module \"" + folder.File(L"Nothing.dll") +
                                          L"\" --script \"" + script + L"\"");
    ASSERT_TRUE(missing.finished);
    EXPECT_NE(0u, missing.status);
    EXPECT_NE(std::string::npos, missing.errors.find("cannot load the item module"))
        << Describe(missing);
    EXPECT_TRUE(missing.lines.empty() || missing.lines[0].empty()) << Describe(missing);

    WCHAR system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    HostResult notAnItem = hostrun::RunHost(L"--module \"" + std::wstring(system) +
                                            L"\\version.dll\" --script \"" + script + L"\"");
    ASSERT_TRUE(notAnItem.finished);
    EXPECT_NE(0u, notAnItem.status);
    EXPECT_NE(std::string::npos, notAnItem.errors.find("ordinal 240")) << Describe(notAnItem);

    HostResult badArgument = hostrun::RunHost(L"--script \"" + script + L"\" --colour blue");
    EXPECT_EQ(2u, badArgument.status) << Describe(badArgument);
    EXPECT_NE(std::string::npos, badArgument.errors.find("usage")) << Describe(badArgument);
}

} // namespace
