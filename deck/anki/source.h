// Where an Anki input comes from: a package (.apkg, or a whole collection as .colpkg) or a
// collection file (a profile's collection.anki2 among them). Each is read through a private
// copy; while Anki holds a collection open, its newest backup is read instead.
#pragma once

#include "deck/anki/package.h"
#include "deck/anki/schedule.h"
#include "deck/anki/schema.h"
#include "deck/anki/sqlite.h"
#include "deck/base/report.h"

#include <string>

namespace deck::anki {

// True when the file is an Anki input by its content: a ZIP archive or an SQLite database.
bool LooksLikeAnki(const std::string& path);

// What the first bytes of an input say it is.
enum class InputKind { kSqlite, kZip, kOther };

// Reads the first bytes of `path`. False with *err set when the file cannot be read at all
// ("cannot read: Permission denied", a folder, a FIFO or a device, an I/O error) or is empty; only
// a file that was read is told apart by its bytes.
bool ProbeInput(const std::string& path, InputKind* kind, std::string* err);

// Calls `use` with a private copy of the input's collection: the newest collection of a
// package, or a snapshot of a collection file and its -wal. While another program (Anki) holds
// the collection locked, the newest backup in the backups folder beside it (*.colpkg, or
// backup-*.apkg as older Anki versions named them) that reads (unpacks to an SQLite database)
// is read instead, with a warning in `report` naming it and its time, and each newer one
// passed over with why. `kind` is what ProbeInput found the input to be. The copies are
// removed before this returns. False with *err set when the input cannot be read (or Anki holds
// it and there is no backup) or `use` failed.
bool WithAnkiCollection(const std::string& path, InputKind kind, uint64_t max_bytes, Report& report,
                        const CollectionUse& use, std::string* err);

// A collection opened for its schedule: the database, its note types and decks, and its
// schedule's configuration.
struct LoadedCollection {
    DbPtr db;
    Schema schema;
    ScheduleConfig config;
};

// Opens the private copy `copy` (a collection known as `entry`) and loads it. False with *err
// set: an SQLite file without Anki's col, notes and cards tables, or with an empty col, is no
// collection.
bool LoadCollection(const std::string& copy, const std::string& entry, LoadedCollection* loaded,
                    std::string* err);

// Says in `report` what of a collection's note types, decks and configuration is damaged
// (see CheckSchema), or false with *err set where the command cannot do its work honestly.
bool CheckDamage(const LoadedCollection& c, const Needs& needs, Report& report, std::string* err);

} // namespace deck::anki
