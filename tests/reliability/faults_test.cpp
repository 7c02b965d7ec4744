// The item under faults met on a real device: the deck rewritten while the item runs, the deck
// or the index held open by another program, an index or temporary path that cannot be
// created, and a deck that vanished under its index. Each run is the real today-host.exe on a
// copy of the real module; which card the item shows is told by comparing its captures with
// those of a control run on a deck that holds only that card.
#include <gtest/gtest.h>

#include <map>

#include "relsupport.h"

namespace {

const wchar_t FRANCE_Q[] = L"Capital of France?";
const wchar_t FRANCE_A[] = L"Paris";
const wchar_t ERROR_Q[] = L"error";
const wchar_t DATA_FILE_ERROR[] = L"data file could not be opened";
const wchar_t INDEX_FILE_ERROR[] = L"index file could not be opened";
const wchar_t TEMP_FILE_ERROR[] = L"temp file could not be created";

// The looks of one card, made once per test program.
const rel::Looks& LooksOf(const std::wstring& question, const std::wstring& answer) {
    static std::map<std::wstring, rel::Looks> made;
    const std::wstring key = question + L"\t" + answer;
    auto found = made.find(key);
    if (found == made.end()) {
        found = made.emplace(key, rel::ControlLooks(question, answer)).first;
    }
    return found->second;
}

std::vector<std::wstring> Copies(const std::wstring& card, int count) {
    return std::vector<std::wstring>(static_cast<size_t>(count), card);
}

class Faults : public ::testing::Test {
public:
    void SetUp() override {
        module_ = rel::InstallModule(folder_);
        deck_ = folder_.File(L"Tollamy.txt");
        index_ = folder_.File(L"Tollamy.idx");
        temp_ = folder_.File(L"Tollamy.tmp");
        script_ = folder_.File(L"run.script");
    }

    void WriteDeck(const std::vector<std::wstring>& lines) {
        deckBytes_ = rel::DeckBytes(lines);
        rel::WriteBytes(deck_, deckBytes_);
    }

    std::wstring Arguments(const std::string& script) {
        hostrun::WriteScript(script_, script);
        return rel::HostArguments(module_, script_, folder_.Path());
    }

    hostrun::Image Capture(const wchar_t* name) {
        hostrun::Image image;
        EXPECT_TRUE(hostrun::ReadPng(folder_.File(std::wstring(name) + L".png"), &image))
            << rel::Narrow(name);
        return image;
    }

    // The two captures name-q (after a leave) and name-a (after a select) show this card.
    void ExpectShows(const std::wstring& name, const rel::Looks& looks, const char* what) {
        ASSERT_TRUE(looks.ok) << "the control run failed";
        EXPECT_TRUE(rel::SameImage(looks.question, Capture((name + L"-q").c_str())))
            << rel::Narrow(name) << ": the question side should show " << what;
        EXPECT_TRUE(rel::SameImage(looks.answer, Capture((name + L"-a").c_str())))
            << rel::Narrow(name) << ": the answer side should show " << what;
    }

    void TearDown() override {
        // The item only ever reads the deck.
        if (!deckBytes_.empty() && hostrun::FileExists(deck_)) {
            EXPECT_TRUE(rel::ReadBytes(deck_) == deckBytes_) << "the deck's bytes changed";
        }
    }

    hostrun::TempFolder folder_;
    hostrun::InstalledSettings settings_;
    std::wstring module_;
    std::wstring deck_;
    std::wstring index_;
    std::wstring temp_;
    std::wstring script_;
    std::string deckBytes_;
};

// One card's two looks, then a pause in which the test changes something, then the looks of
// the card that the next leave draws. Lines: 1 select, 2 leave, 3 capture, 4 select,
// 5 capture, 6 wait, then six more.
const char HOLD_THEN_FREE[] = "select\nleave\ncapture-item held-q\nselect\ncapture-item held-a\n"
                              "wait 2500\nleave\ncapture-item free-q\nselect\n"
                              "capture-item free-a\nquit\n";
const size_t LINES_BEFORE_PAUSE = 5;
const size_t LINES_IN_ALL = 11;

// Another program holds `held` with no sharing (creating it first when `create` is set) through
// the host's first leave, then lets it go during the pause: the first card is the error card
// with `message`, the card after the pause the deck's own.
void HeldUntilReleased(Faults& test, const std::wstring& held, bool create,
                       const wchar_t* message) {
    ASSERT_TRUE(LooksOf(ERROR_Q, message).ok);
    ASSERT_TRUE(LooksOf(FRANCE_Q, FRANCE_A).ok);
    // The captures tell the two cards apart, on both sides.
    ASSERT_FALSE(
        rel::SameImage(LooksOf(ERROR_Q, message).question, LooksOf(FRANCE_Q, FRANCE_A).question));
    ASSERT_FALSE(
        rel::SameImage(LooksOf(ERROR_Q, message).answer, LooksOf(FRANCE_Q, FRANCE_A).answer));

    rel::Holder holder;
    ASSERT_TRUE(holder.Hold(held, create));
    rel::LiveHost host;
    ASSERT_TRUE(host.Start(test.Arguments(HOLD_THEN_FREE)));
    ASSERT_TRUE(host.WaitForLines(LINES_BEFORE_PAUSE, 30000)) << host.Describe();
    // A failed build leaves no temporary file behind.
    EXPECT_FALSE(hostrun::FileExists(test.temp_));
    ASSERT_TRUE(holder.Release());
    ASSERT_EQ(LINES_BEFORE_PAUSE, host.Lines().size())
        << "the file was released after the host's pause had ended\n"
        << host.Describe();
    DWORD status = 99;
    ASSERT_TRUE(host.Wait(30000, &status)) << host.Describe();
    EXPECT_EQ(0u, status) << host.Describe();
    // The item kept answering: every command printed its line.
    EXPECT_EQ(LINES_IN_ALL, host.Lines().size()) << host.Describe();

    test.ExpectShows(L"held", LooksOf(ERROR_Q, message), "the error card");
    test.ExpectShows(L"free", LooksOf(FRANCE_Q, FRANCE_A), "the deck's card");
    EXPECT_EQ("", rel::CheckIndex(test.index_, test.deck_));
    EXPECT_FALSE(hostrun::FileExists(test.temp_));
}

TEST_F(Faults, ADeckHeldByAnotherProgramShowsTheErrorCardUntilItIsReleased) {
    WriteDeck(Copies(std::wstring(FRANCE_Q) + L"\t" + FRANCE_A, 3));
    HeldUntilReleased(*this, deck_, false, DATA_FILE_ERROR);
}

TEST_F(Faults, AnIndexHeldByAnotherProgramFailsTheBuildUntilItIsReleased) {
    WriteDeck(Copies(std::wstring(FRANCE_Q) + L"\t" + FRANCE_A, 4));
    HeldUntilReleased(*this, index_, true, INDEX_FILE_ERROR);
}

// A deck rewritten during the host's pauses: first with another card count and a later
// last-write time, then with other text of the same size whose last-write time differs
// from the indexed stamp in its low half only.
TEST_F(Faults, ADeckRewrittenWhileTheItemRunsIsIndexedAgainAtTheNextLeave) {
    const std::wstring japan = L"Capital of Japan?\tTokyo";
    const std::wstring egypt = L"Capital of Egypt?\tCairo"; // as long as japan
    WriteDeck(Copies(std::wstring(FRANCE_Q) + L"\t" + FRANCE_A, 3));
    ASSERT_TRUE(LooksOf(FRANCE_Q, FRANCE_A).ok);
    ASSERT_TRUE(LooksOf(L"Capital of Japan?", L"Tokyo").ok);
    ASSERT_TRUE(LooksOf(L"Capital of Egypt?", L"Cairo").ok);

    rel::LiveHost host;
    ASSERT_TRUE(host.Start(Arguments("select\nleave\ncapture-item first-q\nselect\n"
                                     "capture-item first-a\nwait 2500\n"
                                     "leave\ncapture-item second-q\nselect\n"
                                     "capture-item second-a\nwait 2500\n"
                                     "leave\ncapture-item third-q\nselect\n"
                                     "capture-item third-a\nquit\n")));

    // First pause: five cards instead of three, written ten seconds later.
    ASSERT_TRUE(host.WaitForLines(5, 30000)) << host.Describe();
    ASSERT_EQ("", rel::CheckIndex(index_, deck_));
    rel::Index before;
    ASSERT_TRUE(rel::ReadIndex(index_, &before));
    EXPECT_EQ(3, before.count);
    const FILETIME first = rel::LastWriteTime(deck_);
    WriteDeck(Copies(japan, 5));
    ULARGE_INTEGER later;
    later.LowPart = first.dwLowDateTime;
    later.HighPart = first.dwHighDateTime;
    later.QuadPart += 10ull * 10000000ull;
    FILETIME second = {later.LowPart, later.HighPart};
    rel::SetLastWriteTime(deck_, second);
    ASSERT_EQ(5u, host.Lines().size()) << "the deck was rewritten after the pause had ended\n"
                                       << host.Describe();

    // Second pause: the index now describes the five-card deck.
    ASSERT_TRUE(host.WaitForLines(10, 30000)) << host.Describe();
    EXPECT_EQ("", rel::CheckIndex(index_, deck_));
    rel::Index middle;
    ASSERT_TRUE(rel::ReadIndex(index_, &middle));
    EXPECT_EQ(5, middle.count);
    second = rel::LastWriteTime(deck_);
    WriteDeck(Copies(egypt, 5));
    FILETIME third = second;
    third.dwLowDateTime += third.dwLowDateTime == 0xFFFFFFFF ? -1 : 1;
    rel::SetLastWriteTime(deck_, third);
    const FILETIME stored = rel::LastWriteTime(deck_);
    ASSERT_EQ(second.dwHighDateTime, stored.dwHighDateTime);
    ASSERT_NE(second.dwLowDateTime, stored.dwLowDateTime)
        << "the file system did not keep a one-unit change of the last-write time";
    ASSERT_EQ(10u, host.Lines().size()) << "the deck was rewritten after the pause had ended\n"
                                        << host.Describe();

    DWORD status = 99;
    ASSERT_TRUE(host.Wait(30000, &status)) << host.Describe();
    EXPECT_EQ(0u, status) << host.Describe();
    EXPECT_EQ(16u, host.Lines().size()) << host.Describe();

    ExpectShows(L"first", LooksOf(FRANCE_Q, FRANCE_A), "the first deck's card");
    ExpectShows(L"second", LooksOf(L"Capital of Japan?", L"Tokyo"), "the second deck's card");
    ExpectShows(L"third", LooksOf(L"Capital of Egypt?", L"Cairo"), "the third deck's card");
    EXPECT_EQ("", rel::CheckIndex(index_, deck_));
    rel::Index last;
    ASSERT_TRUE(rel::ReadIndex(index_, &last));
    EXPECT_EQ(stored.dwLowDateTime, last.stampLow);
    EXPECT_EQ(5, last.count);
    EXPECT_FALSE(hostrun::FileExists(temp_));
}

// A folder where the index (or the temporary file) cannot be created: a folder of that name
// stands in its place. The error card with `message` appears and nothing beside the deck
// changes.
void BlockedPathShowsTheErrorAndWritesNothing(Faults& test, const std::wstring& blocked,
                                              const wchar_t* message) {
    test.WriteDeck(Copies(std::wstring(FRANCE_Q) + L"\t" + FRANCE_A, 2));
    ASSERT_TRUE(LooksOf(ERROR_Q, message).ok);
    ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
    hostrun::WriteScript(test.script_, "select\nleave\ncapture-item held-q\nselect\n"
                                       "capture-item held-a\nleave\nquit\n");
    const std::vector<std::string> before = rel::ListFolder(test.folder_.Path());
    hostrun::HostResult result =
        hostrun::RunHost(rel::HostArguments(test.module_, test.script_, test.folder_.Path()));
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(0u, result.status) << result.errors;
    EXPECT_EQ(7u, result.lines.size());
    test.ExpectShows(L"held", LooksOf(ERROR_Q, message), "the error card");
    // The captures are the only new files.
    DeleteFileW(test.folder_.File(L"held-q.png").c_str());
    DeleteFileW(test.folder_.File(L"held-a.png").c_str());
    EXPECT_EQ(before, rel::ListFolder(test.folder_.Path()));
}

TEST_F(Faults, AnIndexPathThatCannotBeCreatedShowsTheErrorAndWritesNothing) {
    BlockedPathShowsTheErrorAndWritesNothing(*this, index_, INDEX_FILE_ERROR);
}

TEST_F(Faults, ATemporaryPathThatCannotBeCreatedShowsTheErrorAndWritesNothing) {
    BlockedPathShowsTheErrorAndWritesNothing(*this, temp_, TEMP_FILE_ERROR);
    EXPECT_FALSE(hostrun::FileExists(index_));
}

// A deck that vanished while its index stayed: the data-file error, and no rebuild.
TEST_F(Faults, AVanishedDeckShowsTheErrorAndLeavesItsIndexAlone) {
    WriteDeck(Copies(std::wstring(FRANCE_Q) + L"\t" + FRANCE_A, 3));
    ASSERT_TRUE(LooksOf(ERROR_Q, DATA_FILE_ERROR).ok);
    hostrun::WriteScript(script_, "select\nleave\nquit\n");
    hostrun::HostResult built =
        hostrun::RunHost(rel::HostArguments(module_, script_, folder_.Path()));
    ASSERT_TRUE(built.finished);
    ASSERT_EQ("", rel::CheckIndex(index_, deck_));
    EXPECT_TRUE(rel::ReadBytes(deck_) == deckBytes_) << "the deck's bytes changed";
    const std::string indexBytes = rel::ReadBytes(index_);
    ASSERT_TRUE(DeleteFileW(deck_.c_str()));

    hostrun::WriteScript(script_, "select\nleave\ncapture-item held-q\nselect\n"
                                  "capture-item held-a\nleave\nquit\n");
    const std::vector<std::string> before = rel::ListFolder(folder_.Path());
    hostrun::HostResult result =
        hostrun::RunHost(rel::HostArguments(module_, script_, folder_.Path()));
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(0u, result.status) << result.errors;
    ExpectShows(L"held", LooksOf(ERROR_Q, DATA_FILE_ERROR), "the data-file error");
    EXPECT_TRUE(rel::ReadBytes(index_) == indexBytes) << "the index was rewritten";
    DeleteFileW(folder_.File(L"held-q.png").c_str());
    DeleteFileW(folder_.File(L"held-a.png").c_str());
    EXPECT_EQ(before, rel::ListFolder(folder_.Path()));
}

} // namespace
