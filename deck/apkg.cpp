// Reading Anki packages: libzip for the archive, libzstd for collection.anki21b, SQLite for
// the collection and nlohmann-json for the older collections' note types and decks.
#include "deck/apkg.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sqlite3.h>
#include <zip.h>
#include <zstd.h>

namespace apkg {
namespace {

const char* const kCollections[] = {"collection.anki21b", "collection.anki21", "collection.anki2"};
constexpr char kFieldSep = '\x1f';
// Anki's note types and decks take kilobytes of JSON; a parse tree of much more than this
// would only serve to exhaust memory, so larger texts are left unread.
constexpr int kMaxJsonBytes = 64 << 20;

std::string SizeText(uint64_t bytes) {
    char text[64];
    if (bytes >= (1ull << 30) && bytes % (1ull << 30) == 0) {
        snprintf(text, sizeof text, "%llu GiB", (unsigned long long)(bytes >> 30));
    } else if (bytes >= (1ull << 20) && bytes % (1ull << 20) == 0) {
        snprintf(text, sizeof text, "%llu MiB", (unsigned long long)(bytes >> 20));
    } else {
        snprintf(text, sizeof text, "%llu bytes", (unsigned long long)bytes);
    }
    return text;
}

// A private temporary file in $TMPDIR (or /tmp), removed when the owner goes.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd_ >= 0) {
            close(fd_);
        }
        if (!path_.empty()) {
            unlink(path_.c_str());
        }
    }
    int Create() {
        const char* dir = getenv("TMPDIR");
        std::string pattern = (dir && *dir) ? dir : "/tmp";
        pattern += "/tollamy-apkg-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        fd_ = mkstemp(name.data()); // mode 0600
        if (fd_ < 0) {
            return 0;
        }
        path_ = name.data();
        return 1;
    }
    int Write(const void* data, size_t size) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            ssize_t n = write(fd_, p, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return 0;
            }
            p += n;
            size -= static_cast<size_t>(n);
        }
        return 1;
    }
    int PatchAt(off_t offset, const void* data, size_t size) {
        return pwrite(fd_, data, size, offset) == static_cast<ssize_t>(size);
    }
    int Finish() {
        int ok = close(fd_) == 0;
        fd_ = -1;
        return ok;
    }
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};
struct ZstdCloser {
    void operator()(ZSTD_DStream* s) const { ZSTD_freeDStream(s); }
};
struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StmtCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;
using ZstdPtr = std::unique_ptr<ZSTD_DStream, ZstdCloser>;
using DbPtr = std::unique_ptr<sqlite3, SqliteCloser>;
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtCloser>;

std::string ZipErrorText(zip_error_t* error) {
    std::string text = zip_error_strerror(error);
    return text;
}

int OpenError(int code, bool begins_like_zip, std::string* message) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string why = ZipErrorText(&error);
    zip_error_fini(&error);
    if (code == ZIP_ER_NOZIP && begins_like_zip) {
        // The entries begin as in a ZIP archive, but the central directory at the end is
        // missing: the file was cut short.
        *message = "truncated or damaged ZIP archive (no central directory at its end)";
    } else if (code == ZIP_ER_NOZIP) {
        *message = "not a ZIP archive (" + why + ")";
    } else if (code == ZIP_ER_OPEN || code == ZIP_ER_READ || code == ZIP_ER_NOENT) {
        *message = "cannot read the package (" + why + ")";
        return kIoError;
    } else {
        *message = "truncated or damaged ZIP archive (" + why + ")";
    }
    return kNotZip;
}

// Finds the newest collection in the archive. Returns its index or -1.
zip_int64_t FindCollection(zip_t* archive, const char** name) {
    for (const char* candidate : kCollections) {
        zip_int64_t index = zip_name_locate(archive, candidate, 0);
        if (index >= 0) {
            *name = candidate;
            return index;
        }
    }
    return -1;
}

std::string LimitText(const std::string& entry, uint64_t stated, uint64_t limit) {
    return entry + " unpacks to " + (stated ? SizeText(stated) : "more") + " than the limit of " +
           SizeText(limit) + " (a damaged package or a zip bomb)";
}

// Copies the collection entry into `out`, unpacking Zstandard for collection.anki21b.
// Holds the unpacked size to `limit`, both as stated and as really produced.
int UnpackCollection(zip_t* archive, zip_int64_t index, const std::string& entry, uint64_t limit,
                     TempFile* out, std::string* message) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) {
        *message = "cannot read " + entry + " (" + zip_strerror(archive) + ")";
        return kNotZip;
    }
    const bool zstd = entry == kCollections[0];
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > limit) {
        // For a Zstandard entry the stated size is the compressed stream; it can only be
        // larger than the collection if the stream is damaged or a bomb.
        *message = entry + " states " + SizeText(stat.size) + " uncompressed, more than the " +
                   "limit of " + SizeText(limit) + " (a damaged package or a zip bomb)";
        return kTooLarge;
    }
    ZipFilePtr file(zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0));
    if (!file) {
        *message = "cannot read " + entry + " (" + zip_strerror(archive) + ")";
        return kNotZip;
    }
    ZstdPtr stream;
    if (zstd) {
        stream.reset(ZSTD_createDStream());
        if (!stream || ZSTD_isError(ZSTD_initDStream(stream.get()))) {
            *message = "out of memory for the Zstandard decoder";
            return kIoError;
        }
    }
    std::vector<char> in(1 << 16);
    std::vector<char> unpacked(zstd ? ZSTD_DStreamOutSize() : 0);
    uint64_t written = 0;
    uint64_t read_total = 0;
    size_t last_frame = 1; // ZSTD_decompressStream's hint: 0 once a frame is complete
    int first_chunk = 1;
    // Decodes what `input` holds into the copy; *more tells whether the output was full.
    auto decode = [&](ZSTD_inBuffer* input, int* more) {
        ZSTD_outBuffer output = {unpacked.data(), unpacked.size(), 0};
        size_t hint = ZSTD_decompressStream(stream.get(), &output, input);
        if (ZSTD_isError(hint)) {
            *message =
                entry + ": the Zstandard stream is damaged (" + ZSTD_getErrorName(hint) + ")";
            return static_cast<int>(kBadZstd);
        }
        last_frame = hint;
        written += output.pos;
        if (more) {
            *more = output.pos == output.size;
        }
        if (written > limit) {
            *message = LimitText(entry, 0, limit);
            return static_cast<int>(kTooLarge);
        }
        if (output.pos && !out->Write(unpacked.data(), output.pos)) {
            *message = std::string("cannot write the temporary copy (") + strerror(errno) + ")";
            return static_cast<int>(kIoError);
        }
        return static_cast<int>(kOk);
    };
    for (;;) {
        zip_int64_t got = zip_fread(file.get(), in.data(), in.size());
        if (got < 0) {
            *message = "cannot unpack " + entry + ": truncated or damaged ZIP archive (" +
                       zip_file_strerror(file.get()) + ")";
            return kNotZip;
        }
        if (got == 0) {
            break;
        }
        read_total += static_cast<uint64_t>(got);
        if (!zstd) {
            if (read_total > limit) {
                *message = LimitText(entry, 0, limit);
                return kTooLarge;
            }
            if (!out->Write(in.data(), static_cast<size_t>(got))) {
                *message = std::string("cannot write the temporary copy (") + strerror(errno) + ")";
                return kIoError;
            }
            continue;
        }
        if (first_chunk) {
            first_chunk = 0;
            unsigned long long content = ZSTD_getFrameContentSize(in.data(), (size_t)got);
            if (content == ZSTD_CONTENTSIZE_ERROR) {
                *message = entry + " is not a Zstandard stream";
                return kBadZstd;
            }
            if (content != ZSTD_CONTENTSIZE_UNKNOWN && content > limit) {
                *message = entry + " states " + SizeText(content) + " uncompressed, more than " +
                           "the limit of " + SizeText(limit) + " (a damaged package or a zip bomb)";
                return kTooLarge;
            }
        }
        ZSTD_inBuffer input = {in.data(), static_cast<size_t>(got), 0};
        while (input.pos < input.size) {
            int result = decode(&input, nullptr);
            if (result != kOk) {
                return result;
            }
        }
    }
    if (zstd) {
        // The decoder may still hold output for a frame whose input is all consumed.
        int more = 1;
        while (last_frame != 0 && read_total > 0 && more) {
            ZSTD_inBuffer input = {nullptr, 0, 0};
            int result = decode(&input, &more);
            if (result != kOk) {
                return result;
            }
        }
        if (read_total == 0 || last_frame != 0) {
            *message = entry + ": the Zstandard stream ends before its frame does";
            return kBadZstd;
        }
    }
    if (!out->Finish()) {
        *message = std::string("cannot write the temporary copy (") + strerror(errno) + ")";
        return kIoError;
    }
    return kOk;
}

// Checks the SQLite header of the copy. A collection saved in WAL mode is switched to the
// rollback journal in the private copy, so that a read-only open needs no -wal or -shm file.
int CheckSqliteHeader(const std::string& path, const std::string& entry, std::string* message) {
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

int OpenCollection(const std::string& path, const std::string& entry, DbPtr* db,
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

int Prepare(sqlite3* db, const char* sql, StmtPtr* stmt) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    stmt->reset(raw);
    return rc;
}

int SqlError(sqlite3* db, const std::string& entry, std::string* message) {
    int code = sqlite3_errcode(db);
    if (code == SQLITE_NOTADB) {
        *message = entry + " is not an SQLite database (" + sqlite3_errmsg(db) + ")";
        return kNotSqlite;
    }
    *message = entry + ": damaged collection (" + sqlite3_errmsg(db) + ")";
    return kBadCollection;
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    int size = sqlite3_column_bytes(stmt, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
                : std::string();
}

struct NoteType {
    std::string name;
    bool cloze = false;
    std::vector<std::pair<int64_t, std::string>> fields; // (ord, name)
    std::vector<std::string> names;                      // the names in field order
};

struct Collection {
    std::map<int64_t, NoteType> types;
    std::map<int64_t, std::string> decks; // id -> Parent::Child
};

int TableExists(sqlite3* db, const char* name, int* exists) {
    StmtPtr stmt;
    int rc =
        Prepare(db, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name=?1", &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    sqlite3_bind_text(stmt.get(), 1, name, -1, SQLITE_STATIC);
    rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_ROW) {
        return rc;
    }
    *exists = sqlite3_column_int(stmt.get(), 0) > 0;
    return SQLITE_OK;
}

int64_t JsonId(const nlohmann::json& value, const std::string& key) {
    if (value.is_number_integer()) {
        return value.get<int64_t>();
    }
    return strtoll(key.c_str(), nullptr, 10);
}

nlohmann::json ParseJsonColumn(sqlite3_stmt* stmt, int column) {
    if (sqlite3_column_bytes(stmt, column) > kMaxJsonBytes) {
        return nlohmann::json();
    }
    return nlohmann::json::parse(ColumnText(stmt, column), nullptr, false);
}

// Note types and decks of the older collections: JSON in col.models and col.decks.
int LoadJsonTables(sqlite3* db, Collection* collection) {
    StmtPtr stmt;
    int rc = Prepare(db, "SELECT models, decks FROM col LIMIT 1", &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE) {
        return SQLITE_OK;
    }
    if (rc != SQLITE_ROW) {
        return rc;
    }
    nlohmann::json models = ParseJsonColumn(stmt.get(), 0);
    if (models.is_object()) {
        for (auto& [key, model] : models.items()) {
            if (!model.is_object()) {
                continue;
            }
            NoteType type;
            auto name = model.find("name");
            if (name != model.end() && name->is_string()) {
                type.name = name->get<std::string>();
            }
            auto kind = model.find("type");
            type.cloze =
                kind != model.end() && kind->is_number_integer() && kind->get<int64_t>() == 1;
            auto fields = model.find("flds");
            if (fields != model.end() && fields->is_array()) {
                int64_t position = 0;
                for (auto& field : *fields) {
                    std::string field_name;
                    int64_t ord = position++;
                    if (field.is_object()) {
                        auto n = field.find("name");
                        if (n != field.end() && n->is_string()) {
                            field_name = n->get<std::string>();
                        }
                        auto o = field.find("ord");
                        if (o != field.end() && o->is_number_integer()) {
                            ord = o->get<int64_t>();
                        }
                    }
                    type.fields.emplace_back(ord, field_name);
                }
            }
            auto id = model.find("id");
            collection->types[JsonId(id != model.end() ? *id : nlohmann::json(), key)] = type;
        }
    }
    nlohmann::json decks = ParseJsonColumn(stmt.get(), 1);
    if (decks.is_object()) {
        for (auto& [key, deck] : decks.items()) {
            if (!deck.is_object()) {
                continue;
            }
            auto name = deck.find("name");
            auto id = deck.find("id");
            if (name != deck.end() && name->is_string()) {
                collection->decks[JsonId(id != deck.end() ? *id : nlohmann::json(), key)] =
                    name->get<std::string>();
            }
        }
    }
    return SQLITE_OK;
}

// Note types and decks of the newer collections: the notetypes, fields and decks tables.
int LoadTables(sqlite3* db, Collection* collection) {
    StmtPtr stmt;
    int rc = Prepare(db, "SELECT id, name, config FROM notetypes", &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        NoteType& type = collection->types[sqlite3_column_int64(stmt.get(), 0)];
        type.name = ColumnText(stmt.get(), 1);
        const void* config = sqlite3_column_blob(stmt.get(), 2);
        int size = sqlite3_column_bytes(stmt.get(), 2);
        type.cloze = config && NotetypeKind(static_cast<const unsigned char*>(config),
                                            static_cast<size_t>(size)) == 1;
    }
    if (rc != SQLITE_DONE) {
        return rc;
    }
    rc = Prepare(db, "SELECT ntid, ord, name FROM fields", &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        auto type = collection->types.find(sqlite3_column_int64(stmt.get(), 0));
        if (type != collection->types.end()) {
            type->second.fields.emplace_back(sqlite3_column_int64(stmt.get(), 1),
                                             ColumnText(stmt.get(), 2));
        }
    }
    if (rc != SQLITE_DONE) {
        return rc;
    }
    int has_decks = 0;
    rc = TableExists(db, "decks", &has_decks);
    if (rc != SQLITE_OK || !has_decks) {
        return rc;
    }
    rc = Prepare(db, "SELECT id, name FROM decks", &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        std::string name = ColumnText(stmt.get(), 1);
        std::string shown;
        for (char c : name) {
            if (c == kFieldSep) {
                shown += "::";
            } else {
                shown += c;
            }
        }
        collection->decks[sqlite3_column_int64(stmt.get(), 0)] = shown;
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

std::string Folded(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return folded;
}

// The ids of the deck named `name` (letters compared without case, as Anki does) and of its
// subdecks.
std::set<int64_t> DeckIds(const Collection& collection, const std::string& name) {
    std::string wanted = Folded(name);
    std::set<int64_t> ids;
    for (const auto& [id, deck] : collection.decks) {
        std::string folded = Folded(deck);
        if (folded == wanted ||
            (folded.size() > wanted.size() + 2 && folded.compare(0, wanted.size(), wanted) == 0 &&
             folded.compare(wanted.size(), 2, "::") == 0)) {
            ids.insert(id);
        }
    }
    return ids;
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

int ReadCollection(const std::string& path, const std::string& entry, const ReadOptions& options,
                   const NoteSink& sink, ReadInfo* info, std::string* message) {
    DbPtr db;
    int result = OpenCollection(path, entry, &db, message);
    if (result != kOk) {
        return result;
    }
    int has_notes = 0;
    if (TableExists(db.get(), "notes", &has_notes) != SQLITE_OK) {
        return SqlError(db.get(), entry, message);
    }
    if (!has_notes) {
        *message = entry + " holds no notes table: not an Anki collection";
        return kBadCollection;
    }
    Collection collection;
    int has_notetypes = 0;
    int rc = TableExists(db.get(), "notetypes", &has_notetypes);
    if (rc == SQLITE_OK && has_notetypes) {
        rc = LoadTables(db.get(), &collection);
    }
    if (rc == SQLITE_OK && collection.types.empty()) {
        int has_col = 0;
        rc = TableExists(db.get(), "col", &has_col);
        if (rc == SQLITE_OK && has_col) {
            rc = LoadJsonTables(db.get(), &collection);
        }
    }
    if (rc != SQLITE_OK) {
        return SqlError(db.get(), entry, message);
    }
    for (auto& [id, type] : collection.types) {
        std::stable_sort(type.fields.begin(), type.fields.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& field : type.fields) {
            type.names.push_back(field.second);
        }
    }
    for (const auto& [id, deck] : collection.decks) {
        info->decks.push_back(deck);
    }
    std::sort(info->decks.begin(), info->decks.end());
    info->decks.erase(std::unique(info->decks.begin(), info->decks.end()), info->decks.end());

    std::set<int64_t> wanted;
    const bool filter = !options.deck.empty();
    if (filter) {
        std::set<int64_t> decks = DeckIds(collection, options.deck);
        if (decks.empty()) {
            std::string names;
            for (const std::string& deck : info->decks) {
                names += names.empty() ? "" : ", ";
                names += "\"" + deck + "\"";
            }
            *message = "the package has no deck \"" + options.deck +
                       "\" (its decks: " + (names.empty() ? "none" : names) + ")";
            return kNoSuchDeck;
        }
        if (NotesInDecks(db.get(), decks, &wanted) != SQLITE_OK) {
            return SqlError(db.get(), entry, message);
        }
    }

    StmtPtr stmt;
    if (Prepare(db.get(), "SELECT id, mid, flds FROM notes ORDER BY id", &stmt) != SQLITE_OK) {
        return SqlError(db.get(), entry, message);
    }
    Note note;
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
                note.field_names = type->second.names;
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
        return SqlError(db.get(), entry, message);
    }
    return kOk;
}

int ReadArchive(zip_t* archive, const ReadOptions& options, const NoteSink& sink, ReadInfo* info,
                std::string* message) {
    const char* name = nullptr;
    zip_int64_t index = FindCollection(archive, &name);
    if (index < 0) {
        *message = "a ZIP archive without an Anki collection (no collection.anki21b, "
                   "collection.anki21 or collection.anki2 in it)";
        return kNoCollection;
    }
    info->entry = name;
    TempFile copy;
    if (!copy.Create()) {
        *message = std::string("cannot create a temporary file (") + strerror(errno) + ")";
        return kIoError;
    }
    int result = UnpackCollection(archive, index, name, options.max_bytes, &copy, message);
    if (result == kOk) {
        result = CheckSqliteHeader(copy.path(), name, message);
    }
    if (result == kOk) {
        result = ReadCollection(copy.path(), name, options, sink, info, message);
    }
    return result;
}

} // namespace

int NotetypeKind(const unsigned char* config, size_t size) {
    size_t pos = 0;
    auto varint = [&](uint64_t* value) {
        *value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (pos >= size) {
                return 0;
            }
            unsigned char byte = config[pos++];
            *value |= static_cast<uint64_t>(byte & 0x7f) << shift;
            if (!(byte & 0x80)) {
                return 1;
            }
        }
        return 0;
    };
    while (pos < size) {
        uint64_t key = 0;
        uint64_t value = 0;
        if (!varint(&key)) {
            return 0;
        }
        switch (key & 7) {
        case 0:
            if (!varint(&value)) {
                return 0;
            }
            if ((key >> 3) == 1) {
                return value == 1 ? 1 : 0;
            }
            break;
        case 1:
            if (size - pos < 8) {
                return 0;
            }
            pos += 8;
            break;
        case 2:
            if (!varint(&value) || value > size - pos) {
                return 0;
            }
            pos += static_cast<size_t>(value);
            break;
        case 5:
            if (size - pos < 4) {
                return 0;
            }
            pos += 4;
            break;
        default:
            return 0;
        }
    }
    return 0;
}

int LooksLikeZip(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        return 0;
    }
    unsigned char head[4] = {0, 0, 0, 0};
    size_t got = fread(head, 1, 4, file);
    fclose(file);
    return got == 4 && head[0] == 'P' && head[1] == 'K' &&
           ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
}

int IsPackage(const std::string& path) {
    int error = 0;
    ZipPtr archive(zip_open(path.c_str(), ZIP_RDONLY, &error));
    const char* name = nullptr;
    return archive && FindCollection(archive.get(), &name) >= 0;
}

int ReadPackage(const std::string& path, const ReadOptions& options, const NoteSink& sink,
                ReadInfo* info, std::string* message) {
    int error = 0;
    ZipPtr archive(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        return OpenError(error, LooksLikeZip(path) != 0, message);
    }
    return ReadArchive(archive.get(), options, sink, info, message);
}

int ReadPackageBuffer(const void* data, size_t size, const ReadOptions& options,
                      const NoteSink& sink, ReadInfo* info, std::string* message) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (!source) {
        *message = "out of memory";
        zip_error_fini(&error);
        return kIoError;
    }
    ZipPtr archive(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        zip_source_free(source);
        int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        const unsigned char* head = static_cast<const unsigned char*>(data);
        return OpenError(code, size >= 4 && memcmp(head, "PK\x03\x04", 4) == 0, message);
    }
    zip_error_fini(&error);
    return ReadArchive(archive.get(), options, sink, info, message);
}

} // namespace apkg
