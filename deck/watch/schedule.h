// When `watch` imports each Anki item again. The plan is plain data, and every step is a
// function of the plan, the time and the events seen, so that a test drives it with a clock of
// its own. An item is imported again
// - at the next change of its due cards (the rollover, or a learning card coming within the
//   learn-ahead limit), which its last good import told;
// - within 10 seconds of a change to its profile's files: a change starts a wait of 2 quiet
//   seconds, 8 at most, so that a burst of writes gives one import;
// - every `refresh` seconds since its last import, as a safety net;
// - after a failure, 1 minute later, then 2, 4 and 8, then every 10 minutes, and at the
//   rollover;
// - at once, every item, when the clock is set back: its deck was made for a later time.
#pragma once

#include <stdint.h>

#include <limits>
#include <map>
#include <string>
#include <vector>

namespace deck::watch {

// Unix seconds.
using Seconds = int64_t;
constexpr Seconds kNever = std::numeric_limits<Seconds>::max();

constexpr Seconds kQuietSeconds = 2;    // the quiet after a change before the import
constexpr Seconds kMostWaitSeconds = 8; // the longest wait after the first change of a burst
constexpr Seconds kFirstRetrySeconds = 60;
constexpr Seconds kLastRetrySeconds = 600;
// A clock that goes back by more than this was set back (a step of the time service is less).
constexpr Seconds kClockSlackSeconds = 5;

// What the item's entry on the Today screen is known to be.
enum class Shown { kUnknown, kOn, kOff };

struct ItemPlan {
    std::string folder;        // its profile's folder, whose changes start an import
    Seconds change = kNever;   // the next change of its due cards
    Seconds rollover = kNever; // from then on its deck is an earlier day's; kNever: unknown
    Seconds last = 0;          // its last import, good or not
    Seconds retry = kNever;    // the next try after a failure
    Seconds delay = kFirstRetrySeconds; // the wait after the next failure
    Shown shown = Shown::kUnknown;
};

// A burst of changes in one folder: its import waits until `until`.
struct Burst {
    Seconds first = 0;
    Seconds until = 0;
};

struct Plan {
    std::vector<ItemPlan> items;
    std::map<std::string, Burst> bursts; // by folder
    Seconds refresh = 600;               // the safety net; 0: none
    Seconds seen = 0;                    // the time of the last step
};

// The plan of an item whose last good import, at `at` on this clock, told the change and
// the rollover on the importer's clock `clock` (TOLLAMY_NOW, or `at` itself): the moments lie
// as far after `at` as they lay after `clock`. An item never imported has `at` 0: it is due at
// once.
ItemPlan PlanItem(const std::string& folder, Seconds at, Seconds clock, Seconds change,
                  Seconds rollover, Seconds now);

// A change in `folder` seen at `now`.
void SeeChange(Plan& plan, const std::string& folder, Seconds now);

// The items to import at `now`, in the plan's order; the bursts that ended are taken.
std::vector<size_t> Due(Plan& plan, Seconds now);

// What an import gave, its moments on the watch's clock.
struct Outcome {
    bool ok = false;
    Seconds change = kNever;
    Seconds rollover = kNever;
};

// What the watch does about an item after an import.
enum class Act {
    kNothing,
    kSwitchOn,  // its deck is current: its entry is to show
    kSwitchOff, // its deck is an earlier day's and could not be made again
    kKept,      // the import failed; its deck, still today's, stays
};

Act AfterImport(Plan& plan, size_t item, const Outcome& outcome, Seconds now);

// The moment of the next thing due, `most` seconds after `now` at the latest (the watch wakes
// so often at least, so that the time after a suspend is seen); `now` when something is due.
Seconds NextWake(const Plan& plan, Seconds now, Seconds most);

} // namespace deck::watch
