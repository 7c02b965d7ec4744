// Anki's profiles: the base folder and the profile folders in it.
#include "deck/anki/profile.h"

#include "deck/anki/system.h"
#include "deck/base/files.h"
#include "deck/base/process.h"

#include <errno.h>
#include <string.h>

#include <algorithm>

namespace deck::anki {

namespace {

// The profiles as a message lists them: "\"User 1\", \"Work\"" (or "none").
std::string ProfileList(const std::vector<std::string>& profiles) {
    std::string list;
    for (const std::string& name : profiles) {
        list += list.empty() ? "" : ", ";
        list += "\"" + name + "\"";
    }
    return list.empty() ? "none" : list;
}

} // namespace

std::string AnkiBaseFolder() {
    std::string base;
    if (GetEnv("ANKI_BASE", &base) && !base.empty()) {
        return base;
    }
    return DefaultAnkiBase();
}

std::vector<std::string> AnkiProfiles(const std::string& base) {
    std::vector<std::string> profiles;
    std::vector<FolderEntry> entries;
    ListFolder(base, &entries);
    for (const FolderEntry& e : entries) {
        FileInfo collection;
        if (e.info.kind == PathKind::kFolder &&
            StatPath(JoinPath(JoinPath(base, e.name), "collection.anki2"), &collection) &&
            collection.kind == PathKind::kFile) {
            profiles.push_back(e.name);
        }
    }
    std::sort(profiles.begin(), profiles.end());
    return profiles;
}

bool ProfileCollection(const std::string& name, std::string* path, std::string* err) {
    const std::string base = AnkiBaseFolder();
    std::vector<FolderEntry> entries;
    if (!ListFolder(base, &entries) && errno != ENOENT) {
        *err = "Anki's folder " + base + " cannot be read (" + strerror(errno) + ")";
        return false;
    }
    std::vector<std::string> profiles = AnkiProfiles(base);
    // A name is one folder of the base folder, never a path out of it.
    if (std::find(profiles.begin(), profiles.end(), name) == profiles.end()) {
        *err = "Anki has no profile \"" + name + "\" in " + base +
               " (its profiles: " + ProfileList(profiles) + ")";
        // A folder of that name whose collection cannot be looked at, or is no file: say so.
        for (const FolderEntry& e : entries) {
            if (e.name != name || e.info.kind != PathKind::kFolder) {
                continue;
            }
            const std::string collection = JoinPath(JoinPath(base, name), "collection.anki2");
            FileInfo info;
            if (StatPath(collection, &info)) {
                *err = "Anki's profile \"" + name + "\" has no collection: " + collection +
                       " is not a regular file";
            } else if (errno != ENOENT) {
                *err = "Anki's profile \"" + name + "\" cannot be read: " + collection + " (" +
                       strerror(errno) + ")";
            }
        }
        return false;
    }
    *path = base + kPathSeparator + name + kPathSeparator + "collection.anki2";
    return true;
}

} // namespace deck::anki
