// The watch's schedule: plain data and the steps over it.
#include "deck/watch/schedule.h"

#include <algorithm>

namespace deck::watch {

namespace {

// `at` + `offset`, kNever staying kNever.
Seconds Later(Seconds at, Seconds offset) {
    return offset == kNever ? kNever : at + offset;
}

bool IsDue(const Plan& plan, const ItemPlan& item, Seconds now) {
    auto burst = plan.bursts.find(item.folder);
    return (!item.folder.empty() && burst != plan.bursts.end() && burst->second.until <= now) ||
           item.change <= now || item.retry <= now ||
           (plan.refresh > 0 && item.last + plan.refresh <= now);
}

} // namespace

ItemPlan PlanItem(const std::string& folder, Seconds at, Seconds clock, Seconds change,
                  Seconds rollover, Seconds now) {
    ItemPlan item;
    item.folder = folder;
    if (at <= 0) {
        item.change = now;
        item.last = now;
        return item;
    }
    item.last = std::min(at, now);
    item.change = Later(item.last, change == kNever ? kNever : change - clock);
    item.rollover = Later(item.last, rollover == kNever ? kNever : rollover - clock);
    return item;
}

void SeeChange(Plan& plan, const std::string& folder, Seconds now) {
    auto [at, fresh] = plan.bursts.try_emplace(folder, Burst{now, now});
    Burst& burst = at->second;
    if (fresh || now < burst.first) {
        burst.first = now;
    }
    burst.until = std::min(now + kQuietSeconds, burst.first + kMostWaitSeconds);
}

std::vector<size_t> Due(Plan& plan, Seconds now) {
    std::vector<size_t> due;
    if (now + kClockSlackSeconds < plan.seen) {
        // The clock went back: every deck was made for a later time, and every moment of the
        // plan is as far off as the clock went back.
        plan.seen = now;
        plan.bursts.clear();
        for (size_t i = 0; i < plan.items.size(); ++i) {
            due.push_back(i);
        }
        return due;
    }
    plan.seen = std::max(plan.seen, now);
    for (size_t i = 0; i < plan.items.size(); ++i) {
        if (IsDue(plan, plan.items[i], now)) {
            due.push_back(i);
        }
    }
    for (auto it = plan.bursts.begin(); it != plan.bursts.end();) {
        it = it->second.until <= now ? plan.bursts.erase(it) : std::next(it);
    }
    return due;
}

Act AfterImport(Plan& plan, size_t index, const Outcome& outcome, Seconds now) {
    ItemPlan& item = plan.items[index];
    item.last = now;
    if (outcome.ok) {
        // A moment already past would be due again at once: the next second at the soonest.
        item.change = outcome.change == kNever ? kNever : std::max(outcome.change, now + 1);
        item.rollover = outcome.rollover;
        item.retry = kNever;
        item.delay = kFirstRetrySeconds;
        const bool was_on = item.shown == Shown::kOn;
        item.shown = Shown::kOn;
        return was_on ? Act::kNothing : Act::kSwitchOn;
    }
    item.retry = now + item.delay;
    item.delay = std::min(item.delay * 2, kLastRetrySeconds);
    // Tried again at the rollover too, when the deck becomes an earlier day's.
    item.change = item.rollover > now ? item.rollover : kNever;
    if (item.rollover > now && item.rollover != kNever) {
        return Act::kKept;
    }
    // An earlier day's deck, or one whose day is not known, never passes for today's.
    const bool was_off = item.shown == Shown::kOff;
    item.shown = Shown::kOff;
    return was_off ? Act::kNothing : Act::kSwitchOff;
}

Seconds NextWake(const Plan& plan, Seconds now, Seconds most) {
    Seconds wake = now + most;
    for (const ItemPlan& item : plan.items) {
        wake = std::min({wake, item.change, item.retry});
        if (plan.refresh > 0) {
            wake = std::min(wake, item.last + plan.refresh);
        }
    }
    for (const auto& [folder, burst] : plan.bursts) {
        wake = std::min(wake, burst.until);
    }
    return std::max(wake, now);
}

} // namespace deck::watch
