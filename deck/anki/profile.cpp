// Anki's profiles: the base folder and the profile folders in it.
#include "deck/anki/profile.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace deck::anki {

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
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

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
    std::error_code ec;
    for (std::filesystem::directory_iterator it(base, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (std::filesystem::is_regular_file(it->path() / "collection.anki2", ec)) {
            profiles.push_back(it->path().filename().string());
        }
    }
    std::sort(profiles.begin(), profiles.end());
    return profiles;
}

bool ProfileCollection(const std::string& name, std::string* path, std::string* err) {
    const std::string base = AnkiBaseFolder();
    std::vector<std::string> profiles = AnkiProfiles(base);
    // A name is one folder of the base folder, never a path out of it.
    if (std::find(profiles.begin(), profiles.end(), name) == profiles.end()) {
        *err = "Anki has no profile \"" + name + "\" in " + base +
               " (its profiles: " + ProfileList(profiles) + ")";
        return false;
    }
    *path = base + "/" + name + "/collection.anki2";
    return true;
}

} // namespace deck::anki
