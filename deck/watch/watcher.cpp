// The watch's loop: imports what the schedule says is due, follows the folders, and waits.
#include "deck/watch/watcher.h"

#include "deck/base/files.h"
#include "deck/base/process.h"
#include "deck/base/strings.h"
#include "deck/watch/itemimport.h"

#include <algorithm>
#include <set>

namespace deck::watch {

namespace {

constexpr int kPollSeconds = 5;
// The longest sleep of a watch that the system tells of changes: a suspend is seen a minute
// after the machine wakes at the latest.
constexpr Seconds kLongestSleep = 60;

} // namespace

Watcher::Watcher(const WatchOptions& o, FILE* err) : o_(o), err_(err) {
    plan_.refresh = static_cast<Seconds>(o.refreshMinutes) * 60;
}

bool Watcher::StartWatch(std::string* why) {
    std::string asked;
    GetEnv("TOLLAMY_WATCH", &asked);
    if (asked == "poll") {
        watch_ = PollingWatch(kPollSeconds);
        return true;
    }
    if (!asked.empty() && asked != "inotify") {
        *why = "TOLLAMY_WATCH must be inotify or poll, not '" + asked + "'";
        return false;
    }
    std::string refused;
    watch_ = SystemWatch(&refused);
    if (watch_ == nullptr) {
        Poll(refused);
    }
    return true;
}

void Watcher::Add(const Item& item) {
    const Seconds now = Now();
    Seconds change = kNever, rollover = kNever, at = 0;
    if (!ReadNext(NextFile(o_.folder, item.name), &change, &rollover, &at)) {
        at = 0;
    }
    ItemPlan plan = PlanItem(ProfileFolder(item.profile), at, ToolClock(at), change, rollover, now);
    plan.shown = plan.rollover != kNever && plan.rollover > now ? Shown::kOn : Shown::kUnknown;
    items_.push_back(item);
    plan_.items.push_back(plan);
    said_.emplace_back();
}

void Watcher::ReadFolder() {
    std::vector<Item> now = ReadItems(o_.folder);
    for (size_t i = items_.size(); i-- > 0;) {
        auto same = std::find_if(now.begin(), now.end(),
                                 [&](const Item& x) { return x.name == items_[i].name; });
        if (same == now.end()) {
            items_.erase(items_.begin() + static_cast<long>(i));
            plan_.items.erase(plan_.items.begin() + static_cast<long>(i));
            said_.erase(said_.begin() + static_cast<long>(i));
        } else if (same->deck != items_[i].deck || same->profile != items_[i].profile) {
            items_[i] = *same;
            plan_.items[i].folder = ProfileFolder(same->profile);
            plan_.items[i].change = Now();
        }
    }
    for (const Item& item : now) {
        if (std::none_of(items_.begin(), items_.end(),
                         [&](const Item& x) { return x.name == item.name; })) {
            Add(item);
        }
    }
}

void Watcher::Run() {
    for (;;) {
        if (read_folder_) {
            read_folder_ = false;
            ReadFolder();
        }
        for (size_t i : Due(plan_, Now())) {
            Refresh(i);
        }
        Follow();
        const Seconds now = Now();
        const int poll = watch_->PollSeconds();
        const Seconds wake = NextWake(plan_, now, poll > 0 ? poll : kLongestSleep);
        std::vector<Seen> seen;
        std::string why;
        if (!watch_->Wait(std::max<long>(100, static_cast<long>(wake - now) * 1000), &seen, &why)) {
            Poll(why);
            // What changed meanwhile is not known: every profile counts as changed.
            for (const ItemPlan& item : plan_.items) {
                SeeChange(plan_, item.folder, Now());
            }
        }
        for (const Seen& s : seen) {
            Note(s);
        }
    }
}

void Watcher::Poll(const std::string& why) {
    watch_ = PollingWatch(kPollSeconds);
    if (!told_polling_) {
        told_polling_ = true;
        Say(err_, "Anki's files are not watched: " + why +
                      "; their time stamps are looked at every " + std::to_string(kPollSeconds) +
                      " seconds instead");
    }
}

void Watcher::Follow() {
    std::vector<std::string> folders{o_.folder};
    std::set<std::string> profiles;
    for (const ItemPlan& item : plan_.items) {
        profiles.insert(item.folder);
    }
    for (const std::string& profile : profiles) {
        folders.push_back(profile);
        FileInfo backups;
        if (StatPath(JoinPath(profile, "backups"), &backups) && backups.kind == PathKind::kFolder) {
            folders.push_back(JoinPath(profile, "backups"));
        }
    }
    std::string why;
    if (!watch_->Follow(folders, &why)) {
        Poll(why);
        watch_->Follow(folders, &why);
    }
}

void Watcher::Note(const Seen& s) {
    if (s.folder == o_.folder) {
        read_folder_ = read_folder_ || s.name.empty() || EndsWithNoCase(s.name, ".source");
        return;
    }
    for (const ItemPlan& item : plan_.items) {
        const bool profile =
            s.folder == item.folder && (s.name.empty() || s.name == "collection.anki2" ||
                                        s.name == "collection.anki2-wal" || s.name == "backups");
        if (profile || s.folder == JoinPath(item.folder, "backups")) {
            SeeChange(plan_, item.folder, Now());
            return;
        }
    }
}

void Watcher::Refresh(size_t i) {
    const Item& item = items_[i];
    Imported got = ImportItem(o_.folder, item);
    if (got.ok && got.changed) {
        SayLines(err_, got.messages);
    }
    const std::string why = got.why;
    switch (AfterImport(plan_, i, got.outcome, Now())) {
    case Act::kNothing:
        break;
    case Act::kSwitchOn:
        if (Switch(item, true)) {
            Say(err_, "the Anki deck " + item.deck + " is switched on again");
        }
        break;
    case Act::kSwitchOff:
        if (o_.switchProgram.empty()) {
            Say(err_, "the Anki deck " + item.deck + "'s cards are an earlier day's, and " +
                          "they could not be imported again: " + why);
        } else if (Switch(item, false)) {
            Say(err_, "the Anki deck " + item.deck + " is switched off: its cards are an " +
                          "earlier day's, and they could not be imported again: " + why);
        }
        break;
    case Act::kKept:
        // Said once for a run of failures, and again when the reason changes.
        if (why != said_[i]) {
            Say(err_, "the Anki deck " + item.deck +
                          " could not be imported again; its last cards stay: " + why);
        }
        break;
    }
    said_[i] = got.ok ? std::string() : why;
}

bool Watcher::Switch(const Item& item, bool on) {
    if (o_.switchProgram.empty()) {
        return false;
    }
    std::string why;
    int status = RunProgram({o_.switchProgram, item.name, on ? "on" : "off"}, &why);
    if (status == 0) {
        return true;
    }
    if (status != 1) {
        Say(err_,
            "the item " + item.name + " could not be switched " + (on ? "on" : "off") + ": " +
                (status < 0 ? why : o_.switchProgram + " gave status " + std::to_string(status)));
    }
    return false;
}

} // namespace deck::watch
