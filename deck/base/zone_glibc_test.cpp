// zone.cpp's reading of TZ against the GNU C library's own, hour by hour through years on
// both sides of its quirks (1970 and before, leap years, the last week of a month), for rules
// of every form: Windows' build gets its local day from zone.cpp, Linux's from the C library.
#include "deck/base/zone.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <string>

namespace {

// None of these is a file of the zone database, where the C library would look first, and each
// that has daylight-saving time states its rule: without one the C library takes that of its
// posixrules file (New York's, with its history), zone.cpp the one New York has had since
// 2007 (zone_test.cpp).
const char* const kZones[] = {
    "TST-2",
    "LOC+5:30",
    "LOC-5:45",
    "LOC-5:30:15",
    "<+0530>-5:30",
    "<-03>3",
    "XXX-14",
    "YYY+12",
    "CET-1CEST,M3.5.0,M10.5.0/3",
    "AEST-10AEDT,M10.1.0,M4.1.0/3",
    "NZST-12NZDT,M9.5.0,M4.1.0/3",
    "AAA3BBB,J60/0,J300/-1",
    "AAA3BBB2,60/1:30,300/25",
    "IST-2IDT,M3.4.4/26,M10.5.0",
    "WGT3WGST,M3.5.0/-2,M10.5.0/-1",
    "<+00>0<+01>,0/0,J365/25",
    "LOC-1DST-3:30,M5.5.6/23:59:59,M6.1.1/0",
};

TEST(Zone, RulesAgreeWithTheCLibrary) {
    const char* old = getenv("TZ");
    const std::string kept = old != nullptr ? old : "";
    const int years[] = {1969, 1970, 1971, 1999, 2000, 2024, 2025, 2100};
    for (const char* zone : kZones) {
        setenv("TZ", zone, 1);
        tzset();
        deck::ZoneRule rule;
        ASSERT_TRUE(deck::ParseZoneRule(zone, &rule)) << zone;
        int differ = 0;
        for (int year : years) {
            struct tm first {};
            first.tm_year = year - 1900;
            first.tm_mday = 1;
            const int64_t start = static_cast<int64_t>(timegm(&first));
            for (int64_t when = start - 43200; when < start + 366 * 86400; when += 1800) {
                time_t t = static_cast<time_t>(when);
                struct tm local {};
                ASSERT_NE(localtime_r(&t, &local), nullptr);
                if (deck::ZoneOffsetAt(rule, when) != local.tm_gmtoff && differ++ < 3) {
                    ADD_FAILURE() << zone << " at " << when << ": "
                                  << deck::ZoneOffsetAt(rule, when) << ", the C library "
                                  << local.tm_gmtoff;
                }
            }
        }
    }
    old != nullptr ? setenv("TZ", kept.c_str(), 1) : unsetenv("TZ");
    tzset();
}

TEST(Zone, CivilTimeIsGmtime) {
    for (int64_t when = -4102444800LL; when < 7258118400LL; when += 86400 * 7 + 3607) {
        time_t t = static_cast<time_t>(when);
        struct tm want {
        }, got{};
        ASSERT_NE(gmtime_r(&t, &want), nullptr);
        ASSERT_TRUE(deck::CivilTime(when, &got));
        ASSERT_EQ(std::make_tuple(got.tm_year, got.tm_mon, got.tm_mday, got.tm_hour, got.tm_min,
                                  got.tm_sec, got.tm_wday, got.tm_yday),
                  std::make_tuple(want.tm_year, want.tm_mon, want.tm_mday, want.tm_hour,
                                  want.tm_min, want.tm_sec, want.tm_wday, want.tm_yday))
            << when;
    }
}

} // namespace
