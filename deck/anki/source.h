// Where an Anki input comes from: a package (.apkg, or a whole collection as .colpkg), a
// collection file, or the collection of one of Anki's profiles. Each is read through a private
// copy; while Anki holds a collection open, its newest backup is read instead.
#pragma once

#include "deck/anki_schedule.h"
#include "deck/anki_schema.h"
#include "deck/anki_sqlite.h"
#include "deck/apkg.h"
#include "deck/cards.h"

#include <stdio.h>

#include <string>

namespace deck {

// The file to read: INPUT, or the collection of --anki-profile NAME. False with an error
// printed to err (an unknown profile lists the profiles found).
bool ResolveAnkiInput(const std::string& input, const std::string& profile, std::string* path,
                      FILE* err);

// The start that both Anki imports share: the file to read (*path), and -o OUTPUT given.
// 0 to go on, or the status to end with, the error printed to err unless quiet.
int StartAnkiImport(const ImportOptions& options, FILE* err, bool quiet, std::string* path);

// True when the file is an Anki input by its content: a ZIP archive or an SQLite database.
bool LooksLikeAnki(const std::string& path);

// Calls `use` with a private copy of the input's collection: the newest collection of a
// package, or a snapshot of a collection file and its -wal. While another program (Anki) holds
// the collection locked, the newest *.colpkg in the backups folder beside it is read instead,
// with a warning naming it and its time; without one the result is apkg::kBusy. The copies are
// removed before this returns. Returns apkg::kOk, an apkg::Result with *message, or what `use`
// returned.
int WithAnkiCollection(const std::string& path, uint64_t max_bytes, Report& report,
                       const apkg::CollectionUse& use, std::string* message);

// A collection opened for its schedule: the database, its note types and decks, and its
// schedule's configuration.
struct LoadedCollection {
    apkg::DbPtr db;
    apkg::Schema schema;
    ScheduleConfig config;
};

// Opens the private copy `copy` (a collection known as `entry`) and loads it. Returns apkg::kOk,
// or a Result with *message: an SQLite file without Anki's col, notes and cards tables is
// kBadCollection.
int LoadCollection(const std::string& copy, const std::string& entry, LoadedCollection* loaded,
                   std::string* message);

} // namespace deck
