// The watch on folders against real folders: the system's notification and the looking watch
// see the same writes, renames and removals in the folders they follow, and nothing of the
// others.
#include "deck/tests/deck_support.h"
#include "deck/watch/system.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>

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
    } kinds[] = {
        {"inotify",
         [] {
             std::string why;
             return deck::watch::SystemWatch(&why);
         },
         2000},
        {"looking every second", [] { return deck::watch::PollingWatch(1); }, 1100},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.what);
        TempDir dir;
        const std::string a = dir.Path("a"), b = dir.Path("b");
        ASSERT_EQ(mkdir(a.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(b.c_str(), 0755), 0);
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
                 rename((a + "/.tmp").c_str(), (a + "/A.source").c_str());
             },
             {a, "A.source"}},
            {"a removal", [&] { remove((a + "/A.source").c_str()); }, {a, "A.source"}},
            {"a folder not followed", [&] { WriteBytes(b + "/file", "yy"); }, {"", ""}},
            {"a folder followed later",
             [&] {
                 ASSERT_TRUE(watch->Follow({a, b}, &why)) << why;
                 WriteBytes(b + "/backup.colpkg", "zzz");
             },
             {b, "backup.colpkg"}},
            {"the folder removed",
             [&] {
                 remove((a + "/collection.anki2").c_str());
                 rmdir(a.c_str());
             },
             {a, ""}},
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
