#include "deck/tests/apkg_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include <nlohmann/json.hpp>
#include <sqlite3.h>
#include <zip.h>
#include <zstd.h>

namespace apkg_test {

const char* const kStubText = "Please update to the latest Anki version, then import the "
                              ".colpkg/.apkg file again.";

namespace {

const char* const kOlderSchema = R"(
CREATE TABLE col (id integer PRIMARY KEY, crt integer NOT NULL, mod integer NOT NULL,
  scm integer NOT NULL, ver integer NOT NULL, dty integer NOT NULL, usn integer NOT NULL,
  ls integer NOT NULL, conf text NOT NULL, models text NOT NULL, decks text NOT NULL,
  dconf text NOT NULL, tags text NOT NULL);
CREATE TABLE notes (id integer PRIMARY KEY, guid text NOT NULL, mid integer NOT NULL,
  mod integer NOT NULL, usn integer NOT NULL, tags text NOT NULL, flds text NOT NULL,
  sfld integer NOT NULL, csum integer NOT NULL, flags integer NOT NULL, data text NOT NULL);
CREATE TABLE cards (id integer PRIMARY KEY, nid integer NOT NULL, did integer NOT NULL,
  ord integer NOT NULL, mod integer NOT NULL, usn integer NOT NULL, type integer NOT NULL,
  queue integer NOT NULL, due integer NOT NULL, ivl integer NOT NULL, factor integer NOT NULL,
  reps integer NOT NULL, lapses integer NOT NULL, left integer NOT NULL, odue integer NOT NULL,
  odid integer NOT NULL, flags integer NOT NULL, data text NOT NULL);
CREATE TABLE revlog (id integer PRIMARY KEY, cid integer NOT NULL, usn integer NOT NULL,
  ease integer NOT NULL, ivl integer NOT NULL, lastIvl integer NOT NULL,
  factor integer NOT NULL, time integer NOT NULL, type integer NOT NULL);
CREATE TABLE graves (usn integer NOT NULL, oid integer NOT NULL, type integer NOT NULL);
CREATE INDEX ix_notes_usn ON notes (usn);
CREATE INDEX ix_cards_nid ON cards (nid);
)";

const char* const kNewerSchema = R"(
CREATE TABLE notetypes (id integer NOT NULL PRIMARY KEY, name text NOT NULL COLLATE unicase,
  mtime_secs integer NOT NULL, usn integer NOT NULL, config blob NOT NULL);
CREATE UNIQUE INDEX idx_notetypes_name ON notetypes (name);
CREATE TABLE fields (ntid integer NOT NULL, ord integer NOT NULL,
  name text NOT NULL COLLATE unicase, config blob NOT NULL, PRIMARY KEY (ntid, ord))
  WITHOUT ROWID;
CREATE UNIQUE INDEX idx_fields_name_ntid ON fields (name, ntid);
CREATE TABLE templates (ntid integer NOT NULL, ord integer NOT NULL,
  name text NOT NULL COLLATE unicase, mtime_secs integer NOT NULL, usn integer NOT NULL,
  config blob NOT NULL, PRIMARY KEY (ntid, ord)) WITHOUT ROWID;
CREATE TABLE decks (id integer PRIMARY KEY NOT NULL, name text NOT NULL COLLATE unicase,
  mtime_secs integer NOT NULL, usn integer NOT NULL, common blob NOT NULL,
  kind blob NOT NULL);
CREATE UNIQUE INDEX idx_decks_name ON decks (name);
CREATE TABLE tags (tag text NOT NULL PRIMARY KEY COLLATE unicase, usn integer NOT NULL,
  collapsed boolean NOT NULL, config blob NULL) WITHOUT ROWID;
CREATE TABLE config (KEY text NOT NULL PRIMARY KEY, usn integer NOT NULL,
  mtime_secs integer NOT NULL, val blob NOT NULL) WITHOUT ROWID;
)";

// The note types of a collection: Anki's three, then the plan's own.
std::vector<TestType> Types(const PackageSpec& plan) {
    const std::string forward = "{{FrontSide}}<hr id=answer>{{Back}}";
    std::vector<TestType> types = {
        {kBasic, "Basic", 0, {"Front", "Back"}, {{"Card 1", "{{Front}}", forward}}},
        {kReversed,
         "Basic (and reversed card)",
         0,
         {"Front", "Back"},
         {{"Card 1", "{{Front}}", forward},
          {"Card 2", "{{Back}}", "{{FrontSide}}<hr id=answer>{{Front}}"}}},
        {kCloze,
         "Cloze",
         1,
         {"Text", "Back Extra"},
         {{"Cloze", "{{cloze:Text}}", "{{cloze:Text}}<br>{{Back Extra}}"}}},
    };
    types.insert(types.end(), plan.types.begin(), plan.types.end());
    return types;
}

// A protobuf length-delimited field.
std::string ProtoBytes(int number, const std::string& bytes) {
    std::string out(1, static_cast<char>(number << 3 | 2));
    for (size_t n = bytes.size();; n >>= 7) {
        out += static_cast<char>((n & 0x7f) | (n > 0x7f ? 0x80 : 0));
        if (n <= 0x7f) {
            break;
        }
    }
    return out + bytes;
}

int Unicase(void*, int na, const void* a, int nb, const void* b) {
    std::string x(static_cast<const char*>(a), na), y(static_cast<const char*>(b), nb);
    for (char& c : x) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    for (char& c : y) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return x.compare(y);
}

// A notetypes.config: the CSS (field 3) and, for cloze types, the kind (field 1).
std::string NotetypeConfig(const TestType& type) {
    std::string config;
    if (type.kind != 0) {
        config += '\x08';
        config += static_cast<char>(type.kind);
    }
    return config + ProtoBytes(3, type.css);
}

struct Db {
    sqlite3* db = nullptr;
    std::string error;
    ~Db() { sqlite3_close(db); }
    bool Exec(const std::string& sql) {
        char* text = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &text) != SQLITE_OK) {
            error = text ? text : "sqlite error";
            sqlite3_free(text);
            return false;
        }
        return true;
    }
    // Runs `sql` with the given text/integer/blob values bound in order.
    bool Run(const std::string& sql, const std::vector<std::pair<char, std::string>>& values) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            error = sqlite3_errmsg(db);
            return false;
        }
        int i = 1;
        for (const auto& [kind, value] : values) {
            if (kind == 'i') {
                sqlite3_bind_int64(stmt, i++, strtoll(value.c_str(), nullptr, 10));
            } else if (kind == 'b') {
                sqlite3_bind_blob(stmt, i++, value.data(), (int)value.size(), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_text(stmt, i++, value.data(), (int)value.size(), SQLITE_TRANSIENT);
            }
        }
        bool ok = sqlite3_step(stmt) == SQLITE_DONE;
        if (!ok) {
            error = sqlite3_errmsg(db);
        }
        sqlite3_finalize(stmt);
        return ok;
    }
};

std::string Num(int64_t v) {
    return std::to_string(v);
}

std::string Join(const std::vector<std::string>& fields) {
    std::string flds;
    for (size_t i = 0; i < fields.size(); ++i) {
        flds += (i ? "\x1f" : "") + fields[i];
    }
    return flds;
}

} // namespace

std::string BuildCollection(const PackageSpec& plan, const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::u8path(path), ignored);
    Db db;
    if (sqlite3_open(path.c_str(), &db.db) != SQLITE_OK) {
        return "cannot create " + path;
    }
    sqlite3_create_collation(db.db, "unicase", SQLITE_UTF8, nullptr, Unicase);
    const bool newer = plan.format == Format::kAnki21b;
    if (!db.Exec("PRAGMA page_size=1024; PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY") ||
        !db.Exec(kOlderSchema) || (newer && !db.Exec(kNewerSchema))) {
        return db.error;
    }

    // Deck ids: Default is 1, the others follow in the order they first appear.
    std::map<std::string, int64_t> decks = {{"Default", 1}};
    std::map<std::string, bool> filtered;
    for (const TestNote& note : plan.notes) {
        std::vector<std::string> names = {note.deck};
        for (const TestCard& card : note.cards) {
            if (!card.filtered.empty()) {
                names.push_back(card.filtered);
                filtered[card.filtered] = true;
            }
        }
        for (const std::string& name : names) {
            if (!decks.count(name)) {
                int64_t id = 1600000000000 + (int64_t)decks.size();
                decks[name] = id;
            }
        }
    }
    // The schedule's configuration, as JSON values by key.
    nlohmann::json conf = nlohmann::json::object();
    if (plan.rollover >= 0) {
        conf["rollover"] = plan.rollover;
    }
    if (plan.creation_offset) {
        conf["creationOffset"] = plan.creation_minutes_west;
    }
    if (plan.sched_ver != 0) {
        conf["schedVer"] = plan.sched_ver;
    }
    if (plan.collapse_time >= 0) {
        conf["collapseTime"] = plan.collapse_time;
    }
    nlohmann::json models = nlohmann::json::object();
    nlohmann::json deck_json = nlohmann::json::object();
    if (!newer) {
        for (const TestType& type : Types(plan)) {
            nlohmann::json flds = nlohmann::json::array();
            for (size_t i = 0; i < type.fields.size(); ++i) {
                flds.push_back({{"name", type.fields[i]}, {"ord", i}, {"sticky", false}});
            }
            nlohmann::json tmpls = nlohmann::json::array();
            for (size_t i = 0; i < type.templates.size(); ++i) {
                tmpls.push_back({{"name", type.templates[i].at(0)},
                                 {"ord", i},
                                 {"qfmt", type.templates[i].at(1)},
                                 {"afmt", type.templates[i].at(2)}});
            }
            models[Num(type.id)] = {{"id", type.id}, {"name", type.name}, {"type", type.kind},
                                    {"flds", flds},  {"tmpls", tmpls},    {"sortf", 0},
                                    {"did", 1},      {"css", type.css}};
        }
        for (const auto& [name, id] : decks) {
            deck_json[Num(id)] = {{"id", id}, {"name", name}, {"dyn", filtered[name] ? 1 : 0}};
        }
    }
    if (!db.Run("INSERT INTO col VALUES (1, ?1, 0, 0, ?2, 0, 0, 0, ?3, ?4, ?5, '{}', '{}')",
                {{'i', Num(plan.crt)},
                 {'i', newer ? "18" : "11"},
                 {'t', newer ? "" : conf.dump()},
                 {'t', newer ? "" : models.dump()},
                 {'t', newer ? "" : deck_json.dump()}})) {
        return db.error;
    }
    for (const auto& [key, value] : conf.items()) {
        if (newer && !db.Run("INSERT INTO config VALUES (?1, 0, 0, ?2)",
                             {{'t', key}, {'b', value.dump()}})) {
            return db.error;
        }
    }
    if (newer) {
        for (const TestType& type : Types(plan)) {
            if (!db.Run("INSERT INTO notetypes VALUES (?1, ?2, 0, 0, ?3)",
                        {{'i', Num(type.id)}, {'t', type.name}, {'b', NotetypeConfig(type)}})) {
                return db.error;
            }
            for (size_t i = 0; i < type.fields.size(); ++i) {
                if (!db.Run("INSERT INTO fields VALUES (?1, ?2, ?3, x'')",
                            {{'i', Num(type.id)}, {'i', Num((int64_t)i)}, {'t', type.fields[i]}})) {
                    return db.error;
                }
            }
            for (size_t t = 0; t < type.templates.size(); ++t) {
                // Template.Config: q_format (1) and a_format (2).
                std::string config =
                    ProtoBytes(1, type.templates[t].at(1)) + ProtoBytes(2, type.templates[t].at(2));
                if (!db.Run("INSERT INTO templates VALUES (?1, ?2, ?3, 0, 0, ?4)",
                            {{'i', Num(type.id)},
                             {'i', Num((int64_t)t)},
                             {'t', type.templates[t].at(0)},
                             {'b', config}})) {
                    return db.error;
                }
            }
        }
        for (const auto& [name, id] : decks) {
            std::string stored;
            for (size_t i = 0; i < name.size(); ++i) {
                if (name.compare(i, 2, "::") == 0) {
                    stored += '\x1f';
                    ++i;
                } else {
                    stored += name[i];
                }
            }
            // DeckKindContainer: normal (1) or filtered (2), each an empty message here.
            std::string kind =
                filtered[name] ? std::string("\x12\x00", 2) : std::string("\x0a\x00", 2);
            if (!db.Run("INSERT INTO decks VALUES (?1, ?2, 0, 0, x'', ?3)",
                        {{'i', Num(id)}, {'t', stored}, {'b', kind}})) {
                return db.error;
            }
        }
    }
    int64_t card_id = 1;
    for (const TestNote& note : plan.notes) {
        if (!db.Run("INSERT INTO notes VALUES (?1, ?2, ?3, 0, 0, ?6, ?4, ?5, 0, 0, '')",
                    {{'i', Num(note.id)},
                     {'t', "guid" + Num(note.id)},
                     {'i', Num(note.type)},
                     {'t', Join(note.fields)},
                     {'t', note.fields.empty() ? "" : note.fields[0]},
                     {'t', note.tags}})) {
            return db.error;
        }
        std::vector<TestCard> cards = note.cards;
        for (const TestType& type : Types(plan)) {
            if (type.id == note.type && cards.empty()) {
                cards.resize(type.templates.size());
            }
        }
        cards.resize(note.cardless ? 0 : std::max<size_t>(cards.size(), 1));
        for (size_t t = 0; t < cards.size(); ++t) {
            const TestCard& card = cards[t];
            const bool moved = !card.filtered.empty();
            if (!db.Run("INSERT INTO cards VALUES (?1, ?2, ?3, ?4, 0, 0, ?5, ?6, ?7, 0, 0, 0, 0, "
                        "0, ?8, ?9, 0, '')",
                        {{'i', Num(card_id++)},
                         {'i', Num(note.id)},
                         {'i', Num(decks[moved ? card.filtered : note.deck])},
                         {'i', Num((int64_t)t)},
                         {'i', Num(card.type)},
                         {'i', Num(card.queue)},
                         {'i', Num(card.due)},
                         {'i', Num(card.odue)},
                         {'i', Num(moved ? decks[note.deck] : 0)}})) {
                return db.error;
            }
        }
    }
    if (!plan.extra_schema.empty() && !db.Exec(plan.extra_schema)) {
        return db.error;
    }
    if (plan.wal && !db.Exec("PRAGMA journal_mode=WAL")) {
        return db.error;
    }
    return "";
}

std::string BuildLoggedCollection(const PackageSpec& plan, const std::string& path,
                                  const std::vector<std::string>& changes) {
    PackageSpec logged = plan;
    logged.wal = true;
    const std::string built = path + ".built";
    std::string error = BuildCollection(logged, built);
    Db db;
    if (!error.empty() || sqlite3_open(built.c_str(), &db.db) != SQLITE_OK) {
        return error.empty() ? "cannot open " + built : error;
    }
    if (!db.Exec("PRAGMA wal_autocheckpoint=0")) {
        return db.error;
    }
    for (const std::string& change : changes) {
        if (!db.Exec("BEGIN; " + change + "; COMMIT")) {
            return db.error;
        }
    }
    // Copied while the connection is open: closing it would fold the log into the file.
    for (const char* name : {"", "-wal"}) {
        if (!WriteFile(path + name, ReadFile(built + name))) {
            return "cannot write " + path + name;
        }
    }
    sqlite3_close(db.db);
    db.db = nullptr;
    std::error_code ignored;
    std::filesystem::remove(built, ignored);
    return "";
}

std::string ZstdCompress(const std::string& data) {
    std::string out(ZSTD_compressBound(data.size()), '\0');
    size_t n = ZSTD_compress(&out[0], out.size(), data.data(), data.size(), 3);
    out.resize(ZSTD_isError(n) ? 0 : n);
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), (std::streamsize)data.size());
    return out.good() ? 1 : 0;
}

std::string CollectionEntry(const PackageSpec& plan) {
    std::string bytes = CollectionBytes(plan);
    return plan.format == Format::kAnki21b ? ZstdCompress(bytes) : bytes;
}

std::string CollectionBytes(const PackageSpec& plan) {
    // A collection built where SQLite wants it, in a file, then read back.
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::temp_directory_path(ec);
    std::random_device random;
    const std::string name =
        (folder / ("apkg-builder-" + std::to_string(random()) + std::to_string(random()))).string();
    std::string error = BuildCollection(plan, name);
    std::string bytes = error.empty() ? ReadFile(name) : "";
    fs::remove(name, ec);
    fs::remove(name + "-wal", ec);
    return bytes;
}

std::string WriteZip(const std::string& path, const std::vector<Entry>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        return "cannot create " + path;
    }
    for (const Entry& entry : entries) {
        zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
        zip_int64_t index =
            source ? zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            zip_source_free(source);
            std::string text = zip_strerror(archive);
            zip_discard(archive);
            return text;
        }
        if (entry.store) {
            zip_set_file_compression(archive, (zip_uint64_t)index, ZIP_CM_STORE, 0);
        }
    }
    if (zip_close(archive) != 0) {
        std::string text = zip_strerror(archive);
        zip_discard(archive);
        return text;
    }
    return "";
}

std::vector<Entry> PackageEntries(const PackageSpec& plan) {
    std::vector<Entry> entries;
    switch (plan.format) {
    case Format::kAnki2:
        entries.push_back({"collection.anki2", CollectionEntry(plan)});
        break;
    case Format::kAnki21:
        entries.push_back({"collection.anki21", CollectionEntry(plan)});
        break;
    case Format::kAnki21b:
        if (plan.stub) {
            PackageSpec stub;
            stub.format = Format::kAnki2;
            stub.notes.push_back({1, kBasic, {kStubText, ""}});
            entries.push_back({"collection.anki2", CollectionEntry(stub)});
        }
        entries.push_back({"collection.anki21b", CollectionEntry(plan), true});
        break;
    }
    if (plan.media) {
        if (plan.format == Format::kAnki21b) {
            // A MediaEntries protobuf: one entry (field 1) with the name (field 1).
            std::string item = std::string("\x0a\x09", 2) + "paris.jpg";
            std::string list = "\x0a" + std::string(1, (char)item.size()) + item;
            entries.push_back({"media", ZstdCompress(list), true});
        } else {
            entries.push_back({"media", R"({"0": "paris.jpg"})"});
        }
        entries.push_back({"0", std::string("\xff\xd8\xff\xe0 not really a JPEG", 22)});
    }
    return entries;
}

std::string BuildPackage(const PackageSpec& plan, const std::string& path) {
    return WriteZip(path, PackageEntries(plan));
}

PackageSpec SamplePackage(Format format) {
    PackageSpec plan;
    plan.format = format;
    plan.media = true;
    plan.notes = {
        {1500000000001, kBasic, {"chat", "cat"}, "French"},
        {1500000000002, kReversed, {"<b>chien</b>", "dog&nbsp;&amp; puppy"}, "French"},
        {1500000000003,
         kCloze,
         {"{{c1::Paris::city}} is the capital of France", "Europe"},
         "Geography::Capitals"},
        {1500000000004,
         kBasic,
         {"Eiffel Tower<br><img src=\"paris.jpg\">", "Paris [sound:p.mp3]"},
         "Geography::Capitals"},
    };
    return plan;
}

} // namespace apkg_test
