// The collection of an Anki package or profile through SQLite: a private copy opened read-only
// and defensively, and its notes in note-id order (its note types and decks come from
// anki_schema.cpp).
#include "deck/apkg_collection.h"

#include "deck/anki_schema.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include <fcntl.h>
#include <unistd.h>

#include <sqlite3.h>

namespace apkg {
namespace {

constexpr char kFieldSep = '\x1f';

// Anki declares deck, note-type and field names with the collation "unicase", which only
// Anki registers. This stand-in compares with ASCII letters folded; the reader never sorts
// or matches by these columns, it only needs the schema to open.
int UnicaseCompare(void*, int size_a, const void* a, int size_b, const void* b) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    int n = std::min(size_a, size_b);
    for (int i = 0; i < n; ++i) {
        int cx = (x[i] >= 'A' && x[i] <= 'Z') ? x[i] + 32 : x[i];
        int cy = (y[i] >= 'A' && y[i] <= 'Z') ? y[i] + 32 : y[i];
        if (cx != cy) {
            return cx < cy ? -1 : 1;
        }
    }
    return size_a == size_b ? 0 : (size_a < size_b ? -1 : 1);
}

// The notes with a card in one of `decks`. A card moved into a filtered deck counts for its
// home deck (odid).
int NotesInDecks(sqlite3* db, const std::set<int64_t>& decks, std::set<int64_t>* notes) {
    StmtPtr stmt;
    int rc = Prepare(db, "SELECT nid, did, odid FROM cards", &stmt);
    int has_odid = rc == SQLITE_OK;
    if (!has_odid) {
        rc = Prepare(db, "SELECT nid, did FROM cards", &stmt);
        if (rc != SQLITE_OK) {
            return rc;
        }
    }
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        int64_t deck = sqlite3_column_int64(stmt.get(), 1);
        if (has_odid && sqlite3_column_int64(stmt.get(), 2) != 0) {
            deck = sqlite3_column_int64(stmt.get(), 2);
        }
        if (decks.count(deck)) {
            notes->insert(sqlite3_column_int64(stmt.get(), 0));
        }
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

} // namespace

int PrepareCollectionCopy(const std::string& path, const std::string& entry, std::string* message) {
    int fd = open(path.c_str(), O_RDWR);
    if (fd < 0) {
        *message = std::string("cannot open the temporary copy (") + strerror(errno) + ")";
        return kIoError;
    }
    unsigned char header[100];
    ssize_t got = pread(fd, header, sizeof header, 0);
    int result = kOk;
    if (got < 100 || memcmp(header, "SQLite format 3", 16) != 0) {
        *message = entry + " is not an SQLite database";
        result = kNotSqlite;
    } else if (header[18] == 2 || header[19] == 2) {
        const unsigned char legacy[2] = {1, 1};
        if (pwrite(fd, legacy, 2, 18) != 2) {
            *message = std::string("cannot write the temporary copy (") + strerror(errno) + ")";
            result = kIoError;
        }
    }
    close(fd);
    return result;
}

int OpenCollectionFile(const std::string& path, const std::string& entry, DbPtr* db,
                       std::string* message) {
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    db->reset(raw);
    if (rc != SQLITE_OK) {
        *message = entry + ": " + (raw ? sqlite3_errmsg(raw) : "cannot open");
        return kBadCollection;
    }
    // A package comes from strangers: no schema-defined functions, no writable schema, no
    // extensions, no triggers or views run on our behalf.
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_create_collation_v2(raw, "unicase", SQLITE_UTF8, nullptr, UnicaseCompare, nullptr);
    sqlite3_exec(raw,
                 "PRAGMA trusted_schema=OFF; PRAGMA cell_size_check=ON; "
                 "PRAGMA mmap_size=0",
                 nullptr, nullptr, nullptr);
    return kOk;
}

int CollectionError(sqlite3* db, const std::string& entry, std::string* message) {
    int code = sqlite3_errcode(db);
    if (code == SQLITE_NOTADB) {
        *message = entry + " is not an SQLite database (" + sqlite3_errmsg(db) + ")";
        return kNotSqlite;
    }
    *message = entry + ": damaged collection (" + sqlite3_errmsg(db) + ")";
    return kBadCollection;
}

int ReadCollectionFile(const std::string& path, const std::string& entry,
                       const ReadOptions& options, const NoteSink& sink, ReadInfo* info,
                       std::string* message) {
    info->entry = entry;
    DbPtr db;
    int result = OpenCollectionFile(path, entry, &db, message);
    if (result != kOk) {
        return result;
    }
    int has_notes = 0;
    if (TableExists(db.get(), "notes", &has_notes) != SQLITE_OK) {
        return CollectionError(db.get(), entry, message);
    }
    if (!has_notes) {
        *message = entry + " holds no notes table: not an Anki collection";
        return kBadCollection;
    }
    Schema collection;
    if (LoadSchema(db.get(), &collection) != SQLITE_OK) {
        return CollectionError(db.get(), entry, message);
    }
    for (const auto& [id, deck] : collection.decks) {
        info->decks.push_back(deck.name);
    }
    std::sort(info->decks.begin(), info->decks.end());
    info->decks.erase(std::unique(info->decks.begin(), info->decks.end()), info->decks.end());

    std::set<int64_t> wanted;
    const bool filter = !options.deck.empty();
    if (filter) {
        std::set<int64_t> decks = DeckIds(collection, options.deck);
        if (decks.empty()) {
            *message = std::string("the ") + options.kind + " has no deck \"" + options.deck +
                       "\" (its decks: " + DeckList(collection) + ")";
            return kNoSuchDeck;
        }
        if (NotesInDecks(db.get(), decks, &wanted) != SQLITE_OK) {
            return CollectionError(db.get(), entry, message);
        }
    }

    StmtPtr stmt;
    if (Prepare(db.get(), "SELECT id, mid, flds FROM notes ORDER BY id", &stmt) != SQLITE_OK) {
        return CollectionError(db.get(), entry, message);
    }
    Note note;
    int rc = SQLITE_OK;
    int64_t note_type = 0;
    bool first = true;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        ++info->notes_in_package;
        note.id = sqlite3_column_int64(stmt.get(), 0);
        if (filter && !wanted.count(note.id)) {
            continue;
        }
        const int64_t mid = sqlite3_column_int64(stmt.get(), 1);
        auto type = collection.types.find(mid);
        note.cloze = type != collection.types.end() && type->second.cloze;
        if (first || mid != note_type) {
            // Notes of one type mostly follow each other; copy the names only on a change.
            note.type_name = type != collection.types.end() ? type->second.name : std::string();
            if (type != collection.types.end()) {
                note.field_names = type->second.field_names;
            } else {
                note.field_names.clear();
            }
            note_type = mid;
            first = false;
        }
        note.fields.clear();
        const unsigned char* text = sqlite3_column_text(stmt.get(), 2);
        size_t size = static_cast<size_t>(sqlite3_column_bytes(stmt.get(), 2));
        const char* p = reinterpret_cast<const char*>(text ? text : (const unsigned char*)"");
        const char* end = p + (text ? size : 0);
        for (;;) {
            const char* sep = static_cast<const char*>(memchr(p, kFieldSep, end - p));
            note.fields.emplace_back(p, sep ? sep : end);
            if (!sep) {
                break;
            }
            p = sep + 1;
        }
        ++info->notes_read;
        if (sink(note) != 0) {
            return kStopped;
        }
    }
    if (rc != SQLITE_DONE) {
        return CollectionError(db.get(), entry, message);
    }
    return kOk;
}

} // namespace apkg
