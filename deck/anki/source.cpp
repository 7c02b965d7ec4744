// Anki inputs: packages through the package reader, collections through a snapshot, and the
// newest backup while Anki runs.
#include "deck/anki/source.h"

#include "deck/anki/archive.h"
#include "deck/anki/collection.h"
#include "deck/anki/snapshot.h"
#include "deck/base/filekind.h"
#include "deck/base/files.h"
#include "deck/base/process.h"
#include "deck/base/strings.h"

#include <errno.h>
#include <string.h>
#include <time.h>

#include <sqlite3.h>

namespace deck::anki {

namespace {

// A backup's name: *.colpkg, or backup-*.apkg as older Anki versions named them.
bool IsBackupName(const std::string& name) {
    return EndsWithNoCase(name, ".colpkg") ||
           (name.compare(0, 7, "backup-") == 0 && EndsWithNoCase(name, ".apkg"));
}

// The newest backup in `folder` by modification time (the later name on a tie); "" when
// there is none.
std::string NewestBackup(const std::string& folder, int64_t* when) {
    std::string newest;
    std::vector<FolderEntry> entries;
    ListFolder(folder, &entries);
    for (const FolderEntry& e : entries) {
        if (!IsBackupName(e.name) || e.info.kind != PathKind::kFile) {
            continue;
        }
        // Whole seconds, as the message names the time.
        const int64_t mtime = WholeSeconds(e.info.mtimeNs);
        if (newest.empty() || mtime > *when || (mtime == *when && e.name > newest)) {
            newest = e.name;
            *when = mtime;
        }
    }
    return newest;
}

std::string LocalTime(int64_t when) {
    struct tm local {};
    char text[64] = "";
    if (UtcParts(when + UtcOffsetAt(when), &local)) {
        strftime(text, sizeof text, "%a %Y-%m-%d %H:%M", &local);
    }
    return text;
}

// A collection file: a snapshot of it, or its newest backup while Anki holds it.
bool ReadUserCollection(const std::string& path, Report& report, const CollectionUse& use,
                        uint64_t max_bytes, std::string* err) {
    TempFolder folder;
    if (!folder.Create("tollamy-anki", err)) {
        return false;
    }
    const std::string copy = CollectionCopyIn(folder);
    bool busy = false;
    if (TakeSnapshot(path, copy, max_bytes, &busy, err)) {
        return use(copy, BaseName(path), err);
    }
    if (!busy) {
        return false;
    }
    const std::string parent = ParentFolder(path);
    const std::string backups = JoinPath(parent.empty() ? "." : parent, "backups");
    int64_t when = 0;
    std::string backup = NewestBackup(backups, &when);
    if (backup.empty()) {
        *err = "Anki has the collection open (it locks it while it runs), and there is no "
               "backup in " +
               backups + " to read instead: close Anki and try again, or import a backup (.colpkg)";
        return false;
    }
    report.Warning(0, "Anki has the collection open (it locks it while it runs); reading its "
                      "newest backup instead, backups/" +
                          backup + " of " + LocalTime(when));
    return WithPackageCollection(JoinPath(backups, backup), max_bytes, use, err);
}

} // namespace

bool ProbeInput(const std::string& path, InputKind* kind, std::string* err) {
    int fd = OpenQuietly(path);
    if (fd < 0) {
        *err = "cannot read: " + OpenErrorText(errno);
        return false;
    }
    char head[kHeadBytes];
    // A folder opens for reading, and says so at its first read.
    ssize_t got = ReadFull(fd, head, sizeof head);
    int error = errno;
    CloseFile(fd);
    if (got < 0) {
        *err = std::string("cannot read: ") + strerror(error);
        return false;
    }
    if (got == 0) {
        *err = "is empty (0 bytes), not an Anki collection or package";
        return false;
    }
    std::string_view bytes(head, static_cast<size_t>(got));
    *kind = IsSqliteHead(bytes) ? InputKind::kSqlite
            : IsZipHead(bytes)  ? InputKind::kZip
                                : InputKind::kOther;
    return true;
}

bool LooksLikeAnki(const std::string& path) {
    InputKind kind = InputKind::kOther;
    std::string unread;
    return ProbeInput(path, &kind, &unread) && kind != InputKind::kOther;
}

bool WithAnkiCollection(const std::string& path, InputKind kind, uint64_t max_bytes, Report& report,
                        const CollectionUse& use, std::string* err) {
    if (kind == InputKind::kSqlite) {
        return ReadUserCollection(path, report, use, max_bytes, err);
    }
    if (kind != InputKind::kZip && !EndsWithNoCase(path, ".apkg") &&
        !EndsWithNoCase(path, ".colpkg")) {
        *err = "is not an Anki collection or package (neither an SQLite database nor a ZIP "
               "archive)";
        return false;
    }
    return WithPackageCollection(path, max_bytes, use, err);
}

bool LoadCollection(const std::string& copy, const std::string& entry, LoadedCollection* loaded,
                    std::string* err) {
    if (!OpenCollectionFile(copy, entry, &loaded->db, err)) {
        return false;
    }
    sqlite3* db = loaded->db.get();
    for (const char* table : {"col", "notes", "cards"}) {
        bool exists = false;
        if (TableExists(db, table, &exists) != SQLITE_OK) {
            return CollectionError(db, entry, err);
        }
        if (!exists) {
            *err = entry + " is an SQLite database without Anki's " + table +
                   " table: not an Anki collection";
            return false;
        }
    }
    StmtPtr rows;
    if (Prepare(db, "SELECT count(*) FROM col", &rows) != SQLITE_OK ||
        sqlite3_step(rows.get()) != SQLITE_ROW) {
        return CollectionError(db, entry, err);
    }
    if (sqlite3_column_int64(rows.get(), 0) == 0) {
        *err = entry + ": its col table is empty, so the collection's creation time and "
                       "configuration are missing and its days cannot be counted";
        return false;
    }
    rows.reset();
    if (LoadSchema(db, &loaded->schema) != SQLITE_OK ||
        LoadScheduleConfig(db, &loaded->config) != SQLITE_OK) {
        return CollectionError(db, entry, err);
    }
    return true;
}

bool CheckDamage(const LoadedCollection& c, const Needs& needs, Report& report, std::string* err) {
    std::vector<std::string> warnings;
    if (!CheckSchema(c.schema, c.config.damage, needs, &warnings, err)) {
        return false;
    }
    for (const std::string& warning : warnings) {
        report.Warning(0, warning);
    }
    return true;
}

} // namespace deck::anki
