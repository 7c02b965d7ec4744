// Uses each library that tollamy-deck links the way the tool does, and prints what it saw as
// "key: value" lines: versions, SQLite's compile options and its answers to queries whose
// results depend on those options, the sizes and checksums of what zstd and libzip wrote, and
// uchardet's guess for each file given. Built natively against Debian's libraries and for
// Windows against scripts/windows-libs' prefix, the two outputs must agree
// (tests/scripts/windows-libs-check.sh). The status is 1 when a round trip fails.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <sqlite3.h>
#include <uchardet/uchardet.h>
#include <zip.h>
#include <zstd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool ok = true;

void Fail(const std::string& what) {
    std::printf("FAILED: %s\n", what.c_str());
    ok = false;
}

// FNV-1a: a checksum that is the same on every platform.
uint64_t Fnv(const std::string& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        h = (h ^ c) * 0x100000001b3ull;
    }
    return h;
}

// Text like a collection's: note fields joined by 0x1F, in a JSON document.
std::string SampleText() {
    nlohmann::json notes = nlohmann::json::array();
    for (int i = 0; i < 400; ++i) {
        notes.push_back({{"id", 1700000000000 + i},
                         {"flds", "question " + std::to_string(i) + "\x1f" + "r\u00e9ponse " +
                                      std::to_string(i * 7)}});
    }
    return nlohmann::json{{"notes", notes}}.dump();
}

void Sqlite() {
    std::printf("sqlite.version: %s\n", sqlite3_libversion());
    for (int i = 0; const char* option = sqlite3_compileoption_get(i); ++i) {
        std::printf("sqlite.option: %s\n", option);
    }
    // A URI file name without SQLITE_OPEN_URI opens only where SQLITE_USE_URI is 1.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2("file:smoke?mode=memory", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        Fail(std::string("sqlite3_open_v2: ") + sqlite3_errmsg(db));
        sqlite3_close(db);
        return;
    }
    std::printf("sqlite.limit.variables: %d\n",
                sqlite3_limit(db, SQLITE_LIMIT_VARIABLE_NUMBER, -1));
    const char* setup = "CREATE TABLE notes(id INTEGER PRIMARY KEY, flds TEXT);"
                        "INSERT INTO notes(flds) VALUES ('Bonjour' || char(31) || 'Hello'),"
                        " ('Merci' || char(31) || 'Thanks'), ('Oui' || char(31) || 'Yes');"
                        "CREATE VIRTUAL TABLE f5 USING fts5(flds);"
                        "INSERT INTO f5 SELECT flds FROM notes;"
                        "CREATE VIRTUAL TABLE f4 USING fts4(flds);"
                        "INSERT INTO f4 SELECT flds FROM notes;";
    char* error = nullptr;
    if (sqlite3_exec(db, setup, nullptr, nullptr, &error) != SQLITE_OK) {
        Fail(std::string("sqlite setup: ") + (error ? error : "?"));
        sqlite3_free(error);
    }
    const char* queries[] = {
        "SELECT group_concat(substr(flds, 1, instr(flds, char(31)) - 1), ',') FROM notes",
        "SELECT count(*) FROM f5 WHERE f5 MATCH 'merci'",
        "SELECT count(*) FROM f4 WHERE f4 MATCH 'oui'",
        "SELECT soundex('Robert')",
        "SELECT json_extract('{\"a\":[1,2,3]}', '$.a[2]')",
        "SELECT sqrt(16.0)",
        "SELECT x'61' LIKE 'a'",
        "SELECT sqlite_source_id() IS NOT NULL",
        "PRAGMA secure_delete",
        "PRAGMA page_size",
        "PRAGMA journal_mode",
        "DELETE FROM notes ORDER BY id DESC LIMIT 1",
        "SELECT count(*) FROM notes",
    };
    for (const char* sql : queries) {
        sqlite3_stmt* stmt = nullptr;
        std::string result;
        int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(stmt, 0);
                result = text ? reinterpret_cast<const char*>(text) : "NULL";
            } else if (rc == SQLITE_DONE) {
                result = "done";
            }
        }
        if (result.empty()) {
            result = std::string("error: ") + sqlite3_errmsg(db);
        }
        sqlite3_finalize(stmt);
        std::printf("sqlite.query: %s = %s\n", sql, result.c_str());
    }
    sqlite3_close(db);
}

void Zstd() {
    std::printf("zstd.version: %s\n", ZSTD_versionString());
    std::string text = SampleText();
    std::string packed(ZSTD_compressBound(text.size()), '\0');
    size_t size = ZSTD_compress(packed.data(), packed.size(), text.data(), text.size(), 3);
    if (ZSTD_isError(size)) {
        Fail(std::string("ZSTD_compress: ") + ZSTD_getErrorName(size));
        return;
    }
    packed.resize(size);
    std::printf("zstd.frame: %zu bytes from %zu, fnv %016llx\n", packed.size(), text.size(),
                static_cast<unsigned long long>(Fnv(packed)));
    // Back through the streaming decoder, in small pieces, as the tool reads collection.anki21b.
    ZSTD_DStream* stream = ZSTD_createDStream();
    ZSTD_initDStream(stream);
    std::string unpacked;
    std::vector<char> out(ZSTD_DStreamOutSize());
    for (size_t at = 0; at < packed.size(); at += 100) {
        ZSTD_inBuffer in = {packed.data() + at, std::min<size_t>(100, packed.size() - at), 0};
        while (in.pos < in.size) {
            ZSTD_outBuffer o = {out.data(), out.size(), 0};
            size_t hint = ZSTD_decompressStream(stream, &o, &in);
            if (ZSTD_isError(hint)) {
                Fail(std::string("ZSTD_decompressStream: ") + ZSTD_getErrorName(hint));
                ZSTD_freeDStream(stream);
                return;
            }
            unpacked.append(out.data(), o.pos);
        }
    }
    ZSTD_freeDStream(stream);
    if (unpacked != text) {
        Fail("zstd round trip");
    }
    // Debian's library is multi-threaded: workers are accepted.
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    size_t workers = ZSTD_CCtx_setParameter(cctx, ZSTD_c_nbWorkers, 2);
    std::printf("zstd.workers: %s\n", ZSTD_isError(workers) ? ZSTD_getErrorName(workers) : "2");
    ZSTD_freeCCtx(cctx);
}

// Writes a package-like archive into memory and reads it back.
void Zip() {
    std::printf("libzip.version: %s\n", zip_libzip_version());
    std::printf("libzip.bzip2: %d\n", zip_compression_method_supported(ZIP_CM_BZIP2, 0));
    std::printf("libzip.aes: %d\n", zip_encryption_method_supported(ZIP_EM_AES_256, 0));
    std::string collection = SampleText();
    std::string media = nlohmann::json{{"0", "sound.mp3"}}.dump();
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &error) : nullptr;
    if (archive == nullptr) {
        Fail(std::string("zip_open_from_source: ") + zip_error_strerror(&error));
        zip_source_free(buffer);
        zip_error_fini(&error);
        return;
    }
    zip_source_keep(buffer);
    struct Entry {
        const char* name;
        const std::string* data;
        zip_int32_t method;
    } entries[] = {{"collection.anki2", &collection, ZIP_CM_DEFLATE},
                   {"media", &media, ZIP_CM_STORE}};
    for (const Entry& e : entries) {
        zip_source_t* s = zip_source_buffer(archive, e.data->data(), e.data->size(), 0);
        zip_int64_t index = zip_file_add(archive, e.name, s, ZIP_FL_ENC_UTF_8);
        if (index < 0 || zip_set_file_compression(archive, index, e.method, 0) != 0) {
            Fail(std::string("zip_file_add: ") + zip_strerror(archive));
        }
    }
    if (zip_close(archive) != 0) {
        Fail(std::string("zip_close: ") + zip_strerror(archive));
        zip_discard(archive);
    }
    std::string bytes;
    zip_stat_t st;
    if (zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0) {
        bytes.resize(st.size);
        zip_source_read(buffer, bytes.data(), bytes.size());
        zip_source_close(buffer);
    }
    zip_source_free(buffer);

    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    archive = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
    if (archive == nullptr) {
        Fail(std::string("reopening the archive: ") + zip_error_strerror(&error));
        zip_source_free(source);
        zip_error_fini(&error);
        return;
    }
    for (const Entry& e : entries) {
        zip_stat_t entry;
        zip_file_t* file =
            zip_stat(archive, e.name, 0, &entry) == 0 ? zip_fopen(archive, e.name, 0) : nullptr;
        std::string read(e.data->size() + 1, '\0');
        zip_int64_t got = file ? zip_fread(file, read.data(), read.size()) : -1;
        if (file == nullptr || got != static_cast<zip_int64_t>(e.data->size()) ||
            read.compare(0, got, *e.data) != 0) {
            Fail(std::string("reading ") + e.name + " back");
        } else {
            std::printf("libzip.entry: %s method %d, %llu bytes from %llu, crc %08x\n", e.name,
                        entry.comp_method, static_cast<unsigned long long>(entry.comp_size),
                        static_cast<unsigned long long>(entry.size), entry.crc);
        }
        if (file) {
            zip_fclose(file);
        }
    }
    zip_discard(archive);
    zip_error_fini(&error);
}

// The first 64 KiB, as tollamy-deck's text input gives uchardet.
void Uchardet(const std::vector<std::string>& files) {
    for (const std::string& path : files) {
        std::ifstream in(path, std::ios::binary);
        std::string sample(64 * 1024, '\0');
        in.read(sample.data(), static_cast<std::streamsize>(sample.size()));
        sample.resize(static_cast<size_t>(in.gcount()));
        if (!in.is_open() || in.bad()) {
            Fail("cannot read " + path);
            continue;
        }
        uchardet_t detector = uchardet_new();
        uchardet_handle_data(detector, sample.data(), sample.size());
        uchardet_data_end(detector);
        std::printf("uchardet: %s: %s\n", path.substr(path.find_last_of("/\\") + 1).c_str(),
                    uchardet_get_charset(detector));
        uchardet_delete(detector);
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Exercises SQLite, zstd, libzip and uchardet, and prints what they did."};
    // CLI11 takes /word for an option on Windows by default, and so an absolute path under
    // Wine; the tool's command line is to read the same on both systems.
    app.allow_windows_style_options(false);
    std::vector<std::string> files;
    app.add_option("files", files, "files whose encoding uchardet guesses")
        ->check(CLI::ExistingFile);
    CLI11_PARSE(app, argc, argv);
    Sqlite();
    Zstd();
    Zip();
    Uchardet(files);
    return ok ? 0 : 1;
}
