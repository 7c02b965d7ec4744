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

struct TestNote {
    int64_t id = 0;
    int64_t type = kBasic;
    std::vector<std::string> fields;
    std::string deck = "Default"; // Parent::Child for nested decks
};

struct PackageSpec {
    Format format = Format::kAnki21;
    std::vector<TestNote> notes;
    bool stub = true;         // with kAnki21b: also the stub collection.anki2 beside it
    bool media = false;       // a "media" entry and one media file ("0")
    bool wal = false;         // the collection file is left in WAL mode
    std::string extra_schema; // SQL run on the collection after the tables are made
};

// The note the stub collection.anki2 of new packages holds.
extern const char* const kStubText;

// Writes an SQLite collection for `plan` to `path`. Returns "" or an error text.
std::string BuildCollection(const PackageSpec& plan, const std::string& path);

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
