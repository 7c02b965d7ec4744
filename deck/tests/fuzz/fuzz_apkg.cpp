// libFuzzer target for the package reader. The first byte of an input picks what the rest is:
//   0  a whole package (mutations hit the ZIP structure and its entries),
//   1  the bytes of collection.anki21, stored in a ZIP built here (mutations hit SQLite pages),
//   2  the bytes of an SQLite collection, compressed here into collection.anki21b,
//   3  the bytes of a bare collection file, read by import --due --new 3 and by decks (a
//      snapshot, the schedule, the cards by template).
//   4  a note type's front and back templates and a note's fields, separated by U+001F, for
//      cards 1 and 2 of a standard and of a cloze note type (the templates and the text a
//      person sees, without the collection around them).
// Every note that modes 0 to 2 read is rendered from its templates, which mutate with the
// collection's bytes. The seed corpus holds the test packages and their collections in these
// forms, and templates that use every part of the template language.
#include "deck/anki/cardsides.h"
#include "deck/anki/decks.h"
#include "deck/anki/due.h"
#include "deck/anki/package.h"
#include "deck/base/strings.h"
#include "deck/base/utf.h"
#include "fuzz_support.h"

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include <zip.h>
#include <zstd.h>

namespace {

// A ZIP archive with one stored entry, written by libzip into memory.
std::string ZipOf(const char* name, const void* data, size_t size) {
    std::string bytes;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!memory) {
        return bytes;
    }
    zip_source_keep(memory);
    zip_t* archive = zip_open_from_source(memory, ZIP_TRUNCATE, &error);
    if (archive) {
        zip_source_t* entry = zip_source_buffer(archive, data, size, 0);
        zip_int64_t index = entry ? zip_file_add(archive, name, entry, 0) : -1;
        if (index < 0) {
            zip_source_free(entry);
        } else {
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        }
        if (zip_close(archive) != 0) {
            zip_discard(archive);
        }
    }
    zip_error_fini(&error);
    if (zip_source_open(memory) == 0) {
        char buffer[1 << 14];
        zip_int64_t got;
        while ((got = zip_source_read(memory, buffer, sizeof buffer)) > 0) {
            bytes.append(buffer, static_cast<size_t>(got));
        }
        zip_source_close(memory);
    }
    zip_source_free(memory);
    return bytes;
}

// A bare collection through the whole due import and the decks listing.
void ReadBareCollection(const uint8_t* data, size_t size) {
    static FILE* nowhere = fopen("/dev/null", "w");
    setenv("TOLLAMY_NOW", "1773223200", 1);
    const std::string path = FuzzFolder() + "/collection.anki2";
    WriteInput(path, data, size);
    deck::ImportOptions options;
    options.input = path;
    options.output = FuzzFolder() + "/due.txt";
    options.force = true;
    options.due = true;
    options.newCards = 3;
    if (size > 0 && (data[size - 1] & 1)) {
        options.ankiDeck = "French";
    }
    deck::anki::RunDueImport(options, nullptr, true);
    deck::anki::RunDecks(path, nowhere, nullptr);
}

// Checks what every rendered card must be: valid UTF-8 within the item's units, without TAB, CR
// or LF.
void CheckCard(const std::string& question, const std::string& answer) {
    for (const std::string* side : {&question, &answer}) {
        bool invalid = false;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(side->data());
        if (deck::ValidUtf8Prefix(bytes, side->size(), &invalid) != side->size() ||
            deck::Utf16Units(*side) > 511 || side->find_first_of("\t\r\n") != std::string::npos) {
            abort();
        }
    }
}

// Templates and fields without a collection.
void RenderTemplates(const uint8_t* data, size_t size) {
    std::vector<std::string> parts =
        deck::SplitAnkiFields(std::string_view(reinterpret_cast<const char*>(data), size));
    parts.resize(std::max<size_t>(parts.size(), 3));
    std::vector<std::string> fields(parts.begin() + 2, parts.end());
    for (bool cloze : {false, true}) {
        deck::anki::NoteType type;
        type.name = "Fuzzed";
        type.cloze = cloze;
        type.field_names = {"Front", "Back", "Extra"};
        type.templates = {{"Card 1", parts[0], parts[1]}, {"Card 2", parts[1], parts[0]}};
        deck::anki::CardRenderer renderer({});
        for (int64_t ord : {0, 1}) {
            deck::anki::CardInput card;
            card.type = &type;
            card.fields = &fields;
            card.ord = ord;
            card.tags = " tag ";
            card.deck = "A::B";
            std::string question, answer;
            if (renderer.Render(card, &question, &answer) == deck::anki::Shown::kCard) {
                CheckCard(question, answer);
            }
        }
    }
}

} // namespace

namespace {

// One input, as the tool reads it below its command line.
void ReadOne(const uint8_t* data, size_t size) {
    if (size == 0) {
        return;
    }
    const uint8_t mode = data[0] % 5;
    ++data;
    --size;
    if (mode == 3) {
        ReadBareCollection(data, size);
        return;
    }
    if (mode == 4) {
        RenderTemplates(data, size);
        return;
    }
    std::string package;
    if (mode == 0) {
        package.assign(reinterpret_cast<const char*>(data), size);
    } else if (mode == 1) {
        package = ZipOf("collection.anki21", data, size);
    } else {
        std::string packed(ZSTD_compressBound(size), '\0');
        size_t n = ZSTD_compress(&packed[0], packed.size(), data, size, 1);
        packed.resize(ZSTD_isError(n) ? 0 : n);
        package = ZipOf("collection.anki21b", packed.data(), packed.size());
    }
    deck::anki::ReadOptions options;
    options.max_bytes = 8u << 20; // keeps each run quick; the limit logic is the same
    if (size > 0 && (data[size - 1] & 1)) {
        options.deck = "French";
    }
    deck::anki::ReadInfo info;
    std::string message;
    deck::anki::CardRenderer renderer({});
    deck::anki::ReadPackageBuffer(
        package.data(), package.size(), options,
        [&](const deck::anki::Note& note) {
            // The note's first card, as import renders it.
            deck::anki::CardInput card;
            card.type = note.type;
            card.fields = &note.fields;
            card.ord = note.card_ord;
            card.tags = note.tags;
            card.deck = note.card_deck;
            card.flags = note.card_flags;
            std::string question, answer;
            if (note.card_ord >= 0 &&
                renderer.Render(card, &question, &answer) == deck::anki::Shown::kCard) {
                CheckCard(question, answer);
            }
        },
        &info, &message);
}

} // namespace

// The tool's command line catches what runs out of memory (SQLite's SQLITE_NOMEM, which a
// damaged collection gives too, among it) and says so: the target does as it does.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        ReadOne(data, size);
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
