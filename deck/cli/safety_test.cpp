// Bad input: each case gets a clear message and a non-zero status, and no file changes.
#include "deck/tests/deck_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using decktest::Exists;
using decktest::MTimeNs;
using decktest::ReadBytes;
using decktest::Tool;
using decktest::WriteBytes;

class Safety : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(dir.Path("in.txt"), "Q\tA\n");
        WriteBytes(dir.Path("old.txt"), "old deck bytes");
        // Old enough that a rewrite would show in the time stamp.
        struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        utimensat(AT_FDCWD, dir.Path("old.txt").c_str(), times, 0);
        before = dir.Names();
    }
    // The folder holds exactly the files it held, and old.txt is untouched.
    void ExpectNothingChanged() {
        EXPECT_EQ(before, dir.Names());
        EXPECT_EQ("old deck bytes", ReadBytes(dir.Path("old.txt")));
        EXPECT_EQ(1000000000LL * 1000000000LL, MTimeNs(dir.Path("old.txt")));
        EXPECT_EQ("Q\tA\n", ReadBytes(dir.Path("in.txt")));
    }

    decktest::TempDir dir;
    std::vector<std::string> before;
};

TEST_F(Safety, NotTextInputIsRefused) {
    const std::pair<const char*, std::string> kinds[] = {
        {"a ZIP archive", std::string("PK\x03\x04\x14\0\0\0\x08\0", 10) + "collection.anki2"},
        {"a PNG image", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)},
        {"a binary file", std::string("abc\0\x01\x02\x03", 7)},
        {"UTF-16LE text without a byte-order mark: use --encoding UTF-16LE",
         decktest::Utf16("Capital\tParis\r\n")},
    };
    for (const auto& [kind, bytes] : kinds) {
        SCOPED_TRACE(kind);
        WriteBytes(dir.Path("blob.bin"), bytes);
        before = dir.Names();
        auto r = Tool({"import", dir.Path("blob.bin"), "-o", dir.Path("old.txt"), "--force"});
        EXPECT_EQ(1, r.status);
        EXPECT_NE(std::string::npos,
                  r.err.find(dir.Path("blob.bin") + ": error: is not a text file (it looks like " +
                             kind + ")"))
            << r.err;
        ExpectNothingChanged();
    }
}

TEST_F(Safety, MissingInputExistingOutputAndTheInputItself) {
    auto r = Tool({"import", dir.Path("nothing.txt"), "-o", dir.Path("new.txt")});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("nothing.txt: error: cannot be opened")) << r.err;
    ExpectNothingChanged();

    r = Tool({"import", dir.Path("in.txt"), "-o", dir.Path("old.txt")});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("old.txt: error: exists; use --force")) << r.err;
    ExpectNothingChanged();

    r = Tool({"import", dir.Path("in.txt"), "-o", dir.Path("in.txt"), "--force"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("is the input file")) << r.err;
    ExpectNothingChanged();

    r = Tool({"export", dir.Path("in.txt"), "-o", dir.Path("old.txt"), "--force"});
    EXPECT_EQ(1, r.status); // not a deck
    ExpectNothingChanged();

    // A pipe (like a device) is never replaced by a file, even with --force.
    ASSERT_EQ(0, mkfifo(dir.Path("pipe").c_str(), 0644));
    before = dir.Names();
    r = Tool({"import", dir.Path("in.txt"), "-o", dir.Path("pipe"), "--force"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("pipe: error: is not a regular file")) << r.err;
    struct stat st {};
    ASSERT_EQ(0, stat(dir.Path("pipe").c_str(), &st));
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ExpectNothingChanged();

    // A link to a deck: the deck is replaced and the link stays a link.
    ASSERT_EQ(0, symlink("old.txt", dir.Path("link.txt").c_str()));
    before = dir.Names();
    r = Tool({"import", dir.Path("in.txt"), "-o", dir.Path("link.txt"), "--force"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(decktest::Deck({{"Q", "A"}}), ReadBytes(dir.Path("old.txt")));
    struct stat link {};
    ASSERT_EQ(0, lstat(dir.Path("link.txt").c_str(), &link));
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    ASSERT_EQ(0, unlink(dir.Path("link.txt").c_str()));
    WriteBytes(dir.Path("old.txt"), "old deck bytes");
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, dir.Path("old.txt").c_str(), times, 0);
    before = dir.Names();

    // With --force the output is replaced, and no temporary file stays behind.
    r = Tool({"import", dir.Path("in.txt"), "-o", dir.Path("old.txt"), "--force"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(decktest::Deck({{"Q", "A"}}), ReadBytes(dir.Path("old.txt")));
    EXPECT_EQ(before, dir.Names());
}

TEST_F(Safety, UnwritableOutputFolder) {
    std::string folder = dir.Path("locked");
    ASSERT_EQ(0, mkdir(folder.c_str(), 0555));
    std::string out = folder + "/deck.txt";
    // root may write anywhere: then a folder under /proc, where nobody creates files.
    if (access(folder.c_str(), W_OK) == 0) {
        out = "/proc/self/tollamy-deck-test/deck.txt";
    }
    before = dir.Names();
    auto r = Tool({"import", dir.Path("in.txt"), "-o", out});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find(out + ": error: cannot write to folder")) << r.err;
    EXPECT_FALSE(Exists(out));
    ExpectNothingChanged();
    EXPECT_EQ(2, Tool({"import", dir.Path("in.txt")}).status); // no -o
    EXPECT_EQ(2, Tool({"import", dir.Path("in.txt"), "-o", out, "--question", "0"}).status);
}

TEST_F(Safety, HelpFitsAScreen) {
    auto r = Tool({"--help"});
    EXPECT_EQ(0, r.status);
    size_t lines = 0, widest = 0, from = 0;
    while (from < r.out.size()) {
        size_t lf = r.out.find('\n', from);
        widest = std::max(widest, lf - from);
        ++lines;
        from = lf + 1;
    }
    EXPECT_LE(lines, 24u);
    EXPECT_LE(widest, 100u);
    EXPECT_NE(std::string::npos, r.out.find("import INPUT -o OUTPUT"));
}

} // namespace
