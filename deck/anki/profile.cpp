// Anki's profiles: the base folder and the profile folders in it.
#include "deck/anki_profile.h"

#include <dirent.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace deck {

namespace {

std::string Home() {
    const char* home = getenv("HOME");
    if (home != nullptr && *home != 0) {
        return home;
    }
    const passwd* user = getpwuid(getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::string AnkiBaseFolder() {
    const char* base = getenv("ANKI_BASE");
    if (base != nullptr && *base != 0) {
        return base;
    }
    const char* data = getenv("XDG_DATA_HOME");
    // The XDG rule: an unset or relative XDG_DATA_HOME is ignored.
    std::string native = (data != nullptr && data[0] == '/') ? std::string(data) + "/Anki2"
                                                             : Home() + "/.local/share/Anki2";
    std::string flatpak = Home() + "/.var/app/net.ankiweb.Anki/data/Anki2";
    if (!IsFolder(native) && IsFolder(flatpak)) {
        return flatpak;
    }
    return native;
}

std::vector<std::string> AnkiProfiles(const std::string& base) {
    std::vector<std::string> profiles;
    DIR* dir = opendir(base.c_str());
    if (dir == nullptr) {
        return profiles;
    }
    while (const dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != ".." && IsFile(base + "/" + name + "/collection.anki2")) {
            profiles.push_back(name);
        }
    }
    closedir(dir);
    std::sort(profiles.begin(), profiles.end());
    return profiles;
}

std::string ProfileList(const std::vector<std::string>& profiles) {
    std::string list;
    for (const std::string& name : profiles) {
        list += list.empty() ? "" : ", ";
        list += "\"" + name + "\"";
    }
    return list.empty() ? "none" : list;
}

bool ProfileCollection(const std::string& name, std::string* path, std::string* message) {
    const std::string base = AnkiBaseFolder();
    std::vector<std::string> profiles = AnkiProfiles(base);
    // A name is one folder of the base folder, never a path out of it.
    if (std::find(profiles.begin(), profiles.end(), name) == profiles.end()) {
        *message = "Anki has no profile \"" + name + "\" in " + base +
                   " (its profiles: " + ProfileList(profiles) + ")";
        return false;
    }
    *path = base + "/" + name + "/collection.anki2";
    return true;
}

} // namespace deck
