// The note types and decks of an Anki collection, in either schema: the older one keeps them as
// JSON in col.models and col.decks, the newer one in the notetypes, fields, templates and decks
// tables (with protobuf configs). Also the small SQLite helpers that the collection readers
// share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace apkg {

// A card template's formats: "{{Front}}" and "{{FrontSide}}<hr id=answer>{{Back}}".
struct CardTemplate {
    std::string question;
    std::string answer;
};

struct NoteType {
    std::string name;
    bool cloze = false;
    std::vector<std::string> field_names; // in field order
    std::vector<CardTemplate> templates;  // in template order (cards.ord)
};

struct DeckInfo {
    std::string name;      // Parent::Child
    bool filtered = false; // a filtered deck: its cards belong to their home decks
};

struct Schema {
    std::map<int64_t, NoteType> types;
    std::map<int64_t, DeckInfo> decks;
};

// Loads the note types and decks: from the tables when the collection has note types there,
// else from the JSON in col. Returns an SQLite result code.
int LoadSchema(sqlite3* db, Schema* schema);

// The ids of the deck named `name` (letters A-Z compared without case, as Anki does) and of
// its subdecks.
std::set<int64_t> DeckIds(const Schema& schema, const std::string& name);

// Every deck's name, sorted, for messages: "\"French\", \"Geography::Capitals\"" or "none".
std::string DeckList(const Schema& schema);

// A key that sorts deck names as Anki's deck tree does: a parent before its children, letters
// compared without case.
std::string DeckSortKey(const std::string& name);

// --- SQLite helpers -----------------------------------------------------------------------

struct DbCloser {
    void operator()(sqlite3* db) const;
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;
struct StmtCloser {
    void operator()(sqlite3_stmt* stmt) const;
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtCloser>;

int Prepare(sqlite3* db, const char* sql, StmtPtr* stmt);
std::string ColumnText(sqlite3_stmt* stmt, int column);
int TableExists(sqlite3* db, const char* name, int* exists);

// Calls `field` for each top-level field of a protobuf message: its number, and either its
// varint value (wire type 0) or its bytes (wire type 2). Returns 0 when the bytes are malformed.
struct ProtoField {
    uint64_t number = 0;
    int wire = 0;
    uint64_t value = 0;
    const unsigned char* bytes = nullptr;
    size_t size = 0;
};
int ScanProto(const unsigned char* message, size_t size,
              const std::function<void(const ProtoField&)>& field);

} // namespace apkg
