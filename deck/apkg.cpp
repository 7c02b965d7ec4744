// Reading Anki packages: libzip for the archive, libzstd for collection.anki21b, SQLite for
// the collection (its note types and decks come from anki_schema.cpp).
#include "deck/apkg.h"

#include "deck/anki_schema.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include <fcntl.h>
#include <unistd.h>

#include <sqlite3.h>
#include <zip.h>
#include <zstd.h>

namespace apkg {
namespace {

const char* const kCollections[] = {"collection.anki21b", "collection.anki21", "collection.anki2"};
constexpr char kFieldSep = '\x1f';

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
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;
using ZstdPtr = std::unique_ptr<ZSTD_DStream, ZstdCloser>;

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

int SqlError(sqlite3* db, const std::string& entry, std::string* message) {
    int code = sqlite3_errcode(db);
    if (code == SQLITE_NOTADB) {
        *message = entry + " is not an SQLite database (" + sqlite3_errmsg(db) + ")";
        return kNotSqlite;
    }
    *message = entry + ": damaged collection (" + sqlite3_errmsg(db) + ")";
    return kBadCollection;
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
    Schema collection;
    if (LoadSchema(db.get(), &collection) != SQLITE_OK) {
        return SqlError(db.get(), entry, message);
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
            return SqlError(db.get(), entry, message);
        }
    }

    StmtPtr stmt;
    if (Prepare(db.get(), "SELECT id, mid, flds FROM notes ORDER BY id", &stmt) != SQLITE_OK) {
        return SqlError(db.get(), entry, message);
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
        return SqlError(db.get(), entry, message);
    }
    return kOk;
}

// Unpacks the newest collection of the archive into a private temporary file, checks it and
// hands it to `use`; the file is removed when `use` returns.
int UseArchive(zip_t* archive, uint64_t max_bytes, const CollectionUse& use, std::string* message) {
    const char* name = nullptr;
    zip_int64_t index = FindCollection(archive, &name);
    if (index < 0) {
        *message = "a ZIP archive without an Anki collection (no collection.anki21b, "
                   "collection.anki21 or collection.anki2 in it)";
        return kNoCollection;
    }
    TempFile copy;
    if (!copy.Create()) {
        *message = std::string("cannot create a temporary file (") + strerror(errno) + ")";
        return kIoError;
    }
    int result = UnpackCollection(archive, index, name, max_bytes, &copy, message);
    if (result == kOk) {
        result = CheckSqliteHeader(copy.path(), name, message);
    }
    if (result == kOk) {
        result = use(copy.path(), name);
    }
    return result;
}

int ReadArchive(zip_t* archive, const ReadOptions& options, const NoteSink& sink, ReadInfo* info,
                std::string* message) {
    return UseArchive(
        archive, options.max_bytes,
        [&](const std::string& copy, const std::string& entry) {
            info->entry = entry;
            return ReadCollection(copy, entry, options, sink, info, message);
        },
        message);
}

} // namespace

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

int WithPackageCollection(const std::string& path, uint64_t max_bytes, const CollectionUse& use,
                          std::string* message) {
    int error = 0;
    ZipPtr archive(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        return OpenError(error, LooksLikeZip(path) != 0, message);
    }
    return UseArchive(archive.get(), max_bytes, use, message);
}

int ReadCollectionFile(const std::string& path, const std::string& entry,
                       const ReadOptions& options, const NoteSink& sink, ReadInfo* info,
                       std::string* message) {
    info->entry = entry;
    return ReadCollection(path, entry, options, sink, info, message);
}

int OpenCollectionFile(const std::string& path, const std::string& entry, DbPtr* db,
                       std::string* message) {
    return OpenCollection(path, entry, db, message);
}

int CollectionError(sqlite3* db, const std::string& entry, std::string* message) {
    return SqlError(db, entry, message);
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
