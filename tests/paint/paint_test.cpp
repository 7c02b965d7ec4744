// The item's painting in real windows under a test host: the three looks, the text choice,
// the font rule, the host requests and the release of every GDI object.
#include <gtest/gtest.h>

#include "cardstore/cardstore.h"
#include "common/ScopedWin.h"
#include "common/dibsection.h"
#include "common/text.h"
#include "item/display.h"
#include "item/module.h"
#include "item/paint.h"
#include "support/testhost.h"

using testhost::Capture;
using testhost::DefaultColors;
using testhost::HostColors;
using testhost::Surface;

namespace {

const int ITEM_WIDTH = 240;
const int ITEM_HEIGHT = 36;
const COLORREF ICON_COLOR = RGB(255, 0, 255);
// The test icon: 16 x 16, opaque only in its middle square, transparent around it.
const int ICON_SIZE = 16;
const int ICON_OPAQUE_FROM = 4;
const int ICON_OPAQUE_TO = 12;

LRESULT CALLBACK PaintOnlyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return OnEraseBackground(window, reinterpret_cast<HDC>(wParam));
    case WM_PAINT:
        return OnPaint(window);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HICON CreateTestIcon() {
    DibSection color(ICON_SIZE, ICON_SIZE);
    if (!color.Valid()) {
        return nullptr;
    }
    WORD maskRows[ICON_SIZE];
    DWORD* pixels = color.Bits();
    for (int y = 0; y < ICON_SIZE; ++y) {
        WORD row = 0;
        for (int x = 0; x < ICON_SIZE; ++x) {
            const bool opaque = x >= ICON_OPAQUE_FROM && x < ICON_OPAQUE_TO &&
                                y >= ICON_OPAQUE_FROM && y < ICON_OPAQUE_TO;
            pixels[y * ICON_SIZE + x] = opaque ? 0xFFFF00FF : 0;
            if (!opaque) {
                row |= static_cast<WORD>(0x8000 >> x);
            }
        }
        // Mask rows are big-endian bit order within each byte pair.
        maskRows[y] = static_cast<WORD>((row >> 8) | (row << 8));
    }
    ScopedGdiObject<HBITMAP> mask(CreateBitmap(ICON_SIZE, ICON_SIZE, 1, 1, maskRows));
    ICONINFO iconInfo = {TRUE, 0, 0, mask.Get(), color.Get()};
    return CreateIconIndirect(&iconInfo);
}

bool InIconOpaqueArea(int x, int y) {
    return x >= ITEM_ICON_X + ICON_OPAQUE_FROM && x < ITEM_ICON_X + ICON_OPAQUE_TO &&
           y >= ITEM_ICON_Y + ICON_OPAQUE_FROM && y < ITEM_ICON_Y + ICON_OPAQUE_TO;
}

class ItemPaint : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PaintOnlyProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TollamyPaintTestItem";
        RegisterClassW(&wc);
        parent_ = testhost::CreateParent();
        item_ = CreateWindowExW(0, L"TollamyPaintTestItem", L"", WS_CHILD | WS_VISIBLE, 0, 0,
                                ITEM_WIDTH, ITEM_HEIGHT, parent_, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        itemIcon = CreateTestIcon();
        DisplayState = {0, 0, 0, 0, -1};
        SetCard(L"Question side", L"Answer side");
        testhost::Requests().clear();
    }
    void TearDown() override {
        DestroyWindow(item_);
        DestroyWindow(parent_);
        DestroyIcon(itemIcon);
        itemIcon = nullptr;
        DisplayState = {0, 0, 0, 0, -1};
    }

    static void SetCard(const WCHAR* question, const WCHAR* answer) {
        BoundedCopy(cardStore.card.question, CARD_TEXT_UNITS, question);
        BoundedCopy(cardStore.card.answer, CARD_TEXT_UNITS, answer);
    }
    void Show(LONG selected, LONG phase, LONG swapSides = 0) {
        DisplayState.selected = selected;
        DisplayState.phase = phase;
        DisplayState.swapSides = swapSides;
        RedrawWindow(item_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }

    // The text area as the item should draw it, made independently: the stock font at the
    // item's weight and height, drawn from x 40 over the given background.
    static Capture ExpectedText(const WCHAR* text, COLORREF color, COLORREF background) {
        Surface surface(ITEM_WIDTH, ITEM_HEIGHT);
        surface.Fill(background, 0, ITEM_WIDTH);
        LOGFONTW logFont = {};
        GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(logFont), &logFont);
        logFont.lfWeight = FW_BOLD;
        logFont.lfHeight = ItemFontHeight(GetDeviceCaps(surface.Dc(), LOGPIXELSY), false);
        logFont.lfWidth = 0;
        HFONT font = CreateFontIndirectW(&logFont);
        HGDIOBJ old = SelectObject(surface.Dc(), font);
        SetBkMode(surface.Dc(), TRANSPARENT);
        SetTextColor(surface.Dc(), color);
        RECT rect = {ITEM_TEXT_LEFT, 0, ITEM_WIDTH, ITEM_HEIGHT};
        DrawTextW(surface.Dc(), text, -1, &rect, DT_WORDBREAK);
        SelectObject(surface.Dc(), old);
        DeleteObject(font);
        return surface.Read();
    }

    // Every pixel from x 40 on matches the independent drawing of the text.
    static void ExpectTextArea(const Capture& shot, const Capture& expected) {
        int differing = 0;
        for (int y = 0; y < ITEM_HEIGHT; ++y) {
            for (int x = ITEM_TEXT_LEFT; x < ITEM_WIDTH; ++x) {
                differing += shot.At(x, y) != expected.At(x, y) ? 1 : 0;
            }
        }
        EXPECT_EQ(0, differing);
    }

    // Left of x 40 only the background (by column) and the icon's opaque square.
    static void ExpectLeftArea(const Capture& shot, COLORREF stripColor, int stripRight,
                               COLORREF restColor) {
        int wrong = 0;
        for (int y = 0; y < ITEM_HEIGHT; ++y) {
            for (int x = 0; x < ITEM_TEXT_LEFT; ++x) {
                COLORREF expected = x < stripRight ? stripColor : restColor;
                if (InIconOpaqueArea(x, y)) {
                    expected = ICON_COLOR;
                }
                wrong += shot.At(x, y) != expected ? 1 : 0;
            }
        }
        EXPECT_EQ(0, wrong);
    }

    HWND parent_ = nullptr;
    HWND item_ = nullptr;
};

TEST_F(ItemPaint, UnselectedShowsTheWatermarkAndTheQuestionInTheTextColourWhateverThePhase) {
    const HostColors& c = DefaultColors();
    for (LONG phase = 0; phase < 2; ++phase) {
        Show(0, phase);
        Capture shot(item_);
        ExpectLeftArea(shot, c.watermark, 0, c.watermark);
        ExpectTextArea(shot, ExpectedText(L"Question side", c.text, c.watermark));
        EXPECT_GT(shot.Count(c.text, ITEM_TEXT_LEFT), 20);
        EXPECT_EQ(0, shot.Count(c.highlight));
        EXPECT_EQ(0, shot.Count(c.highlightedText));
    }
}

TEST_F(ItemPaint, SelectedInPhase0HighlightsTheWholeItemWithTheAnswer) {
    const HostColors& c = DefaultColors();
    Show(1, 0);
    Capture shot(item_);
    ExpectLeftArea(shot, c.highlight, ITEM_TEXT_LEFT, c.highlight);
    ExpectTextArea(shot, ExpectedText(L"Answer side", c.highlightedText, c.highlight));
    EXPECT_GT(shot.Count(c.highlightedText, ITEM_TEXT_LEFT), 20);
    EXPECT_EQ(0, shot.Count(c.watermark));
    EXPECT_EQ(0, shot.Count(c.text));
    // No watermark was even asked for.
    for (const testhost::Request& r : testhost::Requests()) {
        EXPECT_NE(static_cast<UINT>(TODAYM_DRAWWATERMARK), r.message);
    }
}

TEST_F(ItemPaint, SelectedInPhase1DrawsTheStripOverX0To35AndTheQuestion) {
    const HostColors& c = DefaultColors();
    Show(1, 1);
    Capture shot(item_);
    ExpectLeftArea(shot, c.highlight, ITEM_STRIP_RIGHT, c.watermark);
    ExpectTextArea(shot, ExpectedText(L"Question side", c.text, c.watermark));
    EXPECT_EQ(0, shot.Count(c.highlightedText));
    EXPECT_EQ(0, shot.Count(c.highlight, ITEM_STRIP_RIGHT));
}

TEST_F(ItemPaint, SwappedSidesShowTheOtherText) {
    const HostColors& c = DefaultColors();
    Show(0, 0, 1);
    ExpectTextArea(Capture(item_), ExpectedText(L"Answer side", c.text, c.watermark));
    Show(1, 0, 1);
    ExpectTextArea(Capture(item_), ExpectedText(L"Question side", c.highlightedText, c.highlight));
    Show(1, 1, 1);
    ExpectTextArea(Capture(item_), ExpectedText(L"Answer side", c.text, c.watermark));
}

TEST_F(ItemPaint, AnEmptyTextPaintsNoTextButTheBackgroundAndTheIcon) {
    const HostColors& c = DefaultColors();
    SetCard(L"", L"");
    Show(0, 0);
    Capture unselected(item_);
    ExpectLeftArea(unselected, c.watermark, 0, c.watermark);
    EXPECT_EQ(ITEM_HEIGHT * (ITEM_WIDTH - ITEM_TEXT_LEFT),
              unselected.Count(c.watermark, ITEM_TEXT_LEFT));
    Show(1, 0);
    Capture selected(item_);
    ExpectLeftArea(selected, c.highlight, ITEM_TEXT_LEFT, c.highlight);
    EXPECT_EQ(ITEM_HEIGHT * (ITEM_WIDTH - ITEM_TEXT_LEFT),
              selected.Count(c.highlight, ITEM_TEXT_LEFT));
}

TEST_F(ItemPaint, AFullCardTextIsDrawnWithoutReadingPastItsBuffer) {
    // 511 units of text: the longest a card holds. Drawn and clipped to the item.
    std::wstring longText(CARD_TEXT_UNITS - 1, L'W');
    SetCard(longText.c_str(), L"");
    Show(0, 0);
    Capture shot(item_);
    EXPECT_GT(shot.Count(DefaultColors().text, ITEM_TEXT_LEFT), 100);
    ExpectLeftArea(shot, DefaultColors().watermark, 0, DefaultColors().watermark);
}

TEST_F(ItemPaint, RequestsGoToTheCurrentParentInTheirOrder) {
    Show(1, 1);
    std::vector<testhost::Request> requests = testhost::Requests();
    ASSERT_EQ(4u, requests.size());
    EXPECT_EQ(static_cast<UINT>(TODAYM_DRAWWATERMARK), requests[0].message);
    EXPECT_EQ(0u, requests[0].wParam);
    EXPECT_EQ(item_, requests[0].itemWindow);
    RECT client;
    GetClientRect(item_, &client);
    EXPECT_TRUE(EqualRect(&client, &requests[0].rect));
    EXPECT_EQ(static_cast<WPARAM>(TODAYCOLOR_HIGHLIGHT), requests[1].wParam);
    EXPECT_EQ(static_cast<WPARAM>(TODAYCOLOR_TEXT), requests[2].wParam);
    EXPECT_EQ(static_cast<WPARAM>(TODAYCOLOR_HIGHLIGHTEDTEXT), requests[3].wParam);

    // Moved to another host, the item takes that host's colours and watermark at once.
    HWND other = testhost::CreateParent(testhost::OtherColors());
    SetParent(item_, other);
    testhost::Requests().clear();
    Show(1, 1);
    const HostColors& o = testhost::OtherColors();
    Capture shot(item_);
    ExpectLeftArea(shot, o.highlight, ITEM_STRIP_RIGHT, o.watermark);
    ExpectTextArea(shot, ExpectedText(L"Question side", o.text, o.watermark));
    for (const testhost::Request& r : testhost::Requests()) {
        EXPECT_EQ(other, r.parent);
    }
    SetParent(item_, parent_);
    DestroyWindow(other);
}

TEST_F(ItemPaint, PaintContentDrawsOnAMemoryDeviceContext) {
    const HostColors& c = DefaultColors();
    Surface surface(ITEM_WIDTH, ITEM_HEIGHT);
    surface.Fill(c.watermark, 0, ITEM_WIDTH);
    PaintContent(item_, surface.Dc());
    Capture shot = surface.Read();
    ExpectLeftArea(shot, c.watermark, 0, c.watermark);
    ExpectTextArea(shot, ExpectedText(L"Question side", c.text, c.watermark));
}

// How many fonts can be created before the process runs out of GDI handles. Every GDI
// object that painting leaks lowers it.
int CountCreatableFonts() {
    std::vector<HFONT> fonts;
    fonts.reserve(70000);
    LOGFONTW logFont = {};
    logFont.lfHeight = -11;
    for (;;) {
        HFONT font = CreateFontIndirectW(&logFont);
        if (font == nullptr || fonts.size() >= 200000) {
            break;
        }
        fonts.push_back(font);
    }
    for (HFONT font : fonts) {
        DeleteObject(font);
    }
    return static_cast<int>(fonts.size());
}

TEST_F(ItemPaint, ThousandsOfPaintsLeakNoGdiObject) {
    const LONG looks[3][2] = {{0, 0}, {1, 0}, {1, 1}};
    for (const auto& look : looks) {
        Show(look[0], look[1]); // warm up whatever the system caches on first use
    }
    testhost::Requests().clear();
    const int before = CountCreatableFonts();
    ASSERT_GT(before, 1000);
    for (const auto& look : looks) {
        for (int i = 0; i < 1000; ++i) {
            Show(look[0], look[1]);
        }
        testhost::Requests().clear();
    }
    EXPECT_EQ(before, CountCreatableFonts());
}

TEST(ItemFont, HeightFollowsTheResolutionAndTheScript) {
    EXPECT_EQ(-12, ItemFontHeight(96, true));
    EXPECT_EQ(-11, ItemFontHeight(96, false));
    EXPECT_EQ(-16, ItemFontHeight(128, true));
    EXPECT_EQ(-14, ItemFontHeight(128, false));
    EXPECT_EQ(-24, ItemFontHeight(192, true));
    EXPECT_EQ(-21, ItemFontHeight(192, false));
}

TEST(ItemFont, IsTheStockFontWithTheItemsWeightHeightAndNaturalWidth) {
    LOGFONTW stock = {};
    ASSERT_EQ(static_cast<int>(sizeof(stock)),
              GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(stock), &stock));
    const struct {
        int dpi;
        bool cjk;
        LONG height;
        LONG weight;
    } cases[] = {
        {96, false, -11, FW_BOLD}, {192, false, -21, FW_BOLD}, {128, true, -16, FW_NORMAL}};
    for (const auto& c : cases) {
        LOGFONTW font;
        ItemLogFont(c.dpi, c.cjk, &font);
        EXPECT_EQ(c.height, font.lfHeight);
        EXPECT_EQ(c.weight, font.lfWeight);
        EXPECT_EQ(0, font.lfWidth);
        // Every other field as the stock font has it.
        LOGFONTW expected = stock;
        expected.lfHeight = font.lfHeight;
        expected.lfWidth = 0;
        expected.lfWeight = font.lfWeight;
        EXPECT_EQ(0, memcmp(&expected, &font, sizeof(font)));
    }
}

TEST(ItemFont, ChineseJapaneseAndKoreanAreCjkWhateverTheSublanguage) {
    EXPECT_TRUE(IsCjkLanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)));
    EXPECT_TRUE(IsCjkLanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL)));
    EXPECT_TRUE(IsCjkLanguage(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_HONGKONG)));
    EXPECT_TRUE(IsCjkLanguage(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN)));
    EXPECT_TRUE(IsCjkLanguage(MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN)));
    EXPECT_FALSE(IsCjkLanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    EXPECT_FALSE(IsCjkLanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK)));
    EXPECT_FALSE(IsCjkLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)));
    EXPECT_FALSE(IsCjkLanguage(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)));
}

} // namespace
