// The collection of an Anki package or profile through SQLite: a private copy opened read-only
// and defensively, and its notes in note-id order (its note types and decks come from
// schema.cpp).
#include "deck/anki/collection.h"

#include "deck/anki/schema.h"
#include "deck/anki/system.h"
#include "deck/base/filekind.h"
#include "deck/base/files.h"
#include "deck/base/limits.h"
#include "deck/base/report.h"
#include "deck/base/strings.h"

#include <algorithm>
#include <memory>
#include <new>
#include <cerrno>
#include <cstring>
#include <set>

#include <sqlite3.h>

namespace deck::anki {
namespace {

// Anki declares deck, note-type and field names with the collation "unicase", which only
// Anki registers. This stand-in compares with ASCII letters folded; the reader never sorts
// or matches by these columns, it only needs the schema to open.
int UnicaseCompare(void*, int size_a, const void* a, int size_b, const void* b) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    int n = std::min(size_a, size_b);
    for (int i = 0; i < n; ++i) {
        unsigned char cx = static_cast<unsigned char>(AsciiLower(static_cast<char>(x[i])));
        unsigned char cy = static_cast<unsigned char>(AsciiLower(static_cast<char>(y[i])));
        if (cx != cy) {
            return cx < cy ? -1 : 1;
        }
    }
    return size_a == size_b ? 0 : (size_a < size_b ? -1 : 1);
}

// A note's first card: its lowest number, where it lives and its flags.
struct FirstCard {
    int64_t ord;
    int64_t deck;
    int flags;
};

// The first card of each note, among the cards whose home deck is one of `decks` (every card
// when `decks` is empty). A card moved into a filtered deck counts for its home deck (odid).
int FirstCards(sqlite3* db, const std::set<int64_t>& decks,
               std::unordered_map<int64_t, FirstCard>* firsts) {
    StmtPtr stmt;
    int rc = Prepare(db, "SELECT nid, ord, did, flags, odid FROM cards", &stmt);
    const bool has_odid = rc == SQLITE_OK;
    if (!has_odid) {
        rc = Prepare(db, "SELECT nid, ord, did, flags FROM cards", &stmt);
        if (rc != SQLITE_OK) {
            return rc;
        }
    }
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = stmt.get();
        FirstCard card{sqlite3_column_int64(s, 1), sqlite3_column_int64(s, 2),
                       sqlite3_column_int(s, 3)};
        if (has_odid && sqlite3_column_int64(s, 4) != 0) {
            card.deck = sqlite3_column_int64(s, 4);
        }
        if (!decks.empty() && !decks.count(card.deck)) {
            continue;
        }
        auto [it, added] = firsts->emplace(sqlite3_column_int64(s, 0), card);
        if (!added && card.ord < it->second.ord) {
            it->second = card;
        }
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

} // namespace

std::string CollectionCopyIn(TempFolder& folder) {
    const std::string copy = folder.File("collection");
    for (const char* companion : {"-wal", "-shm", "-journal"}) {
        folder.File("collection" + std::string(companion));
    }
    return copy;
}

bool PrepareCollectionCopy(const std::string& path, const std::string& entry, std::string* err) {
    int fd = OpenReadWrite(path);
    if (fd < 0) {
        *err = std::string("cannot open the temporary copy (") + strerror(errno) + ")";
        return false;
    }
    char header[100];
    ssize_t got = ReadAt(fd, header, sizeof header, 0);
    bool ok = true;
    if (got < 100 || !IsSqliteHead({header, sizeof header})) {
        *err = entry + " is not an SQLite database";
        ok = false;
    } else if (header[18] == 2 || header[19] == 2) {
        const unsigned char legacy[2] = {1, 1};
        if (!WriteAt(fd, legacy, 2, 18)) {
            *err = std::string("cannot write the temporary copy (") + strerror(errno) + ")";
            ok = false;
        }
    }
    CloseFile(fd);
    return ok;
}

bool OpenCollectionFile(const std::string& path, const std::string& entry, DbPtr* db,
                        std::string* err) {
    PrepareSqliteFiles();
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    db->reset(raw);
    if (rc == SQLITE_NOMEM) {
        throw std::bad_alloc();
    }
    if (rc != SQLITE_OK) {
        *err = entry + ": " + (raw ? sqlite3_errmsg(raw) : "cannot open");
        return false;
    }
    // A package comes from strangers: no schema-defined functions, no writable schema, no
    // extensions, no triggers or views run on our behalf.
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    // No value read may be larger than a note may be: past that, memory would follow what the
    // file claims. SQLite then fails the statement with SQLITE_TOOBIG.
    sqlite3_limit(raw, SQLITE_LIMIT_LENGTH, static_cast<int>(kMaxNoteBytes));
    sqlite3_create_collation_v2(raw, "unicase", SQLITE_UTF8, nullptr, UnicaseCompare, nullptr);
    sqlite3_exec(raw,
                 "PRAGMA trusted_schema=OFF; PRAGMA cell_size_check=ON; "
                 "PRAGMA mmap_size=0",
                 nullptr, nullptr, nullptr);
    return true;
}

bool CollectionError(sqlite3* db, const std::string& entry, std::string* err) {
    if (sqlite3_errcode(db) == SQLITE_NOMEM) {
        throw SqliteOutOfMemory();
    }
    if (sqlite3_errcode(db) == SQLITE_NOTADB) {
        *err = entry + " is not an SQLite database (" + sqlite3_errmsg(db) + ")";
    } else if (sqlite3_errcode(db) == SQLITE_TOOBIG) {
        *err = entry + " holds a value (a note's fields, a note type) of more than " +
               SizeText(kMaxNoteBytes) + ", the limit of a note";
    } else {
        *err = entry + ": damaged collection (" + sqlite3_errmsg(db) + ")";
    }
    return false;
}

bool ReadNotes(const std::string& path, const std::string& entry, const ReadOptions& options,
               const NoteSink& sink, ReadInfo* info, std::string* err) {
    info->entry = entry;
    DbPtr db;
    if (!OpenCollectionFile(path, entry, &db, err)) {
        return false;
    }
    bool has_notes = false;
    if (TableExists(db.get(), "notes", &has_notes) != SQLITE_OK) {
        return CollectionError(db.get(), entry, err);
    }
    if (!has_notes) {
        *err = entry + " holds no notes table: not an Anki collection";
        return false;
    }
    // The notes point into the note types, which the caller keeps through `info`.
    auto loaded = std::make_shared<Schema>();
    info->schema = loaded;
    Schema& collection = *loaded;
    if (LoadSchema(db.get(), &collection) != SQLITE_OK) {
        return CollectionError(db.get(), entry, err);
    }
    Needs needs;
    needs.deck_names = !options.deck.empty();
    needs.note_types = true;
    if (!CheckSchema(collection, "", needs, &info->warnings, err)) {
        return false;
    }
    for (const auto& [id, deck] : collection.decks) {
        info->decks.push_back(deck.name);
    }
    std::sort(info->decks.begin(), info->decks.end());
    info->decks.erase(std::unique(info->decks.begin(), info->decks.end()), info->decks.end());

    std::set<int64_t> decks;
    const bool filter = !options.deck.empty();
    if (filter) {
        decks = DeckIds(collection, options.deck);
        if (decks.empty()) {
            *err = std::string("the ") + options.kind + " has no deck \"" + options.deck +
                   "\" (its decks: " + DeckList(collection) + ")";
            return false;
        }
    }
    std::unordered_map<int64_t, FirstCard> firsts;
    if (FirstCards(db.get(), decks, &firsts) != SQLITE_OK) {
        return CollectionError(db.get(), entry, err);
    }

    StmtPtr stmt;
    if (Prepare(db.get(), "SELECT id, mid, flds, tags FROM notes ORDER BY id", &stmt) !=
        SQLITE_OK) {
        return CollectionError(db.get(), entry, err);
    }
    Note note;
    int rc = SQLITE_OK;
    int64_t note_type = 0;
    bool first = true;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        ++info->notes_in_package;
        note.id = sqlite3_column_int64(stmt.get(), 0);
        auto card = firsts.find(note.id);
        if (filter && card == firsts.end()) {
            continue;
        }
        note.card_ord = card != firsts.end() ? card->second.ord : -1;
        note.card_flags = card != firsts.end() ? card->second.flags : 0;
        note.card_deck.clear();
        if (card != firsts.end()) {
            auto deck = collection.decks.find(card->second.deck);
            note.card_deck = deck != collection.decks.end() ? deck->second.name : std::string();
        }
        const int64_t mid = sqlite3_column_int64(stmt.get(), 1);
        auto type = collection.types.find(mid);
        note.cloze = type != collection.types.end() && type->second.cloze;
        if (first || mid != note_type) {
            // Notes of one type mostly follow each other; copy the names only on a change.
            note.type_name = type != collection.types.end() ? type->second.name : std::string();
            note.type = type != collection.types.end() ? &type->second : nullptr;
            if (type != collection.types.end()) {
                note.field_names = type->second.field_names;
            } else {
                note.field_names.clear();
            }
            note_type = mid;
            first = false;
        }
        SplitAnkiFields(ColumnView(stmt.get(), 2), &note.fields);
        std::string_view tags = ColumnView(stmt.get(), 3);
        note.tags.assign(tags.data(), tags.size());
        ++info->notes_read;
        sink(note);
    }
    if (rc != SQLITE_DONE) {
        return CollectionError(db.get(), entry, err);
    }
    return true;
}

int ReadNoteRows(sqlite3* db, std::vector<int64_t> ids,
                 std::unordered_map<int64_t, NoteRow>* notes) {
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    StmtPtr stmt;
    int rc = Prepare(db, "SELECT mid, flds, tags FROM notes WHERE id = ?1", &stmt);
    for (size_t i = 0; rc == SQLITE_OK && i < ids.size(); ++i) {
        sqlite3_reset(stmt.get());
        sqlite3_bind_int64(stmt.get(), 1, ids[i]);
        rc = sqlite3_step(stmt.get());
        if (rc == SQLITE_ROW) {
            NoteRow& note = (*notes)[ids[i]];
            note.type = sqlite3_column_int64(stmt.get(), 0);
            note.fields = SplitAnkiFields(ColumnView(stmt.get(), 1));
            note.tags = ColumnText(stmt.get(), 2);
        }
        rc = rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    return rc;
}

} // namespace deck::anki
