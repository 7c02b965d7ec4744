#include <gtest/gtest.h>
#include "common/text.h"

namespace {

TEST(BoundedText, CopyFitsExactlyWithItsNul) {
    WCHAR buf[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(1, BoundedCopy(buf, 4, L"abc"));
    EXPECT_STREQ(L"abc", buf);
    EXPECT_EQ(0, BoundedCopy(buf, 4, L"abcd"));
    EXPECT_EQ(L'\0', buf[0]);
}

TEST(BoundedText, AppendThatDoesNotFitLeavesTheBufferEmpty) {
    WCHAR buf[8] = L"ab.";
    EXPECT_EQ(1, BoundedAppend(buf, 8, L"txt"));
    EXPECT_STREQ(L"ab.txt", buf);
    EXPECT_EQ(0, BoundedAppend(buf, 8, L"xy"));
    EXPECT_STREQ(L"", buf);
}

TEST(BoundedText, LengthStopsAtTheMaximum) {
    WCHAR buf[3] = {L'a', L'b', L'c'}; // no NUL
    EXPECT_EQ(3u, BoundedLength(buf, 3));
    EXPECT_EQ(1u, BoundedLength(L"a", 512));
}

} // namespace
