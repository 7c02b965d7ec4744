// The watch's schedule on a clock of the test's own: a small world of Anki profiles, whose
// imports work or fail and tell the next change, driven from wake-up to wake-up as the watch
// drives it; each case lists every import it must make, with what the watch then does.
#include "deck/watch/schedule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace deck::watch;

constexpr Seconds kT0 = 1773223200; // Wed 2026-03-11 10:00 UTC
constexpr Seconds kDay = 86400;
constexpr Seconds kHour = 3600;

// What happens in the world at `at` (seconds after kT0).
struct Event {
    enum Kind { kChange, kFail, kHeal, kClock } kind;
    Seconds at;
    size_t item = 0; // kChange: the item whose profile changed; kFail, kHeal: the item
    Seconds to = 0;  // kClock: the clock jumps to kT0 + to
};

// An item of the world: its profile's folder, its rollover (then every day), a learning card
// coming within the learn-ahead limit, and its last good import.
struct World {
    std::string folder;
    Seconds rollover;
    Seconds learning = kNever;
    Seconds imported = 0; // 0: never
};

struct Import {
    Seconds at;
    size_t item;
    Act act;
    bool operator==(const Import& o) const { return at == o.at && item == o.item && act == o.act; }
};

std::ostream& operator<<(std::ostream& out, const Import& i) {
    return out << "{" << i.at << ", item " << i.item << ", act " << static_cast<int>(i.act) << "}";
}

Seconds NextRollover(Seconds first, Seconds t) {
    Seconds r = first;
    while (r <= t) {
        r += kDay;
    }
    return r;
}

// Runs the plan from kT0 to kT0 + `until` on the world's clock and lists its imports.
std::vector<Import> Simulate(std::vector<World> world, Seconds refresh, std::vector<Event> events,
                             Seconds until) {
    Plan plan;
    plan.refresh = refresh;
    std::vector<bool> failing(world.size(), false);
    for (const World& w : world) {
        const Seconds at = w.imported == 0 ? 0 : kT0 + w.imported;
        const Seconds r = NextRollover(kT0 + w.rollover, std::max(at, kT0 - kDay));
        const Seconds change = std::min(w.learning == kNever ? kNever : kT0 + w.learning, r);
        plan.items.push_back(PlanItem(w.folder, at, at, change, r, kT0));
    }
    std::vector<Import> imports;
    Seconds t = kT0;
    size_t next = 0;
    for (int steps = 0; (t < kT0 + until || next < events.size()) && steps < 10000; ++steps) {
        for (size_t i : Due(plan, t)) {
            const World& w = world[i];
            Outcome o;
            o.ok = !failing[i];
            o.rollover = NextRollover(kT0 + w.rollover, t);
            o.change = o.rollover;
            if (w.learning != kNever && kT0 + w.learning > t) {
                o.change = std::min(o.change, kT0 + w.learning);
            }
            imports.push_back({t - kT0, i, AfterImport(plan, i, o, t)});
        }
        const Seconds wake = NextWake(plan, t, 60);
        EXPECT_GT(wake, t) << "nothing may be due right after the imports";
        if (next < events.size() && kT0 + events[next].at <= wake) {
            const Event& e = events[next++];
            t = kT0 + e.at;
            switch (e.kind) {
            case Event::kChange:
                SeeChange(plan, world[e.item].folder, t);
                break;
            case Event::kFail:
            case Event::kHeal:
                failing[e.item] = e.kind == Event::kFail;
                break;
            case Event::kClock:
                t = kT0 + e.to;
                break;
            }
        } else {
            t = wake;
        }
    }
    return imports;
}

TEST(WatchSchedule, ImportsAtEachMomentItsRulesName) {
    const World profile{"/anki/User 1", 19 * kHour, kNever, -60};
    World learning = profile;
    learning.learning = 600;
    World soon = profile; // the rollover 100 s away, as at 04:58
    soon.rollover = 100;
    World fresh = profile; // never imported: at once
    fresh.imported = 0;
    const World other{"/anki/Work", 19 * kHour, kNever, -60};
    using A = Act;
    const struct {
        const char* what;
        std::vector<World> world;
        Seconds refresh;
        std::vector<Event> events;
        Seconds until;
        std::vector<Import> imports;
    } cases[] = {
        {"a learning card coming within the learn-ahead limit",
         {learning},
         0,
         {},
         700,
         {{600, 0, A::kSwitchOn}}},
        {"the rollover, and the next day's",
         {soon},
         0,
         {},
         kDay + 200,
         {{100, 0, A::kSwitchOn}, {kDay + 100, 0, A::kNothing}}},
        {"an item never imported, at once", {fresh}, 0, {}, 100, {{0, 0, A::kSwitchOn}}},
        {"a burst of writes gives one import after 2 quiet seconds",
         {profile},
         0,
         {{Event::kChange, 100}, {Event::kChange, 101}, {Event::kChange, 102}},
         200,
         {{104, 0, A::kSwitchOn}}},
        {"writes that go on wait 8 seconds at most",
         {profile},
         0,
         [] {
             std::vector<Event> e;
             for (Seconds at = 100; at <= 120; ++at) {
                 e.push_back({Event::kChange, at});
             }
             return e;
         }(),
         200,
         {{108, 0, A::kSwitchOn}, {117, 0, A::kNothing}, {122, 0, A::kNothing}}},
        {"the safety refresh",
         {profile},
         600,
         {},
         1300,
         {{540, 0, A::kSwitchOn}, {1140, 0, A::kNothing}}},
        {"after a failure: 1, 2, 4 and 8 minutes, then every 10",
         {profile},
         0,
         {{Event::kFail, 0}, {Event::kChange, 8}},
         2200,
         {{10, 0, A::kKept},
          {70, 0, A::kKept},
          {190, 0, A::kKept},
          {430, 0, A::kKept},
          {910, 0, A::kKept},
          {1510, 0, A::kKept},
          {2110, 0, A::kKept}}},
        {"a failing item at the rollover is switched off, and on when an import works",
         {soon},
         0,
         {{Event::kFail, 0}, {Event::kChange, 48}, {Event::kHeal, 300}},
         500,
         {{50, 0, A::kKept},
          {100, 0, A::kSwitchOff},
          {220, 0, A::kNothing},
          {460, 0, A::kSwitchOn}}},
        {"a suspend of six hours: one import when the machine wakes",
         {profile},
         600,
         {{Event::kClock, 100, 0, 6 * kHour}},
         6 * kHour + 700,
         {{6 * kHour, 0, A::kSwitchOn}, {6 * kHour + 600, 0, A::kNothing}}},
        {"a suspend over the rollover: one import",
         {soon},
         0,
         {{Event::kClock, 50, 0, 10 * kHour}},
         10 * kHour + 60,
         {{10 * kHour, 0, A::kSwitchOn}}},
        {"a clock set back: every item at once, the refresh counted from then",
         {profile, other},
         600,
         {{Event::kClock, 200, 0, -kHour}},
         -kHour + 700,
         {{-kHour, 0, A::kSwitchOn},
          {-kHour, 1, A::kSwitchOn},
          {-kHour + 600, 0, A::kNothing},
          {-kHour + 600, 1, A::kNothing}}},
        {"a step back of a few seconds is no clock set back",
         {profile},
         0,
         {{Event::kClock, 200, 0, 197}},
         400,
         {}},
        {"two profiles: a change imports the items of its own",
         {profile, other},
         0,
         {{Event::kChange, 100, 1}, {Event::kChange, 200, 0}},
         300,
         {{102, 1, A::kSwitchOn}, {202, 0, A::kSwitchOn}}},
        {"an item whose profile disappears keeps its deck until the rollover",
         {soon, other},
         0,
         {{Event::kFail, 10}, {Event::kChange, 10}},
         200,
         {{12, 0, A::kKept}, {72, 0, A::kKept}, {100, 0, A::kSwitchOff}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.imports, Simulate(c.world, c.refresh, c.events, c.until));
    }
}

} // namespace
