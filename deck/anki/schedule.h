// An Anki collection's schedule: its day number ("today"), and which cards are due.
//
// A card's queue tells how its due value counts: for new cards (0) it is the position, for
// learning (1) and preview (4) cards a Unix time in seconds, for review (2) and day-learning
// (3) cards a day number, counted from the collection's creation. Negative queues are
// suspended (-1) and buried (-2, -3) cards.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct sqlite3;

namespace deck::anki {

// What the collection's configuration says about its schedule.
struct ScheduleConfig {
    int64_t created = 0;           // col.crt, Unix seconds
    int rollover = 4;              // the hour at which a new day starts, in local time
    bool creation_offset = false;  // creationOffset is set: Anki's newer day rule
    int creation_minutes_west = 0; // the UTC offset at creation, in minutes west
    int version = 2;               // the scheduler: 1 (the oldest) or 2 (also v3)
    int64_t learn_ahead = 1200;    // collapseTime: learning cards due this soon count as due
    // What of the configuration could not be read, in words for the user, with what was
    // assumed instead ("col.conf is not JSON; the day is counted from 4 a.m., ..."); empty
    // when it is sound.
    std::string damage;
};

// Reads crt and the configuration (col.conf JSON in the older schema, the config table in the
// newer one). A value that cannot be read keeps Anki's default, and config->damage says so.
// Returns an SQLite result code.
int LoadScheduleConfig(sqlite3* db, ScheduleConfig* config);

// The day at a moment.
struct Timing {
    int64_t now = 0;
    int64_t today = 0;       // days since the collection's creation
    int64_t next_day_at = 0; // when the next day starts, Unix seconds
    long offset = 0;         // the local UTC offset at `now`, seconds east
};

// The day number at `now`, with the local time zone's offset at `now` (TZ).
Timing TimingAt(const ScheduleConfig& config, int64_t now);

// The clock: TOLLAMY_NOW (Unix seconds) when set, else the system's. False with *err set when
// TOLLAMY_NOW is not a number.
bool ClockNow(int64_t* now, std::string* err);

// One row of the cards table.
struct CardRow {
    int64_t id = 0, note = 0, deck = 0, ord = 0;
    int type = 0, queue = 0;
    int64_t due = 0, original_due = 0, original_deck = 0;
    int flags = 0;
};

// Calls `card` for each row of the cards table, with the card as it stands in its home deck:
// a card in a filtered deck gets its home deck, its original due and the queue its type gives
// it there, as Anki restores it when it leaves the filtered deck. Returns an SQLite code.
int ForEachCard(sqlite3* db, const std::function<void(const CardRow&)>& card);

enum CardState {
    kNotShown, // suspended or buried
    kNew,
    kDueNow,   // a review or day-learning card due today or before, a learning card due soon
    kDueLater, // due on a later day, or later today (a learning card)
};

// Where a card stands today; for kDueNow and kDueLater *day is its due day.
CardState Classify(const CardRow& card, const ScheduleConfig& config, const Timing& today,
                   int64_t* day);

// When the cards due at `today` next change without a review: the next rollover, or the first
// second at which the learning card due at `learning_due` (the earliest learning card not due
// yet; INT64_MAX for none) comes within the learn-ahead limit, whichever is sooner.
int64_t NextChange(const ScheduleConfig& config, const Timing& today, int64_t learning_due);

// A day as the user reads it: "Thu 2026-12-10", the date on which day `day` starts.
std::string DayName(const Timing& today, int64_t day);

// When the next cards are due: "3 cards tomorrow, Thu 2026-12-10", "1 card on Mon
// 2026-12-14", "2 cards later today, from 14:35"; "no reviews are scheduled" when count is 0.
std::string NextDueText(const Timing& today, int64_t day, long count, int64_t first_time);

} // namespace deck::anki
