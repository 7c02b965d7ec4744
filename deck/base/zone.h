// Local time by a time zone rule of POSIX's form, read as the GNU C library reads TZ:
// "TST-2", "LOC+5:30", "<+0530>-5:30", "CET-1CEST,M3.5.0,M10.5.0/3", "AAA3BBB,J60/0,J300/-1".
// Windows' C runtime knows only the first of those forms and applies American daylight-saving
// dates to every zone, so Windows' side of UtcOffsetAt (process.h) reads TZ with this, and gets
// the same local day as Linux for the same TZ. The calendar arithmetic is here too.
#pragma once

#include <stdint.h>
#include <time.h>

#include <string>

namespace deck {

struct ZoneRule {
    // A change to daylight-saving time (start) or back (end): on day `day` of the year (Jn:
    // 1 to 365, February 29 never counted; n: 0 to 365), or in month `month` on the `week`th
    // (5: the last) `weekday` (0 Sunday); at `time` seconds after midnight local time.
    struct Change {
        enum Kind { kJulian1, kJulian0, kMonth } kind = kJulian0;
        int day = 0;
        int month = 0;
        int week = 0;
        int weekday = 0;
        long time = 0;
    };
    long standard = 0; // seconds east of UTC
    long daylight = 0; // the same as `standard` when the zone has no daylight-saving time
    bool hasDaylight = false;
    Change start;
    Change end;
};

// Reads `tz`. False when it does not begin with a zone's name and offset; *rule is then UTC,
// as the C library takes such a TZ.
bool ParseZoneRule(const std::string& tz, ZoneRule* rule);

// The offset from UTC at `when` (Unix seconds), in seconds east.
long ZoneOffsetAt(const ZoneRule& rule, int64_t when);

// `when` (Unix seconds) as UTC calendar parts, for strftime (tm_isdst 0, tm_yday and tm_wday
// set): the proleptic Gregorian calendar, for any year that fits.
bool CivilTime(int64_t when, struct tm* parts);

} // namespace deck
