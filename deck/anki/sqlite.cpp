// The SQLite helpers of the collection readers.
#include "deck/anki/sqlite.h"

#include <sqlite3.h>

namespace deck::anki {

void DbCloser::operator()(sqlite3* db) const {
    sqlite3_close(db);
}

void StmtCloser::operator()(sqlite3_stmt* stmt) const {
    sqlite3_finalize(stmt);
}

int Prepare(sqlite3* db, const char* sql, StmtPtr* stmt) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    stmt->reset(raw);
    return rc;
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
    return std::string(ColumnView(stmt, column));
}

std::string_view ColumnView(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    int size = sqlite3_column_bytes(stmt, column);
    return text ? std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(size))
                : std::string_view();
}

int TableExists(sqlite3* db, const char* name, bool* exists) {
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

} // namespace deck::anki
