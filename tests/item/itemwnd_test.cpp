// The display cycle through the item window procedure, in a real window under a test host:
// the repeat guard and the swap decision with scripted random numbers, the timer turns with
// real timers, the height report and the action request.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cardstore/cardstore.h"
#include "common/ScopedWin.h"
#include "item/display.h"
#include "item/itemwnd.h"
#include "item/module.h"
#include "item/today.h"
#include "support/testhost.h"
#include "settings/settings.h"
#include "support/recorder_association.h"

namespace {

const LONG NEVER = TIMEOUT_MAX; // long enough not to expire while a test runs

// Scripted random numbers; counts how many were taken.
std::vector<LONG> script;
size_t scriptTaken = 0;

LONG ScriptedRandom() {
    const LONG value = scriptTaken < script.size() ? script[scriptTaken] : 0;
    ++scriptTaken;
    return value;
}

// Timer turns seen by the item window, with the phase each one left behind.
std::vector<LONG> turnPhases;
// When set, each turn first makes the interval that the turn must choose short and the one
// that it must not choose endless, so that a wrong choice stops the turns; after turnLimit
// turns both become endless.
bool steerTurns = false;
size_t turnLimit = 0;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && steerTurns) {
        const bool nextShowsQuestion = DisplayState.phase == 0;
        if (turnPhases.size() + 1 >= turnLimit) {
            Settings.TimeOutLong = NEVER;
            Settings.TimeOutShort = NEVER;
        } else {
            Settings.TimeOutLong = nextShowsQuestion ? 1 : NEVER;
            Settings.TimeOutShort = nextShowsQuestion ? NEVER : 1;
        }
    }
    const LRESULT result = ItemWndProc(window, message, wParam, lParam);
    if (message == WM_TIMER) {
        turnPhases.push_back(DisplayState.phase);
    }
    return result;
}

// Dispatches messages for the given time, or until done() holds.
template <typename Done> void PumpFor(DWORD milliseconds, Done done) {
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < milliseconds) {
        testhost::PumpMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void PumpFor(DWORD milliseconds) {
    PumpFor(milliseconds, [] { return false; });
}

class ItemWindow : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TollamyCycleTestItem";
        RegisterClassW(&wc);
        parent_ = testhost::CreateParent();
        item_ = CreateWindowExW(0, L"TollamyCycleTestItem", L"Tollamy", WS_CHILD | WS_VISIBLE, 0, 0,
                                240, 36, parent_, nullptr, GetModuleHandleW(nullptr), nullptr);
        DisplayState = {0, 0, 0, 0, -1};
        Settings = {DEFAULT_HEIGHT, DEFAULT_TIMEOUT_1ST, DEFAULT_TIMEOUT_LONG,
                    DEFAULT_TIMEOUT_SHORT, 0};
        script.clear();
        scriptTaken = 0;
        turnPhases.clear();
        steerTurns = false;
        SetRandomSource(ScriptedRandom);
        cardStore.SetPaths(L"");
        testhost::PumpMessages();
    }
    void TearDown() override {
        DestroyWindow(item_);
        DestroyWindow(parent_);
        SetRandomSource(nullptr);
        cardStore.SetPaths(L"");
        DisplayState = {0, 0, 0, 0, -1};
    }

    // A deck of count cards "Qi<TAB>Ai" in the test's own folder, handed to the store.
    void UseDeck(int count) {
        std::wstring text;
        for (int i = 0; i < count; ++i) {
            text += L"Q" + std::to_wstring(i) + L"\tA" + std::to_wstring(i) + L"\r\n";
        }
        deckPath_ = folder_.File(L"deck.txt");
        testhost::WriteDeck(deckPath_, text);
        cardStore.SetPaths(deckPath_.c_str());
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageW(item_, message, wParam, lParam);
    }
    LRESULT LoseSelection(const std::vector<LONG>& numbers) {
        script = numbers;
        scriptTaken = 0;
        return Send(WM_TODAYCUSTOM_LOSTSELECTION);
    }
    bool Invalidated() const { return GetUpdateRect(item_, nullptr, FALSE) != FALSE; }

    testhost::TempFolder folder_;
    std::wstring deckPath_;
    HWND parent_ = nullptr;
    HWND item_ = nullptr;
};

TEST_F(ItemWindow, TheFirstLossAfterLoadTakesTheFirstNumberAndOneForTheSwap) {
    UseDeck(5);
    EXPECT_EQ(0, LoseSelection({7, 3, 99}));
    EXPECT_EQ(2u, scriptTaken);
    EXPECT_EQ(2, DisplayState.lastCardIndex);
    EXPECT_STREQ(L"Q2", cardStore.card.question);
    EXPECT_STREQ(L"A2", cardStore.card.answer);
    EXPECT_EQ(0, DisplayState.swapSides);
}

TEST_F(ItemWindow, OnAOneCardDeckTenEqualDrawsLoadCardZeroAgain) {
    UseDeck(1);
    LoseSelection({5, 0});
    EXPECT_EQ(2u, scriptTaken);
    EXPECT_EQ(0, DisplayState.lastCardIndex);
    LoseSelection({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    EXPECT_EQ(11u, scriptTaken); // ten for the card, one for the swap
    EXPECT_EQ(0, DisplayState.lastCardIndex);
    EXPECT_STREQ(L"Q0", cardStore.card.question);
}

TEST_F(ItemWindow, TheRepeatGuardRedrawsAtMostNineTimesAndTheTenthDrawStands) {
    UseDeck(2);
    DisplayState.lastCardIndex = 1;
    // Ten odd numbers: card 1 each time; the tenth stands.
    LoseSelection({1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 0, 2});
    EXPECT_EQ(11u, scriptTaken);
    EXPECT_EQ(1, DisplayState.lastCardIndex);
    EXPECT_STREQ(L"Q1", cardStore.card.question);
    // A different card on the fourth draw ends the guard there.
    LoseSelection({3, 5, 7, 8, 1, 1});
    EXPECT_EQ(5u, scriptTaken);
    EXPECT_EQ(0, DisplayState.lastCardIndex);
    EXPECT_STREQ(L"Q0", cardStore.card.question);
}

TEST_F(ItemWindow, TheSwapDrawIsTakenAlsoWhenExchangeIsOffButCountsOnlyWhenOn) {
    UseDeck(3);
    Settings.ExchangeQA = 0;
    LoseSelection({0, 4});
    EXPECT_EQ(2u, scriptTaken);
    EXPECT_EQ(0, DisplayState.swapSides);

    Settings.ExchangeQA = 7;
    const struct {
        LONG r;
        LONG swap;
    } cases[] = {{4, 1}, {5, 0}, {10, 1}, {19, 0}, {2147483644, 1}, {2147483647, 0}};
    LONG card = 1;
    for (const auto& c : cases) {
        LoseSelection({card, c.r});
        EXPECT_EQ(2u, scriptTaken);
        EXPECT_EQ(card, DisplayState.lastCardIndex);
        EXPECT_EQ(c.swap, DisplayState.swapSides) << "r = " << c.r;
        card = (card + 1) % 3;
    }
}

TEST_F(ItemWindow, AFailingCountDrawsNothingButStillInvalidates) {
    DisplayState.lastCardIndex = 4;
    DisplayState.swapSides = 1;
    // No paths at all.
    ValidateRect(item_, nullptr);
    EXPECT_EQ(0, LoseSelection({1, 2, 3}));
    EXPECT_EQ(0u, scriptTaken);
    EXPECT_EQ(4, DisplayState.lastCardIndex);
    EXPECT_EQ(1, DisplayState.swapSides);
    EXPECT_TRUE(Invalidated());
    // A deck that does not exist: the card says why.
    cardStore.SetPaths(folder_.File(L"missing.txt").c_str());
    ValidateRect(item_, nullptr);
    LoseSelection({1, 2, 3});
    EXPECT_EQ(0u, scriptTaken);
    EXPECT_EQ(4, DisplayState.lastCardIndex);
    EXPECT_EQ(1, DisplayState.swapSides);
    EXPECT_TRUE(Invalidated());
    EXPECT_STREQ(L"error", cardStore.card.question);
    EXPECT_STREQ(L"data file could not be opened", cardStore.card.answer);
}

// An index beside the deck that carries the deck's own last-write time, the given count and
// the given offsets, as a damaged but current index would.
void PlantIndex(const std::wstring& deckPath, LONG count, const std::vector<DWORD>& offsets) {
    FILETIME stamp = {};
    {
        ScopedFile deck(CreateFileW(deckPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(deck.Valid());
        ASSERT_TRUE(GetFileTime(deck.Get(), nullptr, nullptr, &stamp));
    }
    std::vector<DWORD> words = {stamp.dwLowDateTime, stamp.dwHighDateTime,
                                static_cast<DWORD>(count)};
    words.insert(words.end(), offsets.begin(), offsets.end());
    const std::wstring indexPath = deckPath.substr(0, deckPath.size() - 4) + L".idx";
    ScopedFile index(CreateFileW(indexPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(index.Valid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(index.Get(), words.data(), static_cast<DWORD>(words.size() * 4), &written,
                          nullptr));
}

// The index file's bytes as little-endian 32-bit words.
std::vector<DWORD> ReadIndexWords(const std::wstring& indexPath) {
    std::vector<DWORD> words;
    ScopedFile index(CreateFileW(indexPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!index.Valid()) {
        return words;
    }
    BYTE bytes[4096];
    DWORD got = 0;
    if (!ReadFile(index.Get(), bytes, sizeof(bytes), &got, nullptr)) {
        return words;
    }
    for (DWORD i = 0; i + 4 <= got; i += 4) {
        words.push_back(static_cast<DWORD>(bytes[i]) | static_cast<DWORD>(bytes[i + 1]) << 8 |
                        static_cast<DWORD>(bytes[i + 2]) << 16 |
                        static_cast<DWORD>(bytes[i + 3]) << 24);
    }
    return words;
}

TEST_F(ItemWindow, ANegativeCountInACurrentIndexDrawsACardAndTheIndexHeals) {
    UseDeck(8); // "Qi<TAB>Ai<CR><LF>": 7 units, 14 bytes per card after the 2-byte mark
    PlantIndex(deckPath_, -5, {2, 16, 30});
    const std::wstring indexPath = folder_.File(L"deck.idx");
    const std::vector<DWORD> planted = ReadIndexWords(indexPath);
    ASSERT_EQ(6u, planted.size());
    ASSERT_EQ(0xFFFFFFFBu, planted[2]);

    // 13 mod -5 truncates to 3: card 3, which the damaged index does not hold.
    ValidateRect(item_, nullptr);
    EXPECT_EQ(0, LoseSelection({13, 0}));
    EXPECT_EQ(2u, scriptTaken);
    EXPECT_EQ(3, DisplayState.lastCardIndex);
    EXPECT_STREQ(L"Q3", cardStore.card.question);
    EXPECT_STREQ(L"A3", cardStore.card.answer);
    EXPECT_TRUE(Invalidated());

    // The rebuilt index: the same stamp, the real count and one offset per card.
    const std::vector<DWORD> rebuilt = ReadIndexWords(indexPath);
    ASSERT_EQ(3u + 8u, rebuilt.size());
    EXPECT_EQ(planted[0], rebuilt[0]);
    EXPECT_EQ(planted[1], rebuilt[1]);
    EXPECT_EQ(8u, rebuilt[2]);
    for (DWORD card = 0; card < 8; ++card) {
        EXPECT_EQ(2 + 14 * card, rebuilt[3 + card]) << "card " << card;
    }
    EXPECT_FALSE(testhost::FileExists(folder_.File(L"deck.tmp")));

    // The next loss reads through the healed index: a number past the planted count works.
    LoseSelection({6, 0});
    EXPECT_EQ(6, DisplayState.lastCardIndex);
    EXPECT_STREQ(L"Q6", cardStore.card.question);
}

TEST_F(ItemWindow, ACountOfZeroInACurrentIndexDrawsNothing) {
    UseDeck(4);
    PlantIndex(deckPath_, 0, {});
    DisplayState.lastCardIndex = 2;
    lstrcpyW(cardStore.card.question, L"before");
    ValidateRect(item_, nullptr);
    EXPECT_EQ(0, LoseSelection({1, 2, 3}));
    EXPECT_EQ(0u, scriptTaken);
    EXPECT_EQ(2, DisplayState.lastCardIndex);
    EXPECT_STREQ(L"before", cardStore.card.question);
    EXPECT_TRUE(Invalidated());
    // Nothing rebuilt the index: it still says 0 cards.
    const std::vector<DWORD> words = ReadIndexWords(folder_.File(L"deck.idx"));
    ASSERT_EQ(3u, words.size());
    EXPECT_EQ(0u, words[2]);
}

TEST_F(ItemWindow, SelectionShowsTheAnswerAndStartsTimerOneWithoutInvalidating) {
    DisplayState.phase = 1;
    ValidateRect(item_, nullptr);
    EXPECT_EQ(1, Send(WM_TODAYCUSTOM_RECEIVEDSELECTION));
    EXPECT_EQ(1, DisplayState.selected);
    EXPECT_EQ(0, DisplayState.phase);
    EXPECT_EQ(static_cast<UINT_PTR>(DISPLAY_TIMER_ID), DisplayState.timerId);
    EXPECT_FALSE(Invalidated());
    // Leaving stops the timer; the phase keeps its value.
    DisplayState.phase = 1;
    UseDeck(1);
    LoseSelection({0, 0});
    EXPECT_EQ(0, DisplayState.selected);
    EXPECT_EQ(0u, DisplayState.timerId);
    EXPECT_EQ(1, DisplayState.phase);
    EXPECT_TRUE(Invalidated());
}

TEST_F(ItemWindow, TurnsGoAnswerFirstThenQuestionLongThenAnswerShort) {
    // Every restart that picks the wrong interval would stall the turns for ten seconds.
    Settings.TimeOut1st = 1;
    Settings.TimeOutLong = NEVER;
    Settings.TimeOutShort = NEVER;
    steerTurns = true;
    turnLimit = 6;
    EXPECT_EQ(1, Send(WM_TODAYCUSTOM_RECEIVEDSELECTION));
    PumpFor(5000, [] { return turnPhases.size() >= 6; });
    PumpFor(200);
    EXPECT_EQ((std::vector<LONG>{1, 0, 1, 0, 1, 0}), turnPhases);
    EXPECT_EQ(static_cast<UINT_PTR>(DISPLAY_TIMER_ID), DisplayState.timerId);
    EXPECT_EQ(1, DisplayState.selected);

    // The selection's first interval is TimeOut1st, not the others.
    turnPhases.clear();
    steerTurns = false;
    Settings.TimeOut1st = NEVER;
    Settings.TimeOutLong = 1;
    Settings.TimeOutShort = 1;
    Send(WM_TODAYCUSTOM_RECEIVEDSELECTION);
    PumpFor(200);
    EXPECT_TRUE(turnPhases.empty());
    UseDeck(1);
    LoseSelection({0, 0});
}

TEST_F(ItemWindow, AStrayTimerWhileIdleTurnsAndKeepsTheTimerGoingUntilTheNextLoss) {
    Settings.TimeOutLong = 1;
    Settings.TimeOutShort = 1;
    ValidateRect(item_, nullptr);
    EXPECT_EQ(0, Send(WM_TIMER, 77, 0));
    EXPECT_EQ(1, DisplayState.phase);
    EXPECT_EQ(0, DisplayState.selected);
    EXPECT_EQ(static_cast<UINT_PTR>(DISPLAY_TIMER_ID), DisplayState.timerId);
    EXPECT_TRUE(Invalidated());
    EXPECT_EQ((std::vector<LONG>{1}), turnPhases);
    PumpFor(3000, [] { return turnPhases.size() >= 4; });
    EXPECT_GE(turnPhases.size(), 4u);

    Send(WM_TODAYCUSTOM_RECEIVEDSELECTION);
    UseDeck(1);
    LoseSelection({0, 0});
    turnPhases.clear();
    PumpFor(150);
    EXPECT_TRUE(turnPhases.empty());
}

TEST_F(ItemWindow, PaintBackgroundDestroyAndOtherMessages) {
    DisplayStateRecord before = DisplayState;
    EXPECT_EQ(0, Send(WM_DESTROY));
    EXPECT_EQ(0, memcmp(&before, &DisplayState, sizeof(before)));
    HDC dc = GetDC(item_);
    EXPECT_EQ(1, Send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)));
    ReleaseDC(item_, dc);
    InvalidateRect(item_, nullptr, TRUE);
    EXPECT_EQ(0, Send(WM_PAINT));
    EXPECT_FALSE(Invalidated()); // the paint validated the item: BeginPaint ran
    // Anything else goes to the default procedure.
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"renamed"));
    WCHAR text[16] = {};
    GetWindowTextW(item_, text, 16);
    EXPECT_STREQ(L"renamed", text);
}

// The shell's readiness event is global to the Wine prefix; another test program may hold it
// for a moment. Waits until nobody does.
bool WaitUntilReadyEventIsGone() {
    for (int i = 0; i < 300; ++i) {
        HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, TODAY_SHELL_READY_EVENT);
        if (event == nullptr) {
            return true;
        }
        CloseHandle(event);
        Sleep(10);
    }
    return false;
}

TEST_F(ItemWindow, TheHeightIsReportedOnceTheShellIsReadyAndAgainWhenMarked) {
    ASSERT_TRUE(WaitUntilReadyEventIsGone());
    TODAYLISTITEM item = {};
    item.grfFlags = 0x6;
    Settings.Height = 48;
    // No event: the shell is not up.
    EXPECT_EQ(0, Send(WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&item)));
    EXPECT_EQ(0u, item.cyp);

    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, TODAY_SHELL_READY_EVENT);
    ASSERT_NE(nullptr, ready);
    // The event exists but is not set.
    EXPECT_EQ(0, Send(WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&item)));
    EXPECT_EQ(0u, item.cyp);

    SetEvent(ready);
    EXPECT_EQ(0, Send(WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0));
    // First query: cyp takes the height.
    EXPECT_EQ(1, Send(WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&item)));
    EXPECT_EQ(48u, item.cyp);
    EXPECT_EQ(0x6u, item.grfFlags);
    // Then nothing new until the mark is set.
    Settings.Height = 64;
    EXPECT_EQ(0, Send(WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&item)));
    EXPECT_EQ(48u, item.cyp);
    item.grfFlags |= TODAY_GRF_REFRESH_HEIGHT;
    EXPECT_EQ(1, Send(WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&item)));
    EXPECT_EQ(64u, item.cyp);
    EXPECT_EQ(0x6u, item.grfFlags);
    // Height 0 leaves cyp at 0, so every query reports again.
    Settings.Height = 0;
    TODAYLISTITEM flat = {};
    EXPECT_EQ(1, Send(WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&flat)));
    EXPECT_EQ(1, Send(WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&flat)));
    EXPECT_EQ(0u, flat.cyp);

    CloseHandle(ready);
    // The item kept no handle of its own: with ours closed the event is gone.
    HANDLE left = OpenEventW(SYNCHRONIZE, FALSE, TODAY_SHELL_READY_EVENT);
    EXPECT_EQ(nullptr, left);
    if (left != nullptr) {
        CloseHandle(left);
    }
    EXPECT_EQ(0, Send(WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&flat)));
}

std::wstring ReadUtf16File(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return L"";
    }
    wchar_t buffer[1024] = {};
    DWORD got = 0;
    ReadFile(file, buffer, sizeof(buffer) - sizeof(wchar_t), &got, nullptr);
    CloseHandle(file);
    return std::wstring(buffer, got / sizeof(wchar_t));
}

TEST_F(ItemWindow, TheActionOpensTheDataFileWithItsAssociatedProgram) {
    UseDeck(2);
    const std::wstring output = folder_.File(L"opened.log");
    RecorderAssociation association(testhost::ProgramFolder() + L"\\recorder.exe", output);
    wcscpy(dataFilePath, deckPath_.c_str());
    moduleInstance = GetModuleHandleW(nullptr);
    DisplayState = {1, 1, 0, 1, 1};
    const DisplayStateRecord before = DisplayState;
    ValidateRect(item_, nullptr);

    EXPECT_EQ(0, Send(WM_TODAYCUSTOM_ACTION));
    EXPECT_EQ(0, memcmp(&before, &DisplayState, sizeof(before)));
    EXPECT_FALSE(Invalidated());

    // Under load the file can be seen a moment before it can be read: wait for its text.
    std::wstring recorded;
    PumpFor(10000, [&] { return !(recorded = ReadUtf16File(output)).empty(); });
    ASSERT_TRUE(testhost::FileExists(output));
    ASSERT_FALSE(recorded.empty());
    recorded.pop_back(); // the line end
    EXPECT_EQ(0, lstrcmpiW(deckPath_.c_str(), recorded.c_str()))
        << "opened: " << std::string(recorded.begin(), recorded.end());
    dataFilePath[0] = 0;
    moduleInstance = nullptr;
}

} // namespace

namespace {

// The platform source gives numbers over the whole non-negative range: in 2000 draws every one
// of bits 0 to 30 is seen set and seen clear (a 15-bit rand() or a stuck bit fails), and the
// sign bit never. Two module loads drawing different sequences: tests/module.
TEST(RandomSource, ThePlatformSourceCoversEveryBitOfTheNonNegativeRange) {
    SetRandomSource(nullptr);
    DWORD seenSet = 0;
    DWORD seenClear = 0;
    for (int i = 0; i < 2000; ++i) {
        const LONG r = NextRandom();
        ASSERT_GE(r, 0);
        seenSet |= static_cast<DWORD>(r);
        seenClear |= ~static_cast<DWORD>(r);
    }
    EXPECT_EQ(0x7FFFFFFFu, seenSet);
    EXPECT_EQ(0xFFFFFFFFu, seenClear);
}

} // namespace
