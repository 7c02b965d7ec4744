// The separator of a text input: Anki's detection in the body, and the names a user gives.
#include "deck/text/layout.h"

#include <gtest/gtest.h>

namespace {

TEST(TextLayout, SeparatorDetectionAndNames) {
    EXPECT_EQ('\t', deck::text::DetectSeparator("a\tb|c\n"));
    EXPECT_EQ(';', deck::text::DetectSeparator("a;b\nc;d\n"));
    // Anki's order when no candidate is on every line; the line-wise one when one is.
    EXPECT_EQ(':', deck::text::DetectSeparator("a:b\nc,d\n"));
    EXPECT_EQ(',', deck::text::DetectSeparator("Time: noon,12\nx,y\n"));
    EXPECT_EQ(' ', deck::text::DetectSeparator("nothing"));
    EXPECT_EQ("\t", deck::text::SeparatorFromName("Tab"));
    EXPECT_EQ(";", deck::text::SeparatorFromName("semicolon"));
    EXPECT_EQ("\n", deck::text::SeparatorFromName("\\n"));
    EXPECT_EQ("::", deck::text::SeparatorFromName("::"));
}

} // namespace
