// Anki's profiles on this machine: each is a folder under Anki's base folder that holds the
// profile's collection, BASE/PROFILE/collection.anki2.
#pragma once

#include <string>
#include <vector>

namespace deck::anki {

// Anki's base folder: $ANKI_BASE when it is set; otherwise Anki's own place on this system
// (DefaultAnkiBase in system.h: ~/.local/share/Anki2 on Linux, %APPDATA%\Anki2 on Windows).
std::string AnkiBaseFolder();

// The profiles in `base`: its folders that hold a collection.anki2, sorted by name.
std::vector<std::string> AnkiProfiles(const std::string& base);

// The collection of profile `name`. False with *err set when there is no such profile: it names
// the base folder and lists the profiles found, or says why a folder of that name is none (its
// collection cannot be looked at, or is no regular file), or why the base folder cannot be
// read.
bool ProfileCollection(const std::string& name, std::string* path, std::string* err);

} // namespace deck::anki
