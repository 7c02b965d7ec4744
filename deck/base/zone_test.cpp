// The local time zone as the tool reads it from TZ (UtcOffsetAt, on Windows through
// zone.cpp's rules): offsets and daylight-saving changes known from the zones' own rules, at
// the second before and the second of each change; and the calendar parts of a time.
#include "deck/base/process.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Known {
    const char* tz;
    int64_t when; // Unix seconds
    long east;    // the offset then, seconds east of UTC
};

// 2024: the European Union changes at 01:00 UTC on March 31 and October 27; New South Wales
// at 16:00 UTC on April 6 and October 5; the United States' rule since 2007 at 2:00 local time
// on March 10 and November 3.
const Known kKnown[] = {
    {"TST-2", 1711846800, 7200},
    {"UTC0", 1711846800, 0},
    {"UTC", 1711846800, 0},
    {"LOC+5:30", 1700000000, -19800},
    {"<+0530>-5:30", 1700000000, 19800},
    {"<-03>3", 1700000000, -10800},
    {"CET-1CEST,M3.5.0,M10.5.0/3", 1711846799, 3600},
    {"CET-1CEST,M3.5.0,M10.5.0/3", 1711846800, 7200},
    {"CET-1CEST,M3.5.0,M10.5.0/3", 1729990799, 7200},
    {"CET-1CEST,M3.5.0,M10.5.0/3", 1729990800, 3600},
    {"AEST-10AEDT,M10.1.0,M4.1.0/3", 1704067200, 39600},
    {"AEST-10AEDT,M10.1.0,M4.1.0/3", 1712419199, 39600},
    {"AEST-10AEDT,M10.1.0,M4.1.0/3", 1712419200, 36000},
    {"AEST-10AEDT,M10.1.0,M4.1.0/3", 1728143999, 36000},
    {"AEST-10AEDT,M10.1.0,M4.1.0/3", 1728144000, 39600},
    // No rule given: the United States' since 2007.
    {"XST5XDT", 1710054000 - 1, -18000},
    {"XST5XDT", 1710054000, -14400},
    {"XST5XDT", 1730613600 - 1, -14400},
    {"XST5XDT", 1730613600, -18000},
};

TEST(Zone, TzGivesTheOffsetsOfItsRules) {
    std::string old;
    const bool had = deck::GetEnv("TZ", &old);
    for (const Known& k : kKnown) {
        deck::SetEnv("TZ", k.tz);
        EXPECT_EQ(deck::UtcOffsetAt(k.when), k.east) << k.tz << " at " << k.when;
    }
    deck::SetEnv("TZ", had ? old.c_str() : nullptr);
}

TEST(Zone, UtcPartsAreTheCalendarsDate) {
    struct Parts {
        int64_t when;
        const char* text; // strftime's "%a %Y-%m-%d %H:%M:%S", day of the year
        int yday;
    };
    const Parts cases[] = {
        {0, "Thu 1970-01-01 00:00:00", 0},
        {-1, "Wed 1969-12-31 23:59:59", 364},
        {951782400, "Tue 2000-02-29 00:00:00", 59},
        {1773223200, "Wed 2026-03-11 10:00:00", 69},
        {4102444799, "Thu 2099-12-31 23:59:59", 364},
    };
    for (const Parts& c : cases) {
        struct tm parts {};
        ASSERT_TRUE(deck::UtcParts(c.when, &parts)) << c.when;
        char text[64] = "";
        strftime(text, sizeof text, "%a %Y-%m-%d %H:%M:%S", &parts);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(parts.tm_yday, c.yday) << c.text;
    }
}

} // namespace
