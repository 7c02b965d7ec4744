// The watch's loop: the items of the data folder and their plans side by side, the watch on
// the folders of their profiles, and what was last said of each.
#pragma once

#include "deck/watch/items.h"
#include "deck/watch/schedule.h"
#include "deck/watch/system.h"
#include "deck/watch/watch.h"

#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

namespace deck::watch {

// Keeps the items current.
class Watcher {
public:
    Watcher(const WatchOptions& o, FILE* err);
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // The watch on the folders: the system's, unless TOLLAMY_WATCH asks to poll or the system
    // has none.
    bool StartWatch(std::string* why);

    // Adds an item, imported already or not: its plan comes from what its last good import
    // wrote. Its entry shows while that deck is today's: it is switched off only after the
    // rollover, and one that failed at the launcher's start has no NAME.next (RunOnce).
    void Add(const Item& item);

    // Follows the folder's NAME.source files: new items join, removed ones go, and one whose
    // deck or profile changed is imported again at once.
    void ReadFolder();

    // Imports what is due, follows the folders and waits, until the process ends.
    [[noreturn]] void Run();

private:
    // From now on the folders are looked at, with a word why; said once.
    void Poll(const std::string& why);

    // The data folder, and each profile's folder with its backups.
    void Follow();

    // A change in a watched folder: a profile's collection, its log or its backups, or an
    // item's NAME.source.
    void Note(const Seen& s);

    // Imports item i again, and tells what came of it.
    void Refresh(size_t i);

    // Runs the switch program for the item's entry: true when it switched it, false when the
    // entry was so already or there is none (or no program; a failure is said).
    bool Switch(const Item& item, bool on);

    const WatchOptions& o_;
    FILE* err_;
    std::vector<Item> items_;
    Plan plan_;
    std::vector<std::string> said_; // per item: the failure last said
    std::unique_ptr<FolderWatch> watch_;
    bool told_polling_ = false;
    bool read_folder_ = false;
};

} // namespace deck::watch
