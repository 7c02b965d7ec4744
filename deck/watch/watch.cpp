// `tollamy-deck watch`: the items of a data folder imported again as the schedule says, with
// the folders of their profiles watched for Anki's saves and backups.
#include "deck/watch/watch.h"

#include "deck/anki/due.h"
#include "deck/anki/profile.h"
#include "deck/anki/schedule.h"
#include "deck/base/report.h"
#include "deck/base/strings.h"
#include "deck/watch/items.h"
#include "deck/watch/schedule.h"
#include "deck/watch/system.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <system_error>

namespace deck::watch {

namespace {

constexpr int kPollSeconds = 5;
// The longest sleep of a watch that the system tells of changes: a suspend is seen a minute
// after the machine wakes at the latest.
constexpr Seconds kLongestSleep = 60;

Seconds Now() {
    return static_cast<Seconds>(time(nullptr));
}

// What a function writes to a FILE*, as text.
class Captured {
public:
    Captured() : file_(open_memstream(&text_, &size_)) {}
    ~Captured() {
        if (file_ != nullptr) {
            fclose(file_);
        }
        free(text_);
    }
    Captured(const Captured&) = delete;
    Captured& operator=(const Captured&) = delete;
    FILE* File() { return file_ != nullptr ? file_ : stderr; }
    std::string Text() {
        if (file_ == nullptr) {
            return std::string();
        }
        fflush(file_);
        std::string text(text_, size_);
        while (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text;
    }

private:
    char* text_ = nullptr;
    size_t size_ = 0;
    FILE* file_;
};

// The first error of a command's messages, without its "FILE: error: ".
std::string FirstError(const std::string& messages) {
    const std::string mark = ": error: ";
    size_t at = messages.find(mark);
    if (at == std::string::npos) {
        return messages.substr(0, messages.find('\n'));
    }
    at += mark.size();
    return messages.substr(at, messages.find('\n', at) - at);
}

// What --next-change wrote: the change and the rollover on the importer's clock, and when
// (the file's time stamp). False when there is no such file.
bool ReadNext(const std::string& path, Seconds* change, Seconds* rollover, Seconds* at) {
    std::ifstream in(path);
    struct stat st {};
    long long c = 0, r = 0;
    if (!(in >> c >> r) || stat(path.c_str(), &st) != 0) {
        return false;
    }
    *change = c;
    *rollover = r;
    *at = static_cast<Seconds>(st.st_mtime);
    return true;
}

// The importer's clock: TOLLAMY_NOW, else the system's.
Seconds ToolClock(Seconds now) {
    int64_t clock = now;
    std::string ignored;
    return anki::ClockNow(&clock, &ignored) ? clock : now;
}

std::string ProfileFolder(const std::string& profile) {
    return anki::AnkiBaseFolder() + "/" + profile;
}

struct Imported {
    bool ok = false;
    bool changed = false;
    std::string messages; // the import's own, its closing line among them
    std::string why;      // its first error, for a failure
    Outcome outcome;      // on the watch's clock
};

// Imports the item's due cards into its deck, with --next-change beside it.
Imported Import(const std::string& folder, const Item& item) {
    Imported got;
    ImportOptions options;
    std::string why;
    if (!anki::ProfileCollection(item.profile, &options.input, &why)) {
        got.why = why;
        got.messages = std::string(kProgram) + ": error: " + why;
        return got;
    }
    options.due = true;
    options.ankiDeck = item.deck;
    options.output = DeckFile(folder, item.name);
    options.force = true;
    options.nextChange = NextFile(folder, item.name);
    const Seconds now = Now();
    const Seconds clock = ToolClock(now);
    Captured messages;
    got.ok = anki::RunDueImport(options, messages.File()) == 0;
    got.messages = messages.Text();
    if (!got.ok) {
        got.why = FirstError(got.messages);
        return got;
    }
    got.changed = got.messages.find("(unchanged)") == std::string::npos;
    Seconds change = kNever, rollover = kNever, at = 0;
    got.outcome.ok = true;
    if (ReadNext(options.nextChange, &change, &rollover, &at)) {
        got.outcome.change = now + (change - clock);
        got.outcome.rollover = now + (rollover - clock);
    }
    return got;
}

void Say(FILE* err, const std::string& text) {
    fprintf(err, "%s: %s\n", kProgram, text.c_str());
    fflush(err);
}

void SayLines(FILE* err, const std::string& text) {
    if (!text.empty()) {
        fprintf(err, "%s\n", text.c_str());
        fflush(err);
    }
}

// The decks named to become items: their items, checked against each other and against the
// folder's, before anything is written. Status 0, or the command's status with the message
// given.
int NameNamed(const WatchOptions& o, const std::vector<Item>& existing, FILE* err,
              std::vector<Item>* named) {
    if (o.anki.empty()) {
        return 0;
    }
    std::string profile = o.profile;
    std::string left_out;
    if (profile.empty()) {
        const std::string base = anki::AnkiBaseFolder();
        std::vector<std::string> profiles = anki::AnkiProfiles(base);
        if (profiles.size() > 1) {
            std::string list;
            for (const std::string& p : profiles) {
                list += (list.empty() ? "\"" : ", \"") + p + "\"";
            }
            return PrintUsage(err, "Anki has several profiles (" + list +
                                       "); name one with --anki-profile NAME");
        }
        if (profiles.empty()) {
            left_out = "no Anki profile in " + base + " (set ANKI_BASE to Anki's folder)";
        } else {
            profile = profiles[0];
        }
    }
    std::vector<std::string> others = o.others;
    others.push_back("Tollamy");
    std::string why;
    if (!NameItems(o.anki, profile, existing, others, named, &why)) {
        return PrintUsage(err, why);
    }
    if (!left_out.empty()) {
        Say(err, "the Anki decks are left out: " + left_out);
        for (Item& item : *named) {
            item.profile.clear();
        }
    }
    return 0;
}

// Keeps the items current: the items and their plans side by side, the watch on their
// folders, and what was last said of each.
class Watcher {
public:
    Watcher(const WatchOptions& o, FILE* err) : o_(o), err_(err) {
        plan_.refresh = static_cast<Seconds>(o.refreshMinutes) * 60;
    }

    // The watch on the folders: the system's, unless TOLLAMY_WATCH asks to poll or the system
    // has none.
    bool StartWatch(std::string* why) {
        const char* mode = getenv("TOLLAMY_WATCH");
        const std::string asked = mode != nullptr ? mode : "";
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

    // Adds an item, imported already or not: its plan comes from what its last good import
    // wrote. Its entry shows while that deck is today's: it is switched off only after the
    // rollover, and one that failed at the launcher's start has no NAME.next (RunOnce).
    void Add(const Item& item) {
        const Seconds now = Now();
        Seconds change = kNever, rollover = kNever, at = 0;
        if (!ReadNext(NextFile(o_.folder, item.name), &change, &rollover, &at)) {
            at = 0;
        }
        ItemPlan plan =
            PlanItem(ProfileFolder(item.profile), at, ToolClock(at), change, rollover, now);
        plan.shown = plan.rollover != kNever && plan.rollover > now ? Shown::kOn : Shown::kUnknown;
        items_.push_back(item);
        plan_.items.push_back(plan);
        said_.emplace_back();
    }

    // Follows the folder's NAME.source files: new items join, removed ones go, and one whose
    // deck or profile changed is imported again at once.
    void ReadFolder() {
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

    [[noreturn]] void Run() {
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
            if (!watch_->Wait(std::max<long>(100, static_cast<long>(wake - now) * 1000), &seen,
                              &why)) {
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

private:
    // From now on the folders are looked at, with a word why; said once.
    void Poll(const std::string& why) {
        watch_ = PollingWatch(kPollSeconds);
        if (!told_polling_) {
            told_polling_ = true;
            Say(err_, "Anki's files are not watched: " + why +
                          "; their time stamps are looked at every " +
                          std::to_string(kPollSeconds) + " seconds instead");
        }
    }

    // The data folder, and each profile's folder with its backups.
    void Follow() {
        std::vector<std::string> folders{o_.folder};
        std::set<std::string> profiles;
        for (const ItemPlan& item : plan_.items) {
            profiles.insert(item.folder);
        }
        for (const std::string& profile : profiles) {
            folders.push_back(profile);
            std::error_code ec;
            if (std::filesystem::is_directory(profile + "/backups", ec)) {
                folders.push_back(profile + "/backups");
            }
        }
        std::string why;
        if (!watch_->Follow(folders, &why)) {
            Poll(why);
            watch_->Follow(folders, &why);
        }
    }

    // A change in a watched folder: a profile's collection, its log or its backups, or an
    // item's NAME.source.
    void Note(const Seen& s) {
        if (s.folder == o_.folder) {
            read_folder_ = read_folder_ || s.name.empty() || EndsWithNoCase(s.name, ".source");
            return;
        }
        for (const ItemPlan& item : plan_.items) {
            const bool profile = s.folder == item.folder &&
                                 (s.name.empty() || s.name == "collection.anki2" ||
                                  s.name == "collection.anki2-wal" || s.name == "backups");
            if (profile || s.folder == item.folder + "/backups") {
                SeeChange(plan_, item.folder, Now());
                return;
            }
        }
    }

    // Imports item i again, and tells what came of it.
    void Refresh(size_t i) {
        const Item& item = items_[i];
        Imported got = Import(o_.folder, item);
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

    // Runs the switch program for the item's entry: true when it switched it, false when the
    // entry was so already or there is none (or no program; a failure is said).
    bool Switch(const Item& item, bool on) {
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
                    (status < 0 ? why
                                : o_.switchProgram + " gave status " + std::to_string(status)));
        }
        return false;
    }

    const WatchOptions& o_;
    FILE* err_;
    std::vector<Item> items_;
    Plan plan_;
    std::vector<std::string> said_; // per item: the failure last said
    std::unique_ptr<FolderWatch> watch_;
    bool told_polling_ = false;
    bool read_folder_ = false;
};

// --once: each item imported, and what became of it.
int RunOnce(const WatchOptions& o, const std::vector<Item>& named,
            const std::vector<Item>& existing, FILE* out, FILE* err) {
    auto one = [&](const Item& item, bool added) {
        Imported got;
        if (!item.profile.empty()) {
            got = Import(o.folder, item);
        }
        std::string why;
        if (got.ok && added && !WriteSource(o.folder, item, &why)) {
            got.ok = false;
            got.why = SourceFile(o.folder, item.name) + ": " + why;
        }
        if (got.ok) {
            SayLines(err, got.messages);
            fprintf(out, "%s %s\n", added ? "added" : "shown", item.name.c_str());
        } else {
            if (!item.profile.empty()) {
                Say(err, "the Anki deck " + item.deck + " is left out: " + got.why);
            }
            // Its entry is switched off now: what a good import wrote goes with it, so that the
            // watch switches it on again with the next import that works.
            std::error_code ec;
            std::filesystem::remove(NextFile(o.folder, item.name), ec);
            fprintf(out, "hidden %s\n", item.name.c_str());
        }
        fflush(out);
    };
    for (const Item& item : named) {
        one(item, true);
    }
    for (const Item& item : existing) {
        if (std::none_of(named.begin(), named.end(),
                         [&](const Item& n) { return n.name == item.name; })) {
            one(item, false);
        }
    }
    return 0;
}

} // namespace

int RunWatch(const WatchOptions& o, FILE* out, FILE* err) {
    const std::vector<Item> existing = ReadItems(o.folder);
    std::vector<Item> named;
    if (int status = NameNamed(o, existing, err, &named); status != 0) {
        return status;
    }
    std::error_code ec;
    std::filesystem::create_directories(o.folder, ec);
    if (ec) {
        fprintf(err, "%s: error: cannot make %s: %s\n", kProgram, o.folder.c_str(),
                ec.message().c_str());
        return 1;
    }
    if (o.once) {
        return RunOnce(o, named, existing, out, err);
    }
    PrepareSignals();
    std::string why;
    FolderLock lock;
    bool held = false;
    if (!lock.Take(o.folder + "/.watch.lock", &held, &why)) {
        fprintf(err, "%s: error: %s\n", kProgram,
                held ? ("the items of " + o.folder +
                        " are kept current already, by another tollamy-deck watch")
                           .c_str()
                     : why.c_str());
        return 1;
    }
    if (!EndWithParent(&why)) {
        fprintf(err, "%s: error: %s\n", kProgram, why.c_str());
        return 1;
    }
    Watcher watcher(o, err);
    if (!watcher.StartWatch(&why)) {
        return PrintUsage(err, why);
    }
    // The named decks first, each imported now; then the folder's other items, as their plans
    // say.
    for (const Item& item : named) {
        Imported got = item.profile.empty() ? Imported() : Import(o.folder, item);
        if (got.ok && WriteSource(o.folder, item, &why)) {
            SayLines(err, got.messages);
            watcher.Add(item);
        } else if (!item.profile.empty()) {
            Say(err, "the Anki deck " + item.deck + " is left out: " + (got.ok ? why : got.why));
        }
    }
    watcher.ReadFolder();
    watcher.Run();
}

} // namespace deck::watch
