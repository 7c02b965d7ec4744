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

#include <algorithm>
#include <vector>

#include <sqlite3.h>

namespace deck::anki {

namespace {

// A backup's name: *.colpkg, or backup-*.apkg as older Anki versions named them.
bool IsBackupName(const std::string& name) {
    return EndsWithNoCase(name, ".colpkg") ||
           (name.compare(0, 7, "backup-") == 0 && EndsWithNoCase(name, ".apkg"));
}

struct Backup {
    std::string name;
    int64_t when; // its modification time, in whole seconds as the messages name it
    int64_t size;
};

// The backups in `folder`, the newest first by modification time (the later name first on a
// tie).
std::vector<Backup> BackupsNewestFirst(const std::string& folder) {
    std::vector<Backup> backups;
    std::vector<FolderEntry> entries;
    ListFolder(folder, &entries);
    for (const FolderEntry& e : entries) {
        if (IsBackupName(e.name) && e.info.kind == PathKind::kFile) {
            backups.push_back({e.name, WholeSeconds(e.info.mtimeNs), e.info.size});
        }
    }
    std::sort(backups.begin(), backups.end(), [](const Backup& a, const Backup& b) {
        return a.when != b.when ? a.when > b.when : a.name > b.name;
    });
    return backups;
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
    const char* const held = "Anki has the collection open (it locks it while it runs)";
    // The newest backup that reads: one that unpacks to an SQLite database. Once `use` has it,
    // its result is the reading's.
    std::string passed; // the backups passed over, each with why
    for (const Backup& backup : BackupsNewestFirst(backups)) {
        const std::string named = "backups/" + backup.name + " of " + LocalTime(backup.when);
        bool read = false;
        const CollectionUse first = [&](const std::string& copy, const std::string& entry,
                                        std::string* why) {
            read = true;
            report.Warning(0, std::string(held) + "; reading its newest backup" +
                                  (passed.empty() ? "" : " that reads") + " instead, " + named +
                                  (passed.empty() ? "" : "; passed over " + passed));
            return use(copy, entry, why);
        };
        std::string why = "empty";
        if (backup.size > 0 &&
            WithPackageCollection(JoinPath(backups, backup.name), max_bytes, first, &why)) {
            return true;
        }
        if (read) {
            *err = why;
            return false;
        }
        passed += (passed.empty() ? "" : ", ") + named + " (" + why + ")";
    }
    if (!passed.empty()) {
        *err = std::string(held) + ", and no backup in " + backups + " reads: " + passed +
               ". Close Anki and try again";
        return false;
    }
    *err = std::string(held) + ", and there is no backup in " + backups +
           " to read instead: close Anki and try again, or import a backup (.colpkg)";
    return false;
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
