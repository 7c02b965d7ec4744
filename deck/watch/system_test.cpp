// The watch on folders against real folders: the system's notification and the looking watch
// see the same writes, renames and removals in the folders they follow, and nothing of the
// others.
#include "deck/base/files.h"
#include "deck/tests/deck_support.h"
#include "deck/watch/system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using deck::watch::FolderWatch;
using deck::watch::Seen;
using decktest::TempDir;
using decktest::WriteBytes;

TEST(FolderWatch, SeesWhatChangesInTheFoldersItFollowsAndNothingElse) {
    const struct {
        const char* what;
        std::function<std::unique_ptr<FolderWatch>()> make;
        long wait_ms;
        // What tells of a removed folder: the folder itself (""), or on Windows, which keeps a
        // folder while a watch holds it open (and Wine does not say that its removal waits),
        // the removal of the last file in it.
        const char* folder_gone;
    } kinds[] = {
        {"the system's",
         [] {
             std::string why;
             return deck::watch::SystemWatch(&why);
         },
         2000, deck::kPathSeparator == '\\' ? "collection.anki2" : ""},
        {"looking every second", [] { return deck::watch::PollingWatch(1); }, 1100, ""},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.what);
        TempDir dir;
        const std::string a = dir.Path("a"), b = dir.Path("b");
        decktest::MakeFolder(a);
        decktest::MakeFolder(b);
        std::unique_ptr<FolderWatch> watch = kind.make();
        ASSERT_NE(watch, nullptr);
        std::string why;
        ASSERT_TRUE(watch->Follow({a, dir.Path("missing")}, &why)) << why;
        const struct {
            const char* what;
            std::function<void()> act;
            Seen expected; // folder "": nothing may be seen
        } steps[] = {
            {"a write", [&] { WriteBytes(a + "/collection.anki2", "x"); }, {a, "collection.anki2"}},
            {"a rename into place",
             [&] {
                 WriteBytes(a + "/.tmp", "deck=A");
                 std::filesystem::rename(a + "/.tmp", a + "/A.source");
             },
             {a, "A.source"}},
            {"a removal", [&] { std::filesystem::remove(a + "/A.source"); }, {a, "A.source"}},
            {"a folder not followed", [&] { WriteBytes(b + "/file", "yy"); }, {"", ""}},
            {"a folder followed later",
             [&] {
                 ASSERT_TRUE(watch->Follow({a, b}, &why)) << why;
                 WriteBytes(b + "/backup.colpkg", "zzz");
             },
             {b, "backup.colpkg"}},
            {"the folder removed",
             [&] {
                 std::filesystem::remove(a + "/collection.anki2");
                 std::filesystem::remove(a);
             },
             {a, kind.folder_gone}},
        };
        for (const auto& step : steps) {
            SCOPED_TRACE(step.what);
            step.act();
            std::vector<Seen> seen;
            bool found = false;
            const int tries = step.expected.folder.empty() ? 1 : 4;
            for (int i = 0; i < tries && !found; ++i) {
                ASSERT_TRUE(watch->Wait(kind.wait_ms, &seen, &why)) << why;
                for (const Seen& s : seen) {
                    found =
                        found || (s.folder == step.expected.folder && s.name == step.expected.name);
                }
            }
            EXPECT_EQ(found, !step.expected.folder.empty());
            for (const Seen& s : seen) {
                EXPECT_TRUE(s.folder == a || s.folder == step.expected.folder)
                    << s.folder << " " << s.name;
            }
        }
        // Nothing more happens: nothing is seen, and the wait takes the time it was given.
        std::vector<Seen> seen;
        ASSERT_TRUE(watch->Wait(300, &seen, &why));
        EXPECT_TRUE(seen.empty()) << seen.front().folder << " " << seen.front().name;
    }
}

} // namespace
