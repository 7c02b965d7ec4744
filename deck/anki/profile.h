// Anki's profiles on this machine: each is a folder under Anki's base folder that holds the
// profile's collection, BASE/PROFILE/collection.anki2.
#pragma once

#include <string>
#include <vector>

namespace deck::anki {

// Anki's base folder: $ANKI_BASE when it is set; otherwise $XDG_DATA_HOME/Anki2 (by default
// ~/.local/share/Anki2) when that folder exists; otherwise the Flatpak's
// ~/.var/app/net.ankiweb.Anki/data/Anki2 when that one exists; otherwise the first of the two.
std::string AnkiBaseFolder();

// The profiles in `base`: its folders that hold a collection.anki2, sorted by name.
std::vector<std::string> AnkiProfiles(const std::string& base);

// The collection of profile `name`. False with *err set when there is no such profile: it names
// the base folder and lists the profiles found.
bool ProfileCollection(const std::string& name, std::string* path, std::string* err);

} // namespace deck::anki
