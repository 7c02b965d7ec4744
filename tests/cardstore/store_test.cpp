// Index validation by the stamp, card lookup and loading, and the errors a user sees.
#include "cardstore_fixture.h"

namespace {

using IndexValidation = CardStoreTest;
using CardLoading = CardStoreTest;
using StorePaths = CardStoreTest;

FILETIME Shifted(FILETIME t, DWORD lowXor, DWORD highXor) {
    t.dwLowDateTime ^= lowXor;
    t.dwHighDateTime ^= highXor;
    return t;
}

TEST_F(IndexValidation, FirstCountBuildsTheIndex) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2\r\nQ3\tA3\r\n");
    EXPECT_FALSE(Exists(indexPath));
    EXPECT_EQ(3, Count());
    EXPECT_TRUE(Exists(indexPath));
    EXPECT_EQ(L"Tollamy Ver.0.10", Question()); // counting shows nothing
    EXPECT_EQ(L"Flash cards for your Today screen", Answer());
}

TEST_F(IndexValidation, StampIsComparedInBothHalves) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2");
    ASSERT_EQ(2, Count());
    FILETIME stamp = LastWriteTime(deckPath);

    // New content under the very same time: the index is trusted as it is.
    WriteDeck(L"Q1\tA1\r\nQ2\tA2\r\nQ3\tA3");
    ASSERT_TRUE(SetLastWriteTime(deckPath, stamp));
    EXPECT_EQ(2, Count());

    // A time that differs only in its low half, then only in its high half, is stale.
    FILETIME lowOnly = Shifted(stamp, 1, 0);
    ASSERT_TRUE(SetLastWriteTime(deckPath, lowOnly));
    EXPECT_EQ(3, Count());
    IndexFields index;
    ASSERT_TRUE(ReadIndex(indexPath, &index));
    EXPECT_TRUE(index.stamp == lowOnly);

    WriteDeck(L"Q1\tA1");
    ASSERT_TRUE(SetLastWriteTime(deckPath, Shifted(lowOnly, 0, 0)));
    EXPECT_EQ(3, Count());
    FILETIME highOnly = Shifted(lowOnly, 0, 1);
    ASSERT_TRUE(SetLastWriteTime(deckPath, highOnly));
    EXPECT_EQ(2, Offset(0)); // GetCardOffset validates too
    ASSERT_TRUE(ReadIndex(indexPath, &index));
    EXPECT_TRUE(index.stamp == highOnly);
    EXPECT_EQ(1, index.count);
}

TEST_F(IndexValidation, ShortIndexFilesAreRebuilt) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2");
    for (size_t size : {0, 7, 8, 11}) {
        Bytes stamp(size, 0);
        ASSERT_TRUE(WriteBytes(indexPath, stamp));
        EXPECT_EQ(2, Count()) << size << " bytes";
        ASSERT_TRUE(WriteBytes(indexPath, stamp));
        EXPECT_EQ(16, Offset(1)) << size << " bytes";
    }
}

TEST_F(IndexValidation, VanishedDeckIsReportedWithoutRebuild) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2");
    ASSERT_EQ(2, Count());
    Bytes before;
    ASSERT_TRUE(ReadBytes(indexPath, &before));
    ASSERT_TRUE(DeleteFileW(deckPath.c_str()));

    FaultyFileOps counted;
    EXPECT_EQ(-1, Count());
    EXPECT_EQ(L"error", Question());
    EXPECT_EQ(L"data file could not be opened", Answer());
    EXPECT_EQ(-1, Offset(0));
    Load(1);
    EXPECT_EQ(L"data file could not be opened", Answer());
    EXPECT_EQ(0, counted.indexCreates);
    Bytes after;
    ASSERT_TRUE(ReadBytes(indexPath, &after));
    EXPECT_TRUE(before == after);
    EXPECT_FALSE(Exists(tempPath));
}

TEST_F(IndexValidation, FullStorageEndsAfterOneRebuildPerCall) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2");
    for (long room : {0L, 6L, 12L}) {
        FaultyFileOps full;
        full.indexRoom = room; // the index is created but cannot be written whole
        EXPECT_EQ(room == 12 ? 2 : -1, Count()) << room;
        EXPECT_EQ(1, full.indexCreates) << room;
        DeleteFileW(indexPath.c_str());
    }
    FaultyFileOps full;
    full.indexRoom = 0;
    store.card = Card();
    Load(0);
    EXPECT_EQ(3, full.indexCreates); // GetCardOffset twice and LoadCard's own rebuild
    EXPECT_EQ(L"Tollamy Ver.0.10", Question());
}

TEST_F(IndexValidation, IndexCutShortAfterTheCountFailsTheLookup) {
    // Header whole but offsets missing: the count stands, the offset is not there.
    WriteDeck(L"Q1\tA1\r\nQ2\tA2");
    FaultyFileOps full;
    full.indexRoom = 16;
    EXPECT_EQ(2, Count());
    EXPECT_EQ(2, Offset(0));
    EXPECT_EQ(-1, Offset(1));
}

TEST_F(CardLoading, FieldsOfALine) {
    struct Case {
        const wchar_t* line;
        const wchar_t* question;
        const wchar_t* answer;
    } cases[] = {
        {L"Q", L"Q", L""},
        {L"\tA", L"", L"A"},
        {L"Q\t\t\tA", L"Q", L"A"},
        {L"Q\tA\tB", L"Q", L"A"},
        {L"Q\tA\r\n", L"Q", L"A"},
        {L"Q\r\tA", L"Q", L""},
        {L"Q\t\r\nA", L"Q", L""},
        {L"Q\t", L"Q", L""},
        {L"\r\n", L"", L""},
        {L"Fr\u00e4ge \u65e5\tAnt\u00f6rt", L"Fr\u00e4ge \u65e5", L"Ant\u00f6rt"},
    };
    for (const Case& c : cases) {
        WriteDeck(std::wstring(L"first\tline\r\n") + c.line);
        ASSERT_GE(Count(), 2);
        Load(1);
        EXPECT_EQ(c.question, Question()) << testing::PrintToString(std::wstring(c.line));
        EXPECT_EQ(c.answer, Answer()) << testing::PrintToString(std::wstring(c.line));
    }
}

TEST_F(CardLoading, LongFieldsAreCutAt511Units) {
    std::wstring q511(511, L'q'), q600(600, L'q'), a600(600, L'a');
    std::wstring tabs(3000, L'\t');
    struct Case {
        std::wstring line, question, answer;
    } cases[] = {
        {q511 + L"\tA", q511, L"A"},
        {L"Q\t" + a600 + L"\r\n", L"Q", a600.substr(0, 511)},
        // An over-long question is cut, its tail skipped, and the real answer read.
        {q511 + L"r\tA\r\n", q511, L"A"},
        {q600 + L"\tA", q511, L"A"},
        {q600 + L"\t\t\t" + a600, q511, a600.substr(0, 511)},
        {q600 + L"\r\nnext", q511, L""},
        {q600, q511, L""},
        {std::wstring(5000, L'x') + tabs + L"A\tB", std::wstring(511, L'x'), L"A"},
        {L"Q" + tabs + L"A", L"Q", L"A"},
    };
    for (const Case& c : cases) {
        WriteDeck(L"first\r\n" + c.line);
        ASSERT_GE(Count(), 2);
        Load(1);
        EXPECT_EQ(c.question, Question()) << c.line.size();
        EXPECT_EQ(c.answer, Answer()) << c.line.size();
    }
}

TEST_F(CardLoading, LastLineWithoutLineEndLoadsWhole) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2");
    ASSERT_EQ(2, Count());
    Load(1);
    EXPECT_EQ(L"Q2", Question());
    EXPECT_EQ(L"A2", Answer());
    Load(0);
    EXPECT_EQ(L"Q1", Question());
    EXPECT_EQ(L"A1", Answer());
}

TEST_F(CardLoading, OutOfIndexAfterOneRebuild) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2");
    ASSERT_EQ(2, Count());
    for (LONG n : {2L, -1L, 0x7FFFFFFFL}) {
        FaultyFileOps counted;
        Load(n);
        EXPECT_EQ(L"error", Question()) << n;
        EXPECT_EQ(L"out of index", Answer()) << n;
        EXPECT_EQ(1, counted.indexCreates) << n;
        EXPECT_EQ(-1, Offset(n));
    }
    // The error stays until a later load succeeds.
    EXPECT_EQ(2, Count());
    EXPECT_EQ(L"out of index", Answer());
    Load(1);
    EXPECT_EQ(L"Q2", Question());
    EXPECT_EQ(L"A2", Answer());
}

TEST_F(CardLoading, ErrorStaysUntilALaterLoad) {
    WriteDeck(L"Q1\tA1");
    Load(0);
    ASSERT_TRUE(DeleteFileW(deckPath.c_str()));
    Load(0);
    EXPECT_EQ(L"error", Question());
    EXPECT_EQ(-1, Count());
    WriteDeck(L"Q1\tA1");
    EXPECT_EQ(L"data file could not be opened", Answer());
    Load(0);
    EXPECT_EQ(L"Q1", Question());
}

TEST_F(CardLoading, ACardIsReadWithOneRead) {
    std::wstring text;
    for (int i = 0; i < 200; ++i) {
        text += std::wstring(300, L'q') + L"\t" + std::wstring(300, L'a') + L"\r\n";
    }
    WriteDeck(text);
    ASSERT_EQ(200, Count());
    FaultyFileOps counted;
    Load(100);
    EXPECT_EQ(1, counted.dataReadCalls);
    EXPECT_EQ(std::wstring(300, L'a'), Answer());
}

TEST_F(StorePaths, IndexPathReplacesTheLastExtension) {
    CardStore s;
    s.SetPaths(L"C:\\My.Folder\\Tollamy.txt");
    EXPECT_STREQ(L"C:\\My.Folder\\Tollamy.txt", s.dataPath);
    EXPECT_STREQ(L"C:\\My.Folder\\Tollamy.idx", s.indexPath);
    s.SetPaths(L"C:/a/deck.v2.txt");
    EXPECT_STREQ(L"C:/a/deck.v2.idx", s.indexPath);
    EXPECT_EQ(L"Tollamy Ver.0.10", std::wstring(s.card.question));
}

TEST_F(StorePaths, PathsThatWouldReachTheDataFileLeaveTheStoreWithout) {
    std::wstring fits = L"C:\\" + std::wstring(252, L'd') + L".txt"; // 259 units
    std::wstring tooLong = L"C:\\" + std::wstring(253, L'd') + L".txt";
    std::wstring noRoomForIdx = L"C:\\" + std::wstring(254, L'd') + L".t"; // .idx: 260 units
    const std::wstring refused[] = {
        L"C:\\dir.d\\deck", L"C:\\dir.d/deck",  L"deck", L"",         L"C:\\d\\deck.idx",
        L"C:\\d\\deck.IDX", L"C:\\d\\deck.tmp", tooLong, noRoomForIdx};
    for (const std::wstring& path : refused) {
        CardStore s;
        s.SetPaths(L"C:\\ok.txt");
        s.SetPaths(path.c_str());
        EXPECT_STREQ(L"", s.dataPath) << path.size();
        EXPECT_STREQ(L"", s.indexPath) << path.size();
    }
    CardStore s;
    s.SetPaths(fits.c_str());
    EXPECT_EQ(fits, std::wstring(s.dataPath));
    EXPECT_EQ(259u, std::wstring(s.indexPath).size());
}

TEST_F(StorePaths, RefusedPathTouchesNoFile) {
    const wchar_t* names[] = {L"deck", L"deck.idx", L"deck.tmp"};
    for (const wchar_t* name : names) {
        std::wstring path = folder.File(name);
        WriteDeck(Deck(L"Q\tA\r\nQ2\tA2"), path);
        CardStore s;
        s.SetPaths(path.c_str());
        EXPECT_EQ(-1, s.GetCardCount());
        EXPECT_EQ(0, s.BuildIndex());
        EXPECT_EQ(-1, s.GetCardOffset(0));
        s.LoadCard(0);
        EXPECT_EQ(L"Tollamy Ver.0.10", std::wstring(s.card.question));
        ExpectFilesFree();
        DeleteFileW(path.c_str());
        EXPECT_TRUE(folder.Entries().empty());
    }
}

TEST_F(StorePaths, WithoutPathsNothingHappens) {
    CardStore s;
    WriteDeck(L"Q\tA");
    EXPECT_EQ(-1, s.GetCardCount());
    EXPECT_EQ(-1, s.GetCardOffset(0));
    EXPECT_EQ(0, s.BuildIndex());
    s.LoadCard(0);
    EXPECT_EQ(L"Tollamy Ver.0.10", std::wstring(s.card.question));
    EXPECT_EQ(L"Flash cards for your Today screen", std::wstring(s.card.answer));
    EXPECT_EQ(1u, folder.Entries().size());
}

} // namespace
