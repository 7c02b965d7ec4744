// The valid part of a write-ahead log against SQLite's own reading of it: for a log as SQLite
// wrote it and for logs damaged as a crash, a disk or a stranger damages them, SQLite sees the
// same collection through the part the snapshot copies as through the whole log.
#include "deck/anki/wal.h"

#include "deck/base/files.h"
#include "deck/tests/apkg_builder.h"
#include "deck/tests/deck_support.h"

#include <functional>
#include <string>

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace {

using decktest::ReadBytes;
using decktest::WriteBytes;

// The notes SQLite sees in the collection `main` with `log` as its -wal (none when empty),
// each opened from a fresh copy, as closing folds the log into the file; -1 on an error.
long NotesSeen(const decktest::TempDir& dir, const std::string& main, const std::string& log) {
    static int n = 0;
    const std::string path = dir.Path("seen" + std::to_string(++n));
    WriteBytes(path, main);
    if (!log.empty()) {
        WriteBytes(path + "-wal", log);
    }
    sqlite3* db = nullptr;
    sqlite3_stmt* count = nullptr;
    long notes = -1;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT count(*) FROM notes", -1, &count, nullptr) == SQLITE_OK &&
        sqlite3_step(count) == SQLITE_ROW) {
        notes = sqlite3_column_int(count, 0);
    }
    sqlite3_finalize(count);
    sqlite3_close(db);
    return notes;
}

deck::anki::WalExtent Extent(const std::string& path, int64_t limit) {
    deck::anki::WalExtent extent;
    int fd = deck::OpenRead(path);
    EXPECT_GE(fd, 0);
    EXPECT_TRUE(deck::anki::ReadWalExtent(fd, limit, &extent));
    deck::CloseFile(fd);
    return extent;
}

TEST(Wal, SQLiteSeesThroughTheValidPartWhatItSeesThroughTheWholeLog) {
    decktest::TempDir dir;
    apkg_test::PackageSpec plan;
    plan.notes.push_back(apkg_test::TestNote(1, apkg_test::kBasic, {"one", "1"}));
    const std::string collection = dir.Path("collection.anki2");
    auto note = [](int id) {
        return "INSERT INTO notes VALUES (" + std::to_string(id) + ", 'g', 1001, 0, 0, '', " +
               "'x' || char(31) || 'y', 'x', 0, 0, '')";
    };
    ASSERT_EQ(apkg_test::BuildLoggedCollection(plan, collection, {note(2), note(3)}), "");
    const std::string main = ReadBytes(collection);
    const std::string log = ReadBytes(collection + "-wal");
    const size_t frame = 24 + 1024; // the builder's pages are 1024 bytes
    ASSERT_GT(log.size(), 32 + 2 * frame);
    std::string noise;
    for (uint32_t x = 1; noise.size() < 100000; x = x * 1103515245 + 12345) {
        noise += static_cast<char>(x >> 24);
    }
    const struct {
        const char* what;
        std::function<std::string(std::string)> damage;
        long notes; // as SQLite sees them
        bool whole; // the valid part is the whole of the log as written
        bool none;  // SQLite uses nothing of it
    } cases[] = {
        {"as SQLite wrote it", [](std::string s) { return s; }, 3, true, false},
        {"noise after it", [&](std::string s) { return s + noise; }, 3, true, false},
        {"a frame again after it", [&](std::string s) { return s + s.substr(32, frame); }, 3, true,
         false},
        {"a byte of its last page changed",
         [&](std::string s) { return s.replace(s.size() - 10, 1, "\x7f"); }, 2, false, false},
        {"cut inside its last frame", [](std::string s) { return s.substr(0, s.size() - 100); }, 2,
         false, false},
        {"a byte of its header changed", [](std::string s) { return s.replace(12, 1, "\x7f"); }, 1,
         false, true},
        {"zeros", [](std::string s) { return std::string(s.size(), '\0'); }, 1, false, true},
        {"only its header", [](std::string s) { return s.substr(0, 32); }, 1, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string damaged = c.damage(log);
        WriteBytes(collection + "-wal", damaged);
        const deck::anki::WalExtent extent = Extent(collection + "-wal", INT64_MAX);
        EXPECT_EQ(NotesSeen(dir, main, damaged), c.notes);
        EXPECT_EQ(NotesSeen(dir, main, damaged.substr(0, static_cast<size_t>(extent.bytes))),
                  c.notes);
        EXPECT_EQ(extent.bytes == static_cast<int64_t>(log.size()), c.whole) << extent.bytes;
        EXPECT_EQ(extent.bytes == 0, c.none) << extent.bytes;
        EXPECT_FALSE(extent.over);
    }
    // A limit inside the valid frames: the log goes on past it.
    WriteBytes(collection + "-wal", log + noise);
    EXPECT_TRUE(Extent(collection + "-wal", static_cast<int64_t>(log.size()) - 1).over);
    EXPECT_FALSE(Extent(collection + "-wal", static_cast<int64_t>(log.size())).over);
}

} // namespace
