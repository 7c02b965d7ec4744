// The index file a build writes, and the files each failing build leaves behind.
#include "cardstore_fixture.h"

namespace {

using IndexBuild = CardStoreTest;

std::vector<uint32_t> BuiltOffsets(const std::wstring& indexPath) {
    IndexFields index;
    EXPECT_TRUE(ReadIndex(indexPath, &index));
    EXPECT_TRUE(index.whole);
    EXPECT_EQ(static_cast<size_t>(index.count), index.offsets.size());
    return index.offsets;
}

TEST_F(IndexBuild, WritesStampCountAndOffsetsAndRemovesTheTempFile) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2\r\n");
    ASSERT_EQ(1, Build());
    IndexFields index;
    ASSERT_TRUE(ReadIndex(indexPath, &index));
    EXPECT_TRUE(index.whole);
    EXPECT_TRUE(index.stamp == LastWriteTime(deckPath));
    EXPECT_EQ(2, index.count);
    EXPECT_EQ((std::vector<uint32_t>{2, 16}), index.offsets);
    EXPECT_FALSE(Exists(tempPath));
    // A successful build leaves the card alone.
    EXPECT_EQ(L"Tollamy Ver.0.10", Question());
}

TEST_F(IndexBuild, CardNumberingAfterLineEnds) {
    struct Case {
        const wchar_t* text;
        std::vector<uint32_t> offsets;
    } cases[] = {
        {L"", {2}},                                 // only the mark
        {L"Q1\tA1\r\n\r\nQ2\tA2", {2, 16, 20}},     // CR LF empty line is a card
        {L"Q1\tA1\n\nQ2\tA2\nQ3\tA3", {2, 14, 28}}, // LF LF hides the next line
        {L"\nQ", {2, 4}},                           // LF right after the mark
        {L"Q\n", {2}},                              // a final LF starts nothing
        {L"\n\n\n", {2, 4}},                        // the unit after LF is not tested
        {L"a\n\nb\n\n", {2, 6, 12}},
    };
    for (const Case& c : cases) {
        WriteDeck(c.text);
        DeleteFileW(indexPath.c_str());
        ASSERT_EQ(1, Build()) << testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(c.offsets, BuiltOffsets(indexPath))
            << testing::PrintToString(std::wstring(c.text));
    }
}

TEST_F(IndexBuild, TrailingOddByteIsIgnored) {
    Bytes deck = Deck(L"Q\tA\n");
    deck.push_back(0x42); // half a unit after the final LF: no card
    WriteDeck(deck);
    ASSERT_EQ(1, Build());
    EXPECT_EQ((std::vector<uint32_t>{2}), BuiltOffsets(indexPath));
    Load(0);
    EXPECT_EQ(L"Q", Question());
    EXPECT_EQ(L"A", Answer());
}

TEST_F(IndexBuild, DeckWithoutLittleEndianMarkIsRefusedAndTheIndexDeleted) {
    const Bytes refused[] = {
        {}, {0xFF}, {0xFE, 0xFF, 0, 'Q'}, {0xEF, 0xBB, 0xBF, 'Q'}, Utf16(L"Q\tA")};
    for (const Bytes& deck : refused) {
        WriteDeck(Deck(L"Q\tA"));
        ASSERT_EQ(1, Build());
        ASSERT_TRUE(Exists(indexPath));
        WriteDeck(deck);
        EXPECT_EQ(0, Build());
        EXPECT_EQ(L"error", Question());
        EXPECT_EQ(L"data file is not UTF-16 encodeing.", Answer());
        EXPECT_FALSE(Exists(indexPath));
        EXPECT_FALSE(Exists(tempPath));
        EXPECT_EQ(-1, Count());
    }
}

TEST_F(IndexBuild, TempFileThatCannotBeCreatedLeavesTheIndexUnchanged) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2");
    ASSERT_EQ(1, Build());
    Bytes before;
    ASSERT_TRUE(ReadBytes(indexPath, &before));
    ASSERT_TRUE(CreateDirectoryW(tempPath.c_str(), nullptr)); // a folder in the way

    WriteDeck(L"Q1\tA1\r\nQ2\tA2\r\nQ3\tA3"); // the index is now stale
    EXPECT_EQ(-1, Count());
    EXPECT_EQ(L"error", Question());
    EXPECT_EQ(L"temp file could not be created", Answer());
    Bytes after;
    ASSERT_TRUE(ReadBytes(indexPath, &after));
    EXPECT_TRUE(before == after);

    RemoveDirectoryW(tempPath.c_str());
    EXPECT_EQ(3, Count());
}

TEST_F(IndexBuild, IndexThatCannotBeCreatedDeletesTheTempFile) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2");
    ASSERT_TRUE(CreateDirectoryW(indexPath.c_str(), nullptr));
    EXPECT_EQ(-1, Count());
    EXPECT_EQ(L"error", Question());
    EXPECT_EQ(L"index file could not be opened", Answer());
    EXPECT_FALSE(Exists(tempPath));
    Load(0);
    EXPECT_EQ(L"index file could not be opened", Answer());
    EXPECT_FALSE(Exists(tempPath));
}

TEST_F(IndexBuild, IndexHeldOpenByAnotherHandleCannotBeCreated) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2");
    ASSERT_EQ(1, Build());
    HANDLE other = CreateFileW(indexPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    EXPECT_EQ(-1, store.GetCardCount());
    EXPECT_EQ(L"error", Question());
    EXPECT_EQ(L"index file could not be opened", Answer());
    EXPECT_FALSE(Exists(tempPath));
    CloseHandle(other);
    EXPECT_EQ(2, Count());
}

TEST_F(IndexBuild, TempFileThatCannotBeReopenedLeavesAnEmptyIndexAndTheTempFile) {
    WriteDeck(L"Q1\tA1\r\nQ2\tA2\r\nQ3\tA3");
    {
        FaultyFileOps faults;
        faults.failOpenSuffix = L".tmp";
        EXPECT_EQ(0, Build());
    }
    EXPECT_EQ(L"error", Question());
    EXPECT_EQ(L"temp file could not be opened", Answer());
    Bytes index, temp;
    ASSERT_TRUE(ReadBytes(indexPath, &index));
    EXPECT_EQ(0u, index.size());
    ASSERT_TRUE(ReadBytes(tempPath, &temp));
    EXPECT_EQ((Bytes{2, 0, 0, 0, 16, 0, 0, 0, 30, 0, 0, 0}), temp);
    // The empty index is rebuilt by the next query, and the temp file goes with that build.
    EXPECT_EQ(3, Count());
    EXPECT_FALSE(Exists(tempPath));
}

TEST_F(IndexBuild, DataFileHeldOpenByAnotherHandleCannotBeScanned) {
    WriteDeck(L"Q1\tA1");
    HANDLE other = CreateFileW(deckPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    EXPECT_EQ(-1, store.GetCardCount());
    EXPECT_EQ(L"error", Question());
    EXPECT_EQ(L"data file could not be opened", Answer());
    EXPECT_FALSE(Exists(indexPath));
    EXPECT_FALSE(Exists(tempPath));
    store.LoadCard(0);
    EXPECT_EQ(L"data file could not be opened", Answer());
    CloseHandle(other);
    Load(0);
    EXPECT_EQ(L"Q1", Question());
    EXPECT_EQ(L"A1", Answer());
}

TEST_F(IndexBuild, LargeDeckStreamsEveryOffset) {
    // Far more cards than one batch of offsets, and lines across many read blocks.
    std::wstring text;
    std::vector<uint32_t> expected;
    uint32_t at = 2;
    for (int i = 0; i < 20000; ++i) {
        expected.push_back(at);
        std::wstring line = L"q" + std::to_wstring(i) + L"\ta\r\n";
        text += line;
        at += 2 * static_cast<uint32_t>(line.size());
    }
    WriteDeck(text);
    ASSERT_EQ(1, Build());
    EXPECT_EQ(expected, BuiltOffsets(indexPath));
    EXPECT_EQ(20000, Count());
    Load(19999);
    EXPECT_EQ(L"q19999", Question());
}

} // namespace
