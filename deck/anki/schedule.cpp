// The schedule of an Anki collection, following Anki's own rules (rslib/src/scheduler/timing.rs
// for the day, rslib/src/card for queues and filtered decks).
//
// Where ours differs from Anki in corner cases:
// - Anki's oldest scheduler (schedVer 1, or none stored) counts whole days of 24 hours from the
//   creation time. Current Anki versions ask to upgrade such a collection before it shows a
//   review, after which the rollover rule below applies; until then we count as the old one.
// - Anki counts days as an unsigned number: a clock before the collection's creation makes its
//   older rule wrap to a huge day. We count day 0 then.
// - With Anki's rule from before creationOffset, at the very second of the rollover Anki takes
//   the next day to start at that same second (it only uses that time to know when to look
//   again). We take it to start a day later, as at every other moment of the day.
// - Anki unburies the cards buried on an earlier day the first time it opens the collection on
//   a new day. We read the collection as it is, so such cards stay out until Anki has run.
// - Anki limits how many reviews and new cards it shows a day (the deck options). Every due
//   card is written here, and --new N takes N, whatever the limits.
// - A card in a filtered deck counts for its home deck, as it would stand there after leaving
//   the filtered deck; Anki itself shows it in the filtered deck until then.
#include "deck/anki/schedule.h"

#include "deck/anki/schema.h"
#include "deck/anki/sqlite.h"
#include "deck/base/process.h"

#include <stdlib.h>
#include <time.h>

#include <algorithm>

#include <nlohmann/json.hpp>
#include <sqlite3.h>

namespace deck::anki {

namespace {

constexpr int64_t kDay = 86400;
constexpr long kMaxOffset = 23 * 3600; // Anki caps UTC offsets at 23 hours

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

long Clamp(long offset) {
    return std::max(-kMaxOffset, std::min(kMaxOffset, offset));
}

long LocalOffset(int64_t when) {
    return Clamp(UtcOffsetAt(when));
}

// The days since creation at `when` on a clock `offset` seconds east of UTC, and the start of
// the next day.
int64_t DaysAt(const ScheduleConfig& config, int64_t when, long offset, int64_t* next) {
    // A moment far beyond any clock (a damaged due or crt) is held to 2^50 s, 35 million years
    // either way, so that the day arithmetic below cannot overflow.
    constexpr int64_t kFar = int64_t{1} << 50;
    when = std::clamp(when, -kFar, kFar);
    const int64_t created = std::clamp(config.created, -kFar, kFar);
    const int64_t hour = (config.rollover % 24 + 24) % 24;
    const int64_t local_day = FloorDiv(when + offset, kDay);
    // The rollover of `when`'s local date: the same date at the rollover hour, on this clock.
    const int64_t rollover = local_day * kDay + hour * 3600 - offset;
    int64_t days = 0;
    if (config.version == 1) {
        days = (when - created) / kDay;
        *next = created + (std::max<int64_t>(days, 0) + 1) * kDay;
    } else if (config.creation_offset) {
        const long created_offset = Clamp(-60L * config.creation_minutes_west);
        const int64_t created_day = FloorDiv(created + created_offset, kDay);
        const bool passed = rollover <= when;
        days = local_day - created_day - (passed ? 0 : 1);
        *next = passed ? rollover + kDay : rollover;
    } else {
        // Anki's rule before creationOffset: the creation time's rollover on today's clock.
        const int64_t created_day = FloorDiv(created + offset, kDay);
        days = (when - (created_day * kDay + hour * 3600 - offset)) / kDay;
        *next = rollover <= when ? rollover + kDay : rollover;
    }
    return std::max<int64_t>(days, 0);
}

// Reads one value of the configuration; false when it is there but cannot be read (not JSON,
// or not a whole number). A null creationOffset is Anki's own "none".
bool ReadConfigValue(const std::string& key, const nlohmann::json& value, ScheduleConfig* config) {
    if (!value.is_number_integer()) {
        if (key == "creationOffset") {
            config->creation_offset = false;
        }
        return key == "creationOffset" && value.is_null();
    }
    const int64_t v = value.get<int64_t>();
    if (key == "rollover") {
        config->rollover = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(v, 23)));
    } else if (key == "creationOffset") {
        config->creation_offset = true;
        config->creation_minutes_west =
            static_cast<int>(std::max<int64_t>(-24 * 60, std::min<int64_t>(v, 24 * 60)));
    } else if (key == "schedVer") {
        config->version = v == 1 ? 1 : 2;
    } else if (key == "collapseTime") {
        config->learn_ahead = std::max<int64_t>(0, std::min<int64_t>(v, 366 * kDay));
    }
    return true;
}

// What the configuration's defaults make of the day, for the damage text.
std::string Assumed(const ScheduleConfig& config) {
    const int hour = config.rollover;
    std::string text = "the day is counted from " +
                       (hour == 0    ? std::string("midnight")
                        : hour == 12 ? std::string("noon")
                                     : std::to_string(hour % 12) + (hour < 12 ? " a.m." : " p.m."));
    text += ", learning cards count as due " + std::to_string(config.learn_ahead / 60) +
            " minutes ahead, and the scheduler is taken as version " +
            std::to_string(config.version);
    return text;
}

std::string Clock(int64_t when, long offset, const char* format) {
    struct tm parts {};
    char text[64] = "";
    if (UtcParts(when + offset, &parts)) {
        strftime(text, sizeof text, format, &parts);
    }
    return text;
}

} // namespace

int LoadScheduleConfig(sqlite3* db, ScheduleConfig* config) {
    static const char* const kKeys[] = {"rollover", "creationOffset", "schedVer", "collapseTime"};
    config->version = 1; // Anki's reading of a collection that names no scheduler
    StmtPtr stmt;
    int rc = Prepare(db, "SELECT crt, conf FROM col LIMIT 1", &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        return rc;
    }
    std::string conf = rc == SQLITE_ROW ? ColumnText(stmt.get(), 1) : std::string();
    config->created = rc == SQLITE_ROW ? sqlite3_column_int64(stmt.get(), 0) : 0;
    bool has_table = false;
    rc = TableExists(db, "config", &has_table);
    if (rc != SQLITE_OK) {
        return rc;
    }
    std::string damaged; // the values that could not be read
    auto note = [&](const std::string& what) { damaged += (damaged.empty() ? "" : ", ") + what; };
    if (!has_table) {
        nlohmann::json json = nlohmann::json::parse(conf, nullptr, false);
        if (json.is_object()) {
            for (const char* key : kKeys) {
                auto it = json.find(key);
                if (it != json.end() && !ReadConfigValue(key, *it, config)) {
                    note(std::string("its ") + key + " is not a whole number");
                }
            }
        } else {
            config->damage = std::string("col.conf ") +
                             (json.is_discarded() ? "is not JSON" : "is not a JSON object") + "; " +
                             Assumed(*config);
        }
        if (!damaged.empty()) {
            config->damage = "col.conf cannot be read whole (" + damaged + "); " + Assumed(*config);
        }
        return SQLITE_OK;
    }
    // The newer schema: one row per key, its value JSON.
    rc = Prepare(db, "SELECT KEY, val FROM config", &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        std::string key = ColumnText(stmt.get(), 0);
        if (std::find(std::begin(kKeys), std::end(kKeys), key) != std::end(kKeys)) {
            const char* bytes = static_cast<const char*>(sqlite3_column_blob(stmt.get(), 1));
            int size = sqlite3_column_bytes(stmt.get(), 1);
            std::string text(bytes != nullptr ? bytes : "", bytes != nullptr ? size : 0);
            nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
            if (!ReadConfigValue(key, value, config)) {
                note(key + (value.is_discarded() ? " is not JSON" : " is not a whole number"));
            }
        }
    }
    if (!damaged.empty()) {
        config->damage =
            "the config table cannot be read whole (" + damaged + "); " + Assumed(*config);
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

Timing TimingAt(const ScheduleConfig& config, int64_t now) {
    Timing timing;
    timing.now = now;
    timing.offset = LocalOffset(now);
    timing.today = DaysAt(config, now, timing.offset, &timing.next_day_at);
    return timing;
}

namespace {

// The day number of moment `when`, on the clock of `today` (same offset).
int64_t DayOf(const ScheduleConfig& config, const Timing& today, int64_t when) {
    int64_t next = 0;
    return DaysAt(config, when, today.offset, &next);
}

} // namespace

bool ClockNow(int64_t* now, std::string* err) {
    std::string given;
    if (!GetEnv("TOLLAMY_NOW", &given) || given.empty()) {
        *now = static_cast<int64_t>(time(nullptr));
        return true;
    }
    const char* text = given.c_str();
    char* end = nullptr;
    long long value = strtoll(text, &end, 10);
    if (*end != 0 || value < 0) {
        *err = "TOLLAMY_NOW must be a time in Unix seconds, not '" + given + "'";
        return false;
    }
    *now = value;
    return true;
}

int ForEachCard(sqlite3* db, const std::function<void(const CardRow&)>& card) {
    StmtPtr stmt;
    int rc = Prepare(db, "SELECT id, nid, did, ord, type, queue, due, odue, odid, flags FROM cards",
                     &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    CardRow row;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = stmt.get();
        row.id = sqlite3_column_int64(s, 0);
        row.note = sqlite3_column_int64(s, 1);
        row.deck = sqlite3_column_int64(s, 2);
        row.ord = sqlite3_column_int64(s, 3);
        row.type = sqlite3_column_int(s, 4);
        row.queue = sqlite3_column_int(s, 5);
        row.due = sqlite3_column_int64(s, 6);
        row.original_due = sqlite3_column_int64(s, 7);
        row.original_deck = sqlite3_column_int64(s, 8);
        row.flags = sqlite3_column_int(s, 9);
        if (row.original_deck != 0) {
            row.deck = row.original_deck;
            if (row.original_due != 0) {
                row.due = row.original_due;
            }
            // Suspended and buried cards keep their queue; the others get their type's.
            if (row.queue >= 0) {
                switch (row.type) {
                case 0:
                    row.queue = 0;
                    break;
                case 1:
                case 3:
                    row.queue = row.due > 1000000000 ? 1 : 3; // a Unix time or a day number
                    break;
                case 2:
                    row.queue = 2;
                    break;
                default:
                    break;
                }
            }
        }
        card(row);
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

CardState Classify(const CardRow& card, const ScheduleConfig& config, const Timing& today,
                   int64_t* day) {
    switch (card.queue) {
    case 0:
        return kNew;
    case 1:
    case 4:
        if (card.due < today.now + config.learn_ahead) {
            *day = today.today;
            return kDueNow;
        }
        *day = std::max(today.today, DayOf(config, today, card.due));
        return kDueLater;
    case 2:
    case 3:
        *day = card.due;
        return card.due <= today.today ? kDueNow : kDueLater;
    default:
        return kNotShown;
    }
}

int64_t NextChange(const ScheduleConfig& config, const Timing& today, int64_t learning_due) {
    // Due when due < now + learn_ahead (Classify): from the second after due - learn_ahead.
    if (learning_due == INT64_MAX || learning_due - config.learn_ahead >= today.next_day_at) {
        return today.next_day_at;
    }
    return std::max(today.now + 1, learning_due - config.learn_ahead + 1);
}

std::string DayName(const Timing& today, int64_t day) {
    int64_t start = today.next_day_at + (day - today.today - 1) * kDay;
    return Clock(start, today.offset, "%a %Y-%m-%d");
}

std::string NextDueText(const Timing& today, int64_t day, long count, int64_t first_time) {
    if (count == 0) {
        return "no reviews are scheduled";
    }
    std::string cards = std::to_string(count) + (count == 1 ? " card" : " cards");
    if (day <= today.today) {
        return cards + " later today, from " + Clock(first_time, today.offset, "%H:%M");
    }
    if (day == today.today + 1) {
        return cards + " tomorrow, " + DayName(today, day);
    }
    return cards + " on " + DayName(today, day);
}

} // namespace deck::anki
