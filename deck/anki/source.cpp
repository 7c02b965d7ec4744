// Anki inputs: packages through the package reader, collections through a snapshot, and the
// newest backup while Anki runs.
#include "deck/anki_source.h"

#include "deck/anki_profile.h"
#include "deck/anki_snapshot.h"
#include "deck/anki_sqlite.h"
#include "deck/apkg_archive.h"
#include "deck/apkg_collection.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <sqlite3.h>

namespace deck {

namespace {

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWith(const std::string& text, const char* tail) {
    size_t n = strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// The newest *.colpkg in `folder` by modification time (the later name on a tie); "" when
// there is none.
std::string NewestBackup(const std::string& folder, time_t* when) {
    std::string newest;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return newest;
    }
    while (const dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        struct stat st {};
        if (!EndsWith(name, ".colpkg") || stat((folder + "/" + name).c_str(), &st) != 0 ||
            !S_ISREG(st.st_mode)) {
            continue;
        }
        if (newest.empty() || st.st_mtime > *when || (st.st_mtime == *when && name > newest)) {
            newest = name;
            *when = st.st_mtime;
        }
    }
    closedir(dir);
    return newest;
}

std::string LocalTime(time_t when) {
    struct tm local {};
    char text[64] = "";
    if (localtime_r(&when, &local) != nullptr) {
        strftime(text, sizeof text, "%a %Y-%m-%d %H:%M", &local);
    }
    return text;
}

int ReadCollectionFile(const std::string& path, Report& report, const apkg::CollectionUse& use,
                       uint64_t max_bytes, std::string* message) {
    TempFolder folder;
    if (!folder.Create()) {
        *message = std::string("cannot create a temporary folder (") + strerror(errno) + ")";
        return apkg::kIoError;
    }
    const std::string copy = folder.Path() + "/collection";
    int snapshot = TakeSnapshot(path, copy, message);
    if (snapshot == kSnapshotOk) {
        return use(copy, BaseName(path));
    }
    if (snapshot != kSnapshotBusy) {
        return apkg::kIoError;
    }
    const std::string backups = Folder(path) + "/backups";
    time_t when = 0;
    std::string backup = NewestBackup(backups, &when);
    if (backup.empty()) {
        *message = "Anki has the collection open (it locks it while it runs), and there is no "
                   "backup in " +
                   backups +
                   " to read instead: close Anki and try again, or import a backup (.colpkg)";
        return apkg::kBusy;
    }
    report.Warning(0, "Anki has the collection open (it locks it while it runs); reading its "
                      "newest backup instead, backups/" +
                          backup + " of " + LocalTime(when));
    return apkg::WithPackageCollection(backups + "/" + backup, max_bytes, use, message);
}

} // namespace

bool ResolveAnkiInput(const std::string& input, const std::string& profile, std::string* path,
                      FILE* err) {
    if (profile.empty()) {
        *path = input;
        return true;
    }
    std::string message;
    if (!ProfileCollection(profile, path, &message)) {
        fprintf(err, "tollamy-deck: error: %s\n", message.c_str());
        return false;
    }
    return true;
}

int StartAnkiImport(const ImportOptions& options, FILE* err, bool quiet, std::string* path) {
    if (!ResolveAnkiInput(options.input, options.ankiProfile, path, err)) {
        return 1;
    }
    if (options.output.empty()) {
        Report report(*path, err);
        report.SetQuiet(quiet);
        report.ErrorAbout("tollamy-deck", "import needs -o OUTPUT");
        return 2;
    }
    return 0;
}

bool LooksLikeAnki(const std::string& path) {
    return apkg::LooksLikeZip(path) || LooksLikeSqlite(path);
}

int WithAnkiCollection(const std::string& path, uint64_t max_bytes, Report& report,
                       const apkg::CollectionUse& use, std::string* message) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        *message = std::string("cannot be read: ") + strerror(errno);
        return apkg::kIoError;
    }
    if (S_ISDIR(st.st_mode)) {
        *message = "is a folder, not an Anki collection or package";
        return apkg::kIoError;
    }
    if (LooksLikeSqlite(path)) {
        return ReadCollectionFile(path, report, use, max_bytes, message);
    }
    if (!apkg::LooksLikeZip(path) && !EndsWith(path, ".apkg") && !EndsWith(path, ".colpkg")) {
        *message = "is not an Anki collection or package (neither an SQLite database nor a ZIP "
                   "archive)";
        return apkg::kNotSqlite;
    }
    return apkg::WithPackageCollection(path, max_bytes, use, message);
}

int LoadCollection(const std::string& copy, const std::string& entry, LoadedCollection* loaded,
                   std::string* message) {
    int result = apkg::OpenCollectionFile(copy, entry, &loaded->db, message);
    if (result != apkg::kOk) {
        return result;
    }
    sqlite3* db = loaded->db.get();
    for (const char* table : {"col", "notes", "cards"}) {
        int exists = 0;
        if (apkg::TableExists(db, table, &exists) != SQLITE_OK) {
            return apkg::CollectionError(db, entry, message);
        }
        if (!exists) {
            *message = entry + " is an SQLite database without Anki's " + table +
                       " table: not an Anki collection";
            return apkg::kBadCollection;
        }
    }
    if (apkg::LoadSchema(db, &loaded->schema) != SQLITE_OK ||
        LoadScheduleConfig(db, &loaded->config) != SQLITE_OK) {
        return apkg::CollectionError(db, entry, message);
    }
    return apkg::kOk;
}

} // namespace deck
