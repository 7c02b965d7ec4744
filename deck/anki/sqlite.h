// The small SQLite helpers that the collection readers share: owners for a connection and a
// statement, and the few queries every reader makes.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace deck::anki {

struct DbCloser {
    void operator()(sqlite3* db) const;
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;
struct StmtCloser {
    void operator()(sqlite3_stmt* stmt) const;
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtCloser>;

// sqlite3_prepare_v2 into `stmt`. Returns an SQLite result code.
int Prepare(sqlite3* db, const char* sql, StmtPtr* stmt);
// A text column as bytes ("" for NULL).
std::string ColumnText(sqlite3_stmt* stmt, int column);
// The same without a copy, valid until the statement steps on.
std::string_view ColumnView(sqlite3_stmt* stmt, int column);
// Whether the database has a table of that name. Returns an SQLite result code.
int TableExists(sqlite3* db, const char* name, bool* exists);

} // namespace deck::anki
