// `tollamy-deck watch`: the decks named become items, each item is imported once (--once), or
// kept current by the watch's loop until the program that started it ends.
#include "deck/watch/watch.h"

#include "deck/anki/profile.h"
#include "deck/base/files.h"
#include "deck/base/report.h"
#include "deck/watch/itemimport.h"
#include "deck/watch/items.h"
#include "deck/watch/system.h"
#include "deck/watch/watcher.h"

#include <algorithm>

namespace deck::watch {

namespace {

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

// --once: each item imported, and what became of it.
int RunOnce(const WatchOptions& o, const std::vector<Item>& named,
            const std::vector<Item>& existing, FILE* out, FILE* err) {
    auto one = [&](const Item& item, bool added) {
        Imported got;
        if (!item.profile.empty()) {
            got = ImportItem(o.folder, item);
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
            RemoveFile(NextFile(o.folder, item.name));
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
    std::string why;
    if (!MakeFolders(o.folder, &why)) {
        fprintf(err, "%s: error: cannot make %s: %s\n", kProgram, o.folder.c_str(), why.c_str());
        return 1;
    }
    if (o.once) {
        return RunOnce(o, named, existing, out, err);
    }
    PrepareSignals();
    FolderLock lock;
    bool held = false;
    if (!lock.Take(o.folder + kPathSeparator + ".watch.lock", &held, &why)) {
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
        Imported got = item.profile.empty() ? Imported() : ImportItem(o.folder, item);
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
