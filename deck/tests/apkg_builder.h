// Builds Anki packages for the tests through SQLite, zstd and libzip, in the three collection
// formats: collection.anki2 and collection.anki21 with the older schema (note types and decks
// as JSON in the col table), collection.anki21b with the newer one (notetypes, fields and
// decks tables, names declared COLLATE unicase), compressed with Zstandard.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace apkg_test {

enum class Format { kAnki2, kAnki21, kAnki21b };

// The note types every built collection holds.
constexpr int64_t kBasic = 1001;
constexpr int64_t kReversed = 1002; // "Basic (and reversed card)": two cards per note
constexpr int64_t kCloze = 1003;

// A card's schedule, as Anki stores it (queue: 0 new, 1 learning, 2 review, 3 day learning,
// -1 suspended, -2 and -3 buried; due: a position, a Unix time or a day number).
struct TestCard {
    TestCard(int type_ = 0, int queue_ = 0, int64_t due_ = 0, std::string filtered_ = "",
             int64_t odue_ = 0)
        : type(type_), queue(queue_), due(due_), filtered(std::move(filtered_)), odue(odue_) {}
    int type;
    int queue;
    int64_t due;
    std::string filtered; // a filtered deck that holds the card; its note's deck is its home
    int64_t odue;         // the home due of a card in a filtered deck
};

struct TestNote {
    TestNote(int64_t id_ = 0, int64_t type_ = kBasic, std::vector<std::string> fields_ = {},
             std::string deck_ = "Default", std::vector<TestCard> cards_ = {},
             std::string tags_ = "")
        : id(id_), type(type_), fields(std::move(fields_)), deck(std::move(deck_)),
          cards(std::move(cards_)), tags(std::move(tags_)) {}
    int64_t id;
    int64_t type;
    std::vector<std::string> fields;
    std::string deck;            // Parent::Child for nested decks
    std::vector<TestCard> cards; // one per template or gap, in order; empty: new cards
    std::string tags;            // as the notes table keeps them: " a b "
    bool cardless = false;       // no cards at all (Anki makes none for a cloze without gaps)
};

// A note type of a test's own, beside the three every collection holds.
struct TestType {
    int64_t id;
    std::string name;
    int kind; // 0 standard, 1 cloze
    std::vector<std::string> fields;
    // Each template: its name, its front and its back.
    std::vector<std::vector<std::string>> templates;
    std::string css = ".card { font-family: arial; }"; // its stylesheet
};

struct PackageSpec {
    Format format = Format::kAnki21;
    std::vector<TestNote> notes;
    std::vector<TestType> types; // note types besides Basic, reversed and Cloze
    bool stub = true;            // with kAnki21b: also the stub collection.anki2 beside it
    bool media = false;          // a "media" entry and one media file ("0")
    bool wal = false;            // the collection file is left in WAL mode
    std::string extra_schema;    // SQL run on the collection after the tables are made
    // The schedule's configuration; each is stored only when set.
    int64_t crt = 0;               // col.crt
    int rollover = -1;             // the hour a day starts
    bool creation_offset = false;  // creationOffset is stored ...
    int creation_minutes_west = 0; // ... with this value
    int sched_ver = 0;             // schedVer
    int64_t collapse_time = -1;    // collapseTime, the learn-ahead limit in seconds
};

// The note the stub collection.anki2 of new packages holds.
extern const char* const kStubText;

// Writes an SQLite collection for `plan` to `path`. Returns "" or an error text.
std::string BuildCollection(const PackageSpec& plan, const std::string& path);

// Writes the collection for `plan` to `path` in WAL mode, runs each of `changes` (SQL) on it
// as a transaction of its own, and leaves `path` and `path`-wal as a crash leaves them: the
// changes in the -wal only. Returns "" or an error text.
std::string BuildLoggedCollection(const PackageSpec& plan, const std::string& path,
                                  const std::vector<std::string>& changes);

// The bytes of a collection built for `plan` (compressed with zstd for kAnki21b).
std::string CollectionEntry(const PackageSpec& plan);
// The same, never compressed.
std::string CollectionBytes(const PackageSpec& plan);

// One entry of a ZIP archive.
struct Entry {
    std::string name;
    std::string data;
    bool store = false; // stored without compression
};

// Writes a ZIP archive with the given entries. Returns "" or an error text.
std::string WriteZip(const std::string& path, const std::vector<Entry>& entries);

// The entries of the package for `plan`.
std::vector<Entry> PackageEntries(const PackageSpec& plan);

// Writes the package for `plan` to `path`. Returns "" or an error text.
std::string BuildPackage(const PackageSpec& plan, const std::string& path);

// A package of each kind the tests use: Basic, reversed and cloze notes in two decks
// ("French" and "Geography::Capitals"), with HTML fields and media references.
PackageSpec SamplePackage(Format format);

std::string ZstdCompress(const std::string& data);
std::string ReadFile(const std::string& path);
int WriteFile(const std::string& path, const std::string& data);

} // namespace apkg_test
