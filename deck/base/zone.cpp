// POSIX time zone rules, read and applied as the GNU C library does (time/tzset.c): the same
// defaults, limits and quirks, so that a TZ gives the same local time on Windows as on Linux.
#include "deck/base/zone.h"

#include <ctype.h>

#include <algorithm>

namespace deck {

namespace {

constexpr int64_t kDay = 86400;

bool IsLeap(int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// The days before each month, in a common year and in a leap year.
constexpr int kMonthDays[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

// Reads a number of decimal digits; false when there is none.
bool Number(const char** at, long* value) {
    const char* s = *at;
    if (!isdigit(static_cast<unsigned char>(*s))) {
        return false;
    }
    long v = 0;
    while (isdigit(static_cast<unsigned char>(*s))) {
        v = std::min(v * 10 + (*s - '0'), 100000L);
        ++s;
    }
    *value = v;
    *at = s;
    return true;
}

// hh[:mm[:ss]] as seconds; false when there is no hh. Each part is cut to the C library's
// limits (24, 59, 59) when `limit` is set.
bool Clock(const char** at, bool limit, long* seconds) {
    long hh = 0, mm = 0, ss = 0;
    if (!Number(at, &hh)) {
        return false;
    }
    const char* s = *at;
    if (*s == ':' && Number(&++s, &mm)) {
        *at = s;
        if (*s == ':' && Number(&++s, &ss)) {
            *at = s;
        }
    }
    if (limit) {
        hh = std::min(hh, 24L);
        mm = std::min(mm, 59L);
        ss = std::min(ss, 59L);
    }
    *seconds = hh * 3600 + mm * 60 + ss;
    return true;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A zone's name: three or more ASCII letters, or three or more letters, digits, + and -
// between < and >.
bool Name(const char** at) {
    const char* s = *at;
    size_t length = 0;
    while (IsLetter(s[length])) {
        ++length;
    }
    if (length >= 3) {
        *at = s + length;
        return true;
    }
    if (*s++ != '<') {
        return false;
    }
    length = 0;
    while (IsLetter(s[length]) || (s[length] >= '0' && s[length] <= '9') || s[length] == '+' ||
           s[length] == '-') {
        ++length;
    }
    if (s[length] != '>' || length < 3) {
        return false;
    }
    *at = s + length + 1;
    return true;
}

// [+|-]hh[:mm[:ss]], west of UTC as POSIX writes it, as seconds east. The standard offset
// must be there; the daylight one defaults to an hour ahead of it.
bool Offset(const char** at, bool standard, long* east) {
    const char* s = *at;
    if (standard && *s != '+' && *s != '-' && !isdigit(static_cast<unsigned char>(*s))) {
        return false;
    }
    long sign = -1;
    if (*s == '+' || *s == '-') {
        sign = *s++ == '-' ? 1 : -1;
    }
    long seconds = 0;
    if (!Clock(&s, true, &seconds)) {
        if (standard) {
            *east = 0;
            return false;
        }
        *at = s;
        return false;
    }
    *east = sign * seconds;
    *at = s;
    return true;
}

// One change of a rule: Jn, n or Mm.w.d, then /time. An empty one is America's rule since
// 2007 (March's second Sunday, November's first), as the C library takes it.
bool Change(const char** at, bool start, ZoneRule::Change* change) {
    const char* s = *at;
    if (*s == ',') {
        ++s;
    }
    long v = 0;
    if (*s == 'J' || isdigit(static_cast<unsigned char>(*s))) {
        change->kind = *s == 'J' ? ZoneRule::Change::kJulian1 : ZoneRule::Change::kJulian0;
        if (*s == 'J') {
            ++s;
        }
        if (!Number(&s, &v) || v > 365 || (change->kind == ZoneRule::Change::kJulian1 && v == 0)) {
            return false;
        }
        change->day = static_cast<int>(v);
    } else if (*s == 'M') {
        ++s;
        long m = 0, w = 0, d = 0;
        if (!Number(&s, &m) || *s != '.' || !Number(&++s, &w) || *s != '.' || !Number(&++s, &d) ||
            m < 1 || m > 12 || w < 1 || w > 5 || d > 6) {
            return false;
        }
        change->kind = ZoneRule::Change::kMonth;
        change->month = static_cast<int>(m);
        change->week = static_cast<int>(w);
        change->weekday = static_cast<int>(d);
    } else if (*s == '\0') {
        change->kind = ZoneRule::Change::kMonth;
        change->month = start ? 3 : 11;
        change->week = start ? 2 : 1;
        change->weekday = 0;
    } else {
        return false;
    }
    if (*s != '\0' && *s != '/' && *s != ',') {
        return false;
    }
    change->time = 2 * 3600;
    if (*s == '/') {
        ++s;
        if (*s == '\0') {
            return false;
        }
        const bool negative = *s == '-';
        s += negative;
        long seconds = 2 * 3600;
        // The C library takes what it can of hh[:mm[:ss]], unlimited, and the default
        // otherwise.
        if (Clock(&s, false, &seconds)) {
            change->time = negative ? -seconds : seconds;
        } else {
            change->time = negative ? -2 * 3600 : 2 * 3600;
        }
    }
    *at = s;
    return true;
}

// The moment of the change in `year`, in Unix seconds, where local time before it is `offset`
// east of UTC. Years before 1971 count from 1970's first day, as in the C library.
int64_t ChangeAt(const ZoneRule::Change& change, int64_t year, long offset) {
    int64_t t = 0;
    if (year > 1970) {
        t = ((year - 1970) * 365 + ((year - 1) / 4 - 1970 / 4) - ((year - 1) / 100 - 1970 / 100) +
             ((year - 1) / 400 - 1970 / 400)) *
            kDay;
    }
    const int leap = IsLeap(year) ? 1 : 0;
    switch (change.kind) {
    case ZoneRule::Change::kJulian1:
        t += (change.day - 1) * kDay;
        if (change.day >= 60 && leap) {
            t += kDay;
        }
        break;
    case ZoneRule::Change::kJulian0:
        t += change.day * kDay;
        break;
    case ZoneRule::Change::kMonth: {
        const int* days = kMonthDays[leap];
        t += days[change.month - 1] * kDay;
        // Zeller's congruence: the weekday of the month's first day.
        const int64_t m1 = (change.month + 9) % 12 + 1;
        const int64_t yy0 = change.month <= 2 ? year - 1 : year;
        const int64_t yy1 = yy0 / 100;
        const int64_t yy2 = yy0 % 100;
        int64_t dow = ((26 * m1 - 2) / 10 + 1 + yy2 + yy2 / 4 + yy1 / 4 - 2 * yy1) % 7;
        if (dow < 0) {
            dow += 7;
        }
        int64_t d = change.weekday - dow;
        if (d < 0) {
            d += 7;
        }
        const int length = days[change.month] - days[change.month - 1];
        for (int i = 1; i < change.week; ++i) {
            if (d + 7 >= length) {
                break;
            }
            d += 7;
        }
        t += d * kDay;
        break;
    }
    }
    return t - offset + change.time;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The civil date of a day number (days since 1970-01-01), by Howard Hinnant's algorithm.
void CivilFromDays(int64_t z, int64_t* y, int* m, int* d) {
    z += 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = yoe + era * 400 + (*m <= 2 ? 1 : 0);
}

} // namespace

bool ParseZoneRule(const std::string& tz, ZoneRule* rule) {
    *rule = ZoneRule();
    const char* s = tz.c_str();
    long east = 0;
    if (!Name(&s) || !Offset(&s, true, &east)) {
        *rule = ZoneRule();
        return false;
    }
    rule->standard = rule->daylight = east;
    if (*s == '\0') {
        return true;
    }
    if (Name(&s)) {
        long daylight = 0;
        rule->daylight = Offset(&s, false, &daylight) ? daylight : east + 3600;
        rule->hasDaylight = true;
    }
    if (Change(&s, true, &rule->start)) {
        Change(&s, false, &rule->end);
    }
    return true;
}

long ZoneOffsetAt(const ZoneRule& rule, int64_t when) {
    if (!rule.hasDaylight) {
        return rule.standard;
    }
    int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(FloorDiv(when, kDay), &year, &month, &day);
    const int64_t start = ChangeAt(rule.start, year, rule.standard);
    const int64_t end = ChangeAt(rule.end, year, rule.daylight);
    const bool daylight =
        start > end ? (when < end || when >= start) : (when >= start && when < end);
    return daylight ? rule.daylight : rule.standard;
}

bool CivilTime(int64_t when, struct tm* parts) {
    const int64_t days = FloorDiv(when, kDay);
    const int64_t seconds = when - days * kDay;
    int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    if (year - 1900 < -2147483647 || year - 1900 > 2147483647) {
        return false;
    }
    *parts = tm{};
    parts->tm_year = static_cast<int>(year - 1900);
    parts->tm_mon = month - 1;
    parts->tm_mday = day;
    parts->tm_hour = static_cast<int>(seconds / 3600);
    parts->tm_min = static_cast<int>(seconds / 60 % 60);
    parts->tm_sec = static_cast<int>(seconds % 60);
    parts->tm_wday = static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    parts->tm_yday = kMonthDays[IsLeap(year) ? 1 : 0][month - 1] + day - 1;
    parts->tm_isdst = 0;
    return true;
}

} // namespace deck
