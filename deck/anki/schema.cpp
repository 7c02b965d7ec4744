// The note types and decks of an Anki collection: nlohmann-json for the older schema's JSON,
// the protobuf walker (proto.cpp) for the newer schema's configs.
#include "deck/anki/schema.h"

#include "deck/base/limits.h"
#include "deck/base/strings.h"

#include "deck/anki/proto.h"
#include "deck/anki/sqlite.h"

#include <algorithm>
#include <cstdlib>

#include <nlohmann/json.hpp>
#include <sqlite3.h>

namespace deck::anki {

namespace {

// The newer schema separates the levels of a deck name with U+001F. The sort key uses it too:
// it sorts below every printable character, so "A::B" comes before "A B".
constexpr char kLevelSep = '\x1f';
// Anki's note types and decks take kilobytes of JSON; a parse tree of much more than this
// would only serve to exhaust memory, so larger texts are left unread.
constexpr int kMaxJsonBytes = 64 << 20;

// Fields and templates as they come, (ord, value), sorted into place at the end.
struct Loading {
    std::map<int64_t, std::vector<std::pair<int64_t, std::string>>> fields;
    std::map<int64_t, std::vector<std::pair<int64_t, CardTemplate>>> templates;
};

int64_t JsonId(const nlohmann::json& value, const std::string& key) {
    if (value.is_number_integer()) {
        return value.get<int64_t>();
    }
    return strtoll(key.c_str(), nullptr, 10);
}

std::string JsonText(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The JSON object of a column of col; `what` names it in the damage text ("col.models is not
// JSON"), which stays empty when the column holds an object.
nlohmann::json ParseJsonColumn(sqlite3_stmt* stmt, int column, const char* what,
                               std::string* damage) {
    if (sqlite3_column_bytes(stmt, column) > kMaxJsonBytes) {
        *damage =
            std::string(what) + " is larger than " + std::to_string(kMaxJsonBytes >> 20) + " MiB";
        return nlohmann::json();
    }
    nlohmann::json json = nlohmann::json::parse(ColumnText(stmt, column), nullptr, false);
    if (json.is_discarded()) {
        *damage = std::string(what) + " is not JSON";
    } else if (!json.is_object()) {
        *damage = std::string(what) + " holds JSON of the wrong shape (not an object)";
    }
    return json;
}

// Notes a damaged entry of a part: the first one's words are kept, the others counted.
void AddDamage(std::string* damage, long* count, const std::string& text) {
    if ((*count)++ == 0) {
        *damage = text;
    }
}

// The first damaged entry's words, and how many more entries were damaged.
std::string AndMore(const std::string& first, long count) {
    return count <= 1 ? first
                      : first + ", and " + std::to_string(count - 1) + " more" +
                            (count == 2 ? " entry" : " entries");
}

// A list of {ord, ...} objects (flds or tmpls); an object without ord takes its position.
template <typename Take>
void ForEachOrdered(const nlohmann::json& model, const char* key, Take take) {
    auto list = model.find(key);
    if (list == model.end() || !list->is_array()) {
        return;
    }
    int64_t position = 0;
    for (const auto& item : *list) {
        int64_t ord = position++;
        if (!item.is_object()) {
            take(ord, nlohmann::json::object());
            continue;
        }
        auto o = item.find("ord");
        if (o != item.end() && o->is_number_integer()) {
            ord = o->get<int64_t>();
        }
        take(ord, item);
    }
}

// Note types and decks of the older collections: JSON in col.models and col.decks.
int LoadJsonTables(sqlite3* db, Schema* schema, Loading* loading) {
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
    nlohmann::json models = ParseJsonColumn(stmt.get(), 0, "col.models", &schema->types_damage);
    if (models.is_object()) {
        long damaged = 0;
        for (auto& [key, model] : models.items()) {
            if (!model.is_object()) {
                AddDamage(&schema->types_damage, &damaged,
                          "note type " + key + " in col.models is not an object");
                continue;
            }
            auto id = model.find("id");
            int64_t type_id = JsonId(id != model.end() ? *id : nlohmann::json(), key);
            NoteType& type = schema->types[type_id];
            type.name = JsonText(model, "name");
            type.css = JsonText(model, "css");
            auto kind = model.find("type");
            type.cloze =
                kind != model.end() && kind->is_number_integer() && kind->get<int64_t>() == 1;
            ForEachOrdered(model, "flds", [&](int64_t ord, const nlohmann::json& field) {
                loading->fields[type_id].emplace_back(ord, JsonText(field, "name"));
            });
            ForEachOrdered(model, "tmpls", [&](int64_t ord, const nlohmann::json& card) {
                CardTemplate formats{JsonText(card, "name"), JsonText(card, "qfmt"),
                                     JsonText(card, "afmt")};
                loading->templates[type_id].emplace_back(ord, formats);
            });
        }
        schema->types_damage = AndMore(schema->types_damage, damaged);
    }
    nlohmann::json decks = ParseJsonColumn(stmt.get(), 1, "col.decks", &schema->decks_damage);
    if (decks.is_object()) {
        long damaged = 0;
        for (auto& [key, deck] : decks.items()) {
            auto name = deck.is_object() ? deck.find("name") : deck.end();
            if (!deck.is_object() || name == deck.end() || !name->is_string()) {
                AddDamage(&schema->decks_damage, &damaged,
                          "deck " + key +
                              " in col.decks has no name, and its cards count for "
                              "no deck");
                continue;
            }
            auto id = deck.find("id");
            auto dyn = deck.find("dyn");
            DeckInfo& info = schema->decks[JsonId(id != deck.end() ? *id : nlohmann::json(), key)];
            info.name = name->get<std::string>();
            info.filtered = dyn != deck.end() && dyn->is_number_integer() && dyn->get<int>() != 0;
        }
        schema->decks_damage = AndMore(schema->decks_damage, damaged);
    }
    return SQLITE_OK;
}

// Note types and decks of the newer collections: the notetypes, fields, templates and decks
// tables.
int LoadTables(sqlite3* db, Schema* schema, Loading* loading) {
    StmtPtr stmt;
    int rc = Prepare(db, "SELECT id, name, config FROM notetypes", &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    long damaged = 0;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        NoteType& type = schema->types[sqlite3_column_int64(stmt.get(), 0)];
        type.name = ColumnText(stmt.get(), 1);
        const auto* config = static_cast<const unsigned char*>(sqlite3_column_blob(stmt.get(), 2));
        size_t size = static_cast<size_t>(sqlite3_column_bytes(stmt.get(), 2));
        type.cloze = config && NotetypeKind(config, size) == 1;
        // NotetypeConfig: css is field 3.
        type.css = ProtoText(config, static_cast<int>(size), 3);
        if (!ScanProto(config, config ? size : 0, [](const ProtoField&) {})) {
            AddDamage(&schema->types_damage, &damaged,
                      "the configuration of note type \"" + type.name +
                          "\" is damaged (it is taken as a standard note type)");
        }
    }
    if (rc != SQLITE_DONE) {
        return rc;
    }
    rc = Prepare(db, "SELECT ntid, ord, name FROM fields", &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        loading->fields[sqlite3_column_int64(stmt.get(), 0)].emplace_back(
            sqlite3_column_int64(stmt.get(), 1), ColumnText(stmt.get(), 2));
    }
    if (rc != SQLITE_DONE) {
        return rc;
    }
    bool has_templates = false;
    rc = TableExists(db, "templates", &has_templates);
    if (rc == SQLITE_OK && has_templates) {
        // Template.Config: q_format is field 1, a_format field 2.
        rc = Prepare(db, "SELECT ntid, ord, config, name FROM templates", &stmt);
        if (rc != SQLITE_OK) {
            return rc;
        }
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            const void* config = sqlite3_column_blob(stmt.get(), 2);
            int size = sqlite3_column_bytes(stmt.get(), 2);
            const int64_t type = sqlite3_column_int64(stmt.get(), 0);
            const int64_t ord = sqlite3_column_int64(stmt.get(), 1);
            CardTemplate formats{ColumnText(stmt.get(), 3), ProtoText(config, size, 1),
                                 ProtoText(config, size, 2)};
            if (!ScanProto(static_cast<const unsigned char*>(config),
                           config && size > 0 ? static_cast<size_t>(size) : 0,
                           [](const ProtoField&) {})) {
                auto known = schema->types.find(type);
                AddDamage(
                    &schema->types_damage, &damaged,
                    "template " + std::to_string(ord + 1) + " of note type \"" +
                        (known != schema->types.end() ? known->second.name : std::to_string(type)) +
                        "\" is damaged");
            }
            loading->templates[type].emplace_back(ord, formats);
        }
        if (rc != SQLITE_DONE) {
            return rc;
        }
    }
    schema->types_damage = AndMore(schema->types_damage, damaged);
    bool has_decks = false;
    rc = TableExists(db, "decks", &has_decks);
    if (rc != SQLITE_OK) {
        return rc;
    }
    if (!has_decks) {
        schema->decks_damage = "the collection has note types in tables but no decks table";
        return SQLITE_OK;
    }
    rc = Prepare(db, "SELECT id, name, kind FROM decks", &stmt);
    if (rc != SQLITE_OK) {
        return rc;
    }
    long damaged_decks = 0;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        std::string name = ColumnText(stmt.get(), 1);
        std::string shown;
        for (char c : name) {
            if (c == kLevelSep) {
                shown += "::";
            } else {
                shown += c;
            }
        }
        DeckInfo& info = schema->decks[sqlite3_column_int64(stmt.get(), 0)];
        info.name = shown;
        // DeckKindContainer: normal is field 1, filtered field 2.
        const void* kind = sqlite3_column_blob(stmt.get(), 2);
        int size = sqlite3_column_bytes(stmt.get(), 2);
        if (!ScanProto(static_cast<const unsigned char*>(kind), kind && size > 0 ? size : 0,
                       [&](const ProtoField& field) { info.filtered |= field.number == 2; })) {
            info.filtered = false;
            AddDamage(&schema->decks_damage, &damaged_decks,
                      "the kind of deck \"" + shown +
                          "\" is damaged (it is taken as a normal deck)");
        }
    }
    schema->decks_damage = AndMore(schema->decks_damage, damaged_decks);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// `name` cut to at most `limit` bytes, at the start of a UTF-8 character.
void CutName(std::string* name, size_t limit) {
    size_t end = std::min(limit, name->size());
    while (end > 0 && end < name->size() &&
           (static_cast<unsigned char>((*name)[end]) & 0xC0) == 0x80) {
        --end;
    }
    name->resize(end);
}

// A name as a message quotes it: a long one by its start.
std::string Quoted(const std::string& name) {
    std::string start = name;
    CutName(&start, 40);
    return "\"" + start + (start.size() < name.size() ? "…" : "") + "\"";
}

// A name over kMaxNameBytes cut there; the words for what was done, or "" when it fits.
std::string HoldName(std::string* name, const char* what) {
    if (name->size() <= kMaxNameBytes) {
        return "";
    }
    const std::string text = "the name of " + std::string(what) + " " + Quoted(*name) + " is " +
                             AboutSize(name->size()) + ", over the limit of " +
                             SizeText(kMaxNameBytes) + " for a name: it is cut there";
    CutName(name, kMaxNameBytes);
    return text;
}

// A deck name of more than kMaxDeckDepth levels ends at that level, and a longer one than
// kMaxNameBytes is cut: the words for what was done, or "".
std::string HoldDeckName(std::string* name) {
    size_t levels = 1, at = 0;
    for (size_t p = name->find("::"); p != std::string::npos; p = name->find("::", p + 2)) {
        if (++levels == kMaxDeckDepth + 1) {
            at = p;
        }
    }
    if (levels <= kMaxDeckDepth) {
        return HoldName(name, "deck");
    }
    const std::string text = "deck " + Quoted(*name) + " nests " + std::to_string(levels) +
                             " levels deep, over the limit of " + std::to_string(kMaxDeckDepth) +
                             ": its cards count in its ancestor at level " +
                             std::to_string(kMaxDeckDepth);
    name->resize(at);
    HoldName(name, "deck");
    return text;
}

// Every name held to the limits, each name cut named in the schema's damage texts.
void HoldNames(Schema* schema) {
    long damaged_types = 0, damaged_decks = 0;
    auto note = [](std::string* damage, long* count, const std::string& text) {
        if (!text.empty()) {
            AddDamage(damage, count, text);
        }
    };
    std::string types_damage, decks_damage;
    for (auto& [id, type] : schema->types) {
        note(&types_damage, &damaged_types, HoldName(&type.name, "note type"));
        for (std::string& field : type.field_names) {
            note(&types_damage, &damaged_types, HoldName(&field, "field"));
        }
        for (CardTemplate& form : type.templates) {
            note(&types_damage, &damaged_types, HoldName(&form.name, "template"));
        }
    }
    for (auto& [id, deck] : schema->decks) {
        note(&decks_damage, &damaged_decks, HoldDeckName(&deck.name));
    }
    auto add = [](std::string* damage, const std::string& more, long count) {
        if (count > 0) {
            *damage =
                damage->empty() ? AndMore(more, count) : *damage + "; " + AndMore(more, count);
        }
    };
    add(&schema->types_damage, types_damage, damaged_types);
    add(&schema->decks_damage, decks_damage, damaged_decks);
}

} // namespace

int LoadSchema(sqlite3* db, Schema* schema) {
    Loading loading;
    bool has_notetypes = false;
    int rc = TableExists(db, "notetypes", &has_notetypes);
    if (rc == SQLITE_OK && has_notetypes) {
        rc = LoadTables(db, schema, &loading);
    }
    bool has_col = false;
    if (rc == SQLITE_OK && schema->types.empty()) {
        rc = TableExists(db, "col", &has_col);
    }
    if (rc == SQLITE_OK && has_col) {
        // The older schema, or a newer one whose note types are still JSON in col.
        Schema json;
        rc = LoadJsonTables(db, &json, &loading);
        if (!has_notetypes) {
            *schema = std::move(json);
        } else if (!json.types.empty()) {
            schema->types = std::move(json.types);
            schema->types_damage = json.types_damage;
        }
    }
    if (rc != SQLITE_OK) {
        return rc;
    }
    if (schema->types.empty() && schema->types_damage.empty()) {
        schema->types_damage = has_notetypes ? "the notetypes table holds no note type"
                                             : "col.models holds no note type";
    }
    // Each note type's fields and templates, in their order, into the list `member` of it.
    auto attach = [schema](auto& loaded, auto member) {
        for (auto& [id, items] : loaded) {
            auto type = schema->types.find(id);
            if (type != schema->types.end()) {
                std::stable_sort(items.begin(), items.end(),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
                for (auto& item : items) {
                    (type->second.*member).push_back(std::move(item.second));
                }
            }
        }
    };
    attach(loading.fields, &NoteType::field_names);
    attach(loading.templates, &NoteType::templates);
    HoldNames(schema);
    for (auto& [id, type] : schema->types) {
        type.sheet = html::Stylesheet(type.css);
    }
    return SQLITE_OK;
}

bool CheckSchema(const Schema& schema, const std::string& config_damage, const Needs& needs,
                 std::vector<std::string>* warnings, std::string* err) {
    if (!schema.types_damage.empty() && needs.note_types) {
        if (schema.types.empty()) {
            *err = "the note types cannot be read (" + schema.types_damage +
                   "), so no card can be shown";
            return false;
        }
        warnings->push_back("some note types cannot be read whole (" + schema.types_damage + ")");
    }
    if (!schema.decks_damage.empty()) {
        if (schema.decks.empty() && needs.deck_names) {
            *err = "the deck list cannot be read (" + schema.decks_damage +
                   "), so no deck can be named";
            return false;
        }
        warnings->push_back(schema.decks.empty()
                                ? "the deck list cannot be read (" + schema.decks_damage +
                                      "); the cards of every deck are read, without their "
                                      "decks' names"
                                : "some decks cannot be read whole (" + schema.decks_damage + ")");
    }
    if (!config_damage.empty() && needs.schedule) {
        warnings->push_back("the configuration cannot be read: " + config_damage);
    }
    return true;
}

std::set<int64_t> DeckIds(const Schema& schema, const std::string& name) {
    std::string wanted = AsciiLower(name);
    std::set<int64_t> ids;
    for (const auto& [id, deck] : schema.decks) {
        std::string folded = AsciiLower(deck.name);
        if (folded == wanted ||
            (folded.size() > wanted.size() + 2 && folded.compare(0, wanted.size(), wanted) == 0 &&
             folded.compare(wanted.size(), 2, "::") == 0)) {
            ids.insert(id);
        }
    }
    return ids;
}

std::string DeckList(const Schema& schema) {
    std::vector<std::string> names;
    for (const auto& [id, deck] : schema.decks) {
        names.push_back(deck.name);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::string list;
    for (const std::string& name : names) {
        list += list.empty() ? "" : ", ";
        list += "\"" + name + "\"";
    }
    return list.empty() ? "none" : list;
}

std::string DeckSortKey(const std::string& name) {
    std::string key;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name.compare(i, 2, "::") == 0) {
            key += kLevelSep;
            ++i;
        } else {
            key += AsciiLower(name[i]);
        }
    }
    return key;
}

std::vector<std::string> ParentDecks(const std::string& name) {
    std::vector<std::string> parents;
    for (size_t end = name.rfind("::"); end != std::string::npos && end > 0;
         end = name.rfind("::", end - 1)) {
        parents.push_back(name.substr(0, end));
    }
    return parents;
}

} // namespace deck::anki
